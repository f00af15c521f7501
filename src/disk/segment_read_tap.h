#pragma once
// Sees what the stream cursor reads from the disk: each segment it selects
// and the sectors it loads into the window, in the order they are read. The
// export's report hashes exactly these bytes. Called on the thread that
// reads through the volume; the callee must not read through it.
#include <cstdint>
#include <span>

namespace disk {

class SegmentReadTap {
public:
    virtual ~SegmentReadTap() = default;
    virtual void SegmentSelected(uint32_t segment, uint32_t firstSector) = 0;
    virtual void SectorsRead(uint32_t firstSector, std::span<const uint8_t> bytes) = 0;
};

}  // namespace disk
