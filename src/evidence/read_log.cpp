#include "evidence/read_log.h"

#include <algorithm>

#include "disk/raw_disk.h"

namespace evidence {

void ReadLog::Reset(std::size_t expected)
{
    reads.clear();
    reads.reserve(expected);
    losses.clear();
    isOpen = false;
    valid = sha.IsValid();
}

void ReadLog::Close()
{
    if (!isOpen)
        return;
    isOpen = false;
    std::array<uint8_t, Digest::kMaxBytes> digest{};
    const std::size_t n = sha.Finish(digest);
    if (open.sectorCount == 0)
        return;
    if (n != open.sha256.size())
        valid = false;
    std::copy_n(digest.begin(), open.sha256.size(), open.sha256.begin());
    reads.push_back(open);
}

void ReadLog::SegmentSelected(uint32_t segment, uint32_t firstSector)
{
    Close();
    open = {segment, firstSector, 0, {}};
    isOpen = true;
}

void ReadLog::SectorsRead(uint32_t firstSector, std::span<const uint8_t> bytes)
{
    const uint64_t count = bytes.size() / disk::kSectorBytes;
    if (!isOpen)
        return;
    // Loads follow one another within a segment; a gap starts a run of its
    // own so that each entry stays one contiguous range to re-read.
    if (open.firstSector + open.sectorCount != firstSector) {
        const uint32_t segment = open.segment;
        Close();
        open = {segment, firstSector, 0, {}};
        isOpen = true;
    }
    sha.Update(bytes);
    open.sectorCount += count;
}

void ReadLog::SegmentLost(uint32_t segment, uint32_t firstSector, uint32_t sectorCount, const std::string& error)
{
    Close();
    // Playback's seeks and the export's reads can select a lost second
    // twice; it was lost once.
    for (const disk::SegmentLoss& loss : losses)
        if (loss.segment == segment)
            return;
    losses.push_back({segment, firstSector, sectorCount, error});
}

void ReadLog::Finish() { Close(); }

}  // namespace evidence
