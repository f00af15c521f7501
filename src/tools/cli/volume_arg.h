#pragma once
// The DISK argument of the commands: an image path or a drive number.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "disk/recorder_volume.h"
#include "platform/drive_table.h"
#include "platform/error.h"
#include "tools/cli/options.h"

namespace cli {

// The drive table DISK names and its drive number in it: an existing file
// or device path is the table's only image (drive 0) ahead of the machine's
// block devices; otherwise the text must be a drive number 0..9 of the
// machine's block devices. Nothing process-wide is changed.
struct ResolvedDisk {
    platform::DriveTable table;
    int driveNumber = -1;
};
platform::Result<ResolvedDisk> ResolveDrive(std::string_view diskArg);

// Loads the volume; the failure says why it was refused (the volume's own
// reason).
platform::Result<void> LoadVolume(std::string_view diskArg, disk::RecorderVolume& volume);

// The command's one DISK argument loaded (unless the volume is loaded
// already: a volume shared with the caller) and its --record N opened: the
// record, from 0.
platform::Result<uint32_t> LoadRecord(Options& options, disk::RecorderVolume& volume);

// --record N (from 1) of a loaded volume, opened: N - 1. A record whose
// index is damaged gets one warning on stderr (what can be read is kept),
// or is refused when none of it can be read.
//
// --record ID names a recording the record table no longer lists ("u2",
// "i1", "c1"): the disk is scanned once (not again when the volume holds a
// scan's findings already), the volume is made again with
// what the scan found (the recordings numbered after the listed ones, see
// disk::Volume::WithRecovery) and the recording opened; its number is
// given.
platform::Result<uint32_t> OpenRecordOption(Options& options, disk::RecorderVolume& volume);

// The loaded volume scanned for the recordings its record table no longer
// lists (a progress bar on a terminal meanwhile) and made again with them
// numbered after its records; the loaded volume is left as it was.
platform::Result<std::shared_ptr<const disk::Volume>> ScanLoadedVolume(const disk::RecorderVolume& volume);

// The record as people name it: "3" (from 1), or a recovered recording's id.
std::string RecordName(const disk::RecorderVolume& volume, uint32_t record);

// Whether a --record value has the form of a recovered recording's id: one
// of the letters u, i, c and a number from 1.
bool IsRecoveredId(std::string_view text);

}  // namespace cli
