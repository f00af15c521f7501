#pragma once
// The one place a background job gets its own reader of the disk playback
// is on: for now a RecorderVolume of its own, loaded on the same drive
// (never playback's, whose stream the engine's lock guards). When the
// shared volume with per-consumer readers comes, only this changes.
#include <cstdint>
#include <memory>
#include <string>

#include "disk/recorder_volume.h"

namespace playback {

// The disk of driveNumber loaded and record (from 0) opened; null, with
// error set to a line saying why, when either is refused.
std::unique_ptr<disk::RecorderVolume> OpenJobVolume(int driveNumber, uint32_t record, std::string& error);

}  // namespace playback
