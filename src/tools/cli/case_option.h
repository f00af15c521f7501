#pragma once
// --case CASE on the commands whose work an examination keeps (export,
// activity): the case is opened and checked against the disk the command
// loaded before any work is done, and what was made is added once it is
// made. A command whose result could not be added to its case fails: the
// result stays, the case is not silently left without it.
#include <optional>

#include "casefile/case_file.h"
#include "disk/raw_disk.h"
#include "disk/recorder_volume.h"
#include "platform/error.h"
#include "tools/cli/command.h"
#include "tools/cli/options.h"

namespace cli {

Option DeclareCaseOption();

// Nothing when --case is absent; otherwise the case, refused when it is no
// case or names another disk than the loaded volume's.
platform::Result<std::optional<casefile::CaseFile>> OpenCaseOption(Options& options,
                                                                   const disk::RecorderVolume& volume);

// The disk a case names as the commands reach it: --disk DISK when given
// (the disk moved), else the path the case resolved when it was made.
std::string CaseDiskArg(Options& options, const casefile::DiskIdentity& named);

// That disk loaded into volume and opened for reading into raw, refused
// when it cannot be, or when it is another disk than the case's.
platform::Result<void> OpenCaseDisk(const std::string& diskArg, const casefile::CaseFile& file,
                                    disk::RecorderVolume& volume, disk::RawDisk& raw);

}  // namespace cli
