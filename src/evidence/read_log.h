#pragma once
// The sectors an export read, segment by segment, each run hashed as the
// volume loads it into its window: the report's "reads". Installed on the
// volume as its read tap by the thread that reads through it, and read by
// that thread once the reads are over; no lock.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disk/recorder_volume.h"
#include "disk/segment_read_tap.h"
#include "evidence/digest.h"

namespace evidence {

struct SegmentRead {
    uint32_t segment = 0;  // the record's position
    uint64_t firstSector = 0;
    uint64_t sectorCount = 0;
    Sha256Bytes sha256{};
};

class ReadLog : public disk::SegmentReadTap {
public:
    ReadLog() : sha(DigestKind::Sha256) {}
    // Forgets earlier reads; room for expected entries without allocating.
    void Reset(std::size_t expected);
    void SegmentSelected(uint32_t segment, uint32_t firstSector) override;
    void SectorsRead(uint32_t firstSector, std::span<const uint8_t> bytes) override;
    void SegmentLost(uint32_t segment, uint32_t firstSector, uint32_t sectorCount, const std::string& error) override;
    // Closes the run being read; selections that read nothing are left out.
    void Finish();
    std::span<const SegmentRead> Reads() const { return reads; }
    // The segments that could not be read whole, in the order met (each
    // position once).
    std::span<const disk::SegmentLoss> Losses() const { return losses; }
    // False when libcrypto failed at some point: the hashes are not to be trusted.
    bool Valid() const { return valid; }

private:
    void Close();

    Digest sha;
    std::vector<SegmentRead> reads;
    std::vector<disk::SegmentLoss> losses;
    SegmentRead open{};
    bool isOpen = false;
    bool valid = true;
};

}  // namespace evidence
