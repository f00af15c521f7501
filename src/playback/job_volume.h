#pragma once
// The one place a background job gets its own reader of the disk playback
// is on: a RecordReader of its own over the loaded Volume (shared and
// immutable), never playback's reader, whose stream the engine's lock guards.
#include <cstdint>
#include <memory>
#include <string>

#include "disk/record_reader.h"
#include "disk/volume.h"

namespace playback {

// A reader of volume with record (from 0) open; null, with error set to a
// line saying why, when there is no volume or the record is refused.
std::unique_ptr<disk::RecordReader> OpenJobReader(std::shared_ptr<const disk::Volume> volume, uint32_t record,
                                                  std::string& error);

}  // namespace playback
