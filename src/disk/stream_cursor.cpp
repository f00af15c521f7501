// Record index and stream cursor: opening a record, selecting a one-second
// segment and streaming it through the read-ahead window.
#include <algorithm>
#include <new>

#include "disk/byte_order.h"
#include "disk/recorder_volume.h"

namespace disk {

bool RecorderVolume::OpenRecord(uint32_t recordNumber)
{
    if (!IsLoaded() || recordNumber >= header.recordCount || recordNumber >= kRecordSlots)
        return false;
    const RecordEntry& entry = Record(recordNumber);
    openWidth = entry.width;
    openHeight = entry.height;

    const uint64_t c = entry.segmentCount;
    const uint64_t o = entry.indexOffset;
    if (c > kMaxSegments)
        return false;
    // Entries o .. o + c, read from the sectors that hold them. The span is
    // checked against the disk before anything is allocated.
    const uint64_t firstByte = o * 4;
    const uint64_t endByte = (o + c + 1) * 4;
    const uint64_t first = header.indexAreaSector + firstByte / kSectorBytes;
    const uint64_t sectors = (endByte - 1) / kSectorBytes - firstByte / kSectorBytes + 1;
    if (first + sectors > disk.SectorCount() || first > UINT32_MAX)
        return false;

    std::vector<uint8_t> buffer;
    std::vector<uint32_t> index;
    try {
        buffer.resize(sectors * kSectorBytes);
        index.resize(c + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (disk.ReadSectors(static_cast<uint32_t>(first), static_cast<uint32_t>(sectors), buffer) == 0)
        return false;
    const size_t skip = firstByte % kSectorBytes;
    for (uint64_t j = 0; j <= c; ++j)
        index[j] = ReadBe32(buffer, skip + j * 4);

    sectorIndex = std::move(index);
    segmentCount = static_cast<uint32_t>(c);
    openRecord = static_cast<int32_t>(recordNumber);
    capturePending = true;
    ResetFrameAssembly();
    // Never leave the cursor on the previous record's bytes.
    if (!SelectSegment(0)) {
        currentSegment = 0;
        segmentBytes = loadedBytes = cursor = sectorsLeft = 0;
    }
    return true;
}

bool RecorderVolume::SegmentSectors(uint32_t segment, SectorRange& range) const
{
    if (segment >= segmentCount || segment + 1 >= sectorIndex.size())
        return false;
    const uint32_t first = sectorIndex[segment];
    uint32_t end = sectorIndex[segment + 1];
    // A decreasing index is damage: such a segment is empty. One longer than
    // the window is cut to the window.
    if (end < first)
        end = first;
    if (end - first > kWindowSectors)
        end = first + kWindowSectors;
    range = {first, end - first};
    return true;
}

bool RecorderVolume::SelectSegment(uint32_t segment)
{
    SectorRange range;
    if (!SegmentSectors(segment, range))
        return false;
    currentSegment = segment;
    firstSector = range.first;
    endSector = range.first + range.count;
    nextSector = firstSector;
    sectorsLeft = range.count;
    segmentBytes = sectorsLeft * kSectorBytes;
    loadedBytes = 0;
    cursor = 0;
    if (readTap)
        readTap->SegmentSelected(segment, firstSector);
    return true;
}

bool RecorderVolume::ReadAhead()
{
    if (sectorsLeft == 0 || nextSector >= endSector)
        return false;
    const uint32_t k = std::min(sectorsLeft, kReadAheadSectors);
    const std::span<uint8_t> into(window.get() + loadedBytes, size_t(k) * kSectorBytes);
    if (disk.ReadSectors(nextSector, k, into) == 0)
        return false;
    if (readTap)
        readTap->SectorsRead(nextSector, into);
    nextSector += k;
    sectorsLeft -= k;
    loadedBytes += k * kSectorBytes;
    return true;
}

// A segment whose sectors can't be read ends where reading stopped: the
// cursor never moves over window bytes left from another segment.
void RecorderVolume::EndSegmentAtLoaded()
{
    segmentBytes = loadedBytes;
    sectorsLeft = 0;
    if (cursor >= segmentBytes)
        cursor = segmentBytes == 0 ? 0 : segmentBytes - 1;
}

// Makes window bytes [0, end) available when the segment has them; false
// when the segment (possibly cut short by a read failure) is shorter.
bool RecorderVolume::EnsureLoaded(uint32_t end)
{
    end = std::min(end, segmentBytes);
    while (loadedBytes < end) {
        if (!ReadAhead()) {
            EndSegmentAtLoaded();
            return false;
        }
    }
    return true;
}

bool RecorderVolume::Advance()
{
    if (uint64_t(cursor) + 1 >= segmentBytes)
        return false;
    const uint32_t next = cursor + 1;
    if (uint64_t(next) + 7 > loadedBytes && sectorsLeft > 0 && !ReadAhead())
        EndSegmentAtLoaded();
    if (next >= segmentBytes)
        return false;
    cursor = next;
    return true;
}

uint8_t RecorderVolume::CursorByte(uint32_t k) const
{
    const uint64_t at = uint64_t(cursor) + k;
    return at < loadedBytes ? window[at] : 0;
}

}  // namespace disk
