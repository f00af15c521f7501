#pragma once
// quillon-cli's commands: each command's file declares it (command.h) in one
// function; Commands() lists them all.
#include <vector>

#include "tools/cli/command.h"

namespace cli {

// Every command of the program, in the order --help lists them.
const std::vector<Command>& Commands();

Command DisksCommand();
Command RecordsCommand();
Command TimelineCommand();
Command LocateCommand();
Command AudioCommand();
Command FramesCommand();
Command PlayCommand();
Command StillCommand();
Command SnapshotCommand();
Command ExportCommand();
Command VerifyCommand();
Command HashCommand();
Command ConvertCommand();
Command SkinPreviewCommand();
Command RecoverCommand();
Command ActivityCommand();
Command CaseCreateCommand();
Command CaseBookmarkCommand();
Command CaseClockCommand();
Command CaseHashCommand();
Command CaseShowCommand();
Command ReportCommand();

// DISK: an image path or a drive number.
Argument DeclareDisk();

// The --record option every command reading one record declares.
Option DeclareRecord();

// --view quad|1..4, as the commands showing pictures declare it.
Option DeclareView();

}  // namespace cli
