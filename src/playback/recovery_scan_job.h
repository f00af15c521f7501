#pragma once
// The recovery scan as a background job: the whole disk searched for the
// recordings its record table no longer lists (disk::ScanForRecordings),
// on the job's thread, over the shared volume (no reader is needed: the
// scan reads the disk's sectors, never a record's stream).
#include <memory>

#include "disk/volume.h"
#include "playback/job.h"

namespace playback {

// Done with a std::shared_ptr<const disk::Recovery> as its value and
// "N recordings found" as its summary; Cancelled when asked to stop;
// Failed with the scan's reason (an unreadable table or index area).
// Progress is the share of the disk's sectors passed, reported as the
// scan reports it.
JobFunction RecoveryScanJob(std::shared_ptr<const disk::Volume> volume);

}  // namespace playback
