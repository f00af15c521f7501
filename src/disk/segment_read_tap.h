#pragma once
// Sees what the stream cursor reads from the disk: each segment it selects
// and the sectors it loads into the window, in the order they are read, and
// each segment that could not be read whole (a lost second). The export's
// report hashes exactly these bytes. Called on the thread that reads through
// the volume; the callee must not read through it.
#include <cstdint>
#include <span>
#include <string>

namespace disk {

class SegmentReadTap {
public:
    virtual ~SegmentReadTap() = default;
    virtual void SegmentSelected(uint32_t segment, uint32_t firstSector) = 0;
    virtual void SectorsRead(uint32_t firstSector, std::span<const uint8_t> bytes) = 0;
    // The segment's sectors [firstSector, firstSector + sectorCount) could not
    // all be read: it is used as an empty segment. Told after the reads of
    // the part that could be read, if any.
    virtual void SegmentLost(uint32_t segment, uint32_t firstSector, uint32_t sectorCount, const std::string& error)
    {
        (void)segment;
        (void)firstSector;
        (void)sectorCount;
        (void)error;
    }
};

}  // namespace disk
