#pragma once
// The recovery scan: finds what the record table no longer lists (unlisted
// entries, orphan index runs, carved seconds), says how much of each
// survives, and maps the disk's sectors by kind. One sequential pass over
// the disk at most: index-covered sectors are read only where a segment's
// first sectors are checked; the rest is scanned for content.
//
// Runs on the caller's thread (a background job's, or the command line's)
// over a shared, immutable Volume; it reads through the Volume and keeps no
// state between calls.
#include <cstdint>
#include <functional>
#include <string>

#include "disk/recovered_recording.h"
#include "disk/volume.h"
#include "platform/error.h"

namespace disk {

struct ScanControl {
    // Asked now and then; true ends the scan with ErrorKind::Cancelled.
    std::function<bool()> cancelled;
    // The share of the disk's sectors passed (0..1) and what is being done.
    std::function<void(double fraction, const std::string& what)> progress;
};

// A failed read of the table or index area, or a cancel, fails the scan
// with the reason; unreadable data sectors are noted and passed over.
platform::Result<Recovery> ScanForRecordings(const Volume& volume, const ScanControl& control = {});

}  // namespace disk
