#pragma once
// The one place a background job gets its own reader of the disk playback
// is on: a RecordReader of its own over the loaded Volume (shared and
// immutable), never playback's reader, whose stream the engine's lock guards.
#include <cstdint>
#include <memory>
#include <string>

#include "disk/record_reader.h"
#include "disk/volume.h"
#include "platform/error.h"

namespace playback {

// A reader of volume with record (from 0) open, or why not: no volume, a
// record the disk does not hold, an index that cannot be read.
platform::Result<std::unique_ptr<disk::RecordReader>> OpenJobReader(std::shared_ptr<const disk::Volume> volume,
                                                                    uint32_t record);

}  // namespace playback
