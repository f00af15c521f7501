#pragma once
// A disk held in memory: read-only over a buffer the caller owns and keeps
// alive (and unchanged) for as long as the source or a drive over it lives.
// Lets a fuzzer or a test build a volume from bytes without a file.
#include <cstdint>
#include <memory>
#include <span>

#include "platform/disk_source.h"

namespace platform {

// FormatName is "memory"; Files is empty. Reads are plain copies, safe from
// several threads at once; a read of no bytes or past the buffer's end fails.
std::unique_ptr<DiskSource> OpenMemorySource(std::span<const uint8_t> bytes);

}  // namespace platform
