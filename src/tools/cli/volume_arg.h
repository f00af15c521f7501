#pragma once
// The DISK argument of the commands: an image path or a drive number.
#include <cstdint>
#include <string>
#include <string_view>

#include "disk/recorder_volume.h"
#include "platform/drive_table.h"
#include "tools/cli/options.h"

namespace cli {

// The drive table DISK names and its drive number in it: an existing file
// or device path is the table's only image (drive 0) ahead of the machine's
// block devices; otherwise the text must be a drive number 0..9 of the
// machine's block devices. Nothing process-wide is changed.
bool ResolveDrive(std::string_view diskArg, platform::DriveTable& table, int& driveNumber, std::string& error);

// Loads the volume; error says why it was refused (the volume's own reason).
bool LoadVolume(std::string_view diskArg, disk::RecorderVolume& volume, std::string& error);

// The command's one DISK argument loaded and its --record N opened.
bool LoadRecord(Options& options, disk::RecorderVolume& volume, uint32_t& record, std::string& error);

// --record N (from 1) of a loaded volume, opened; record gets N - 1. A
// record whose index is damaged gets one warning on stderr (what can be
// read is kept), or is refused when none of it can be read.
bool OpenRecordOption(Options& options, disk::RecorderVolume& volume, uint32_t& record, std::string& error);

}  // namespace cli
