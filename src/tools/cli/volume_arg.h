#pragma once
// The DISK argument of the commands: an image path or a drive number.
#include <cstdint>
#include <string>
#include <string_view>

#include "disk/recorder_volume.h"
#include "tools/cli/options.h"

namespace cli {

// An existing file or device path becomes the first entry of the drive
// table (drive 0); otherwise the text must be a drive number 0..9.
bool ResolveDrive(std::string_view diskArg, int& driveNumber, std::string& error);

// Loads the volume; error says why it was refused (the volume's own reason).
bool LoadVolume(std::string_view diskArg, disk::RecorderVolume& volume, std::string& error);

// The command's one DISK argument loaded and its --record N opened.
bool LoadRecord(Options& options, disk::RecorderVolume& volume, uint32_t& record, std::string& error);

// --record N (from 1) of a loaded volume, opened; record gets N - 1. A
// record whose index is damaged gets one warning on stderr (what can be
// read is kept), or is refused when none of it can be read.
bool OpenRecordOption(Options& options, disk::RecorderVolume& volume, uint32_t& record, std::string& error);

}  // namespace cli
