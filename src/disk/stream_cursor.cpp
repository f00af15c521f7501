// Record index and stream cursor: opening a record, selecting a one-second
// segment and streaming it through the read-ahead window.
#include <algorithm>
#include <new>
#include <string>

#include "disk/byte_order.h"
#include "disk/recorder_volume.h"

namespace disk {

namespace {

// Index sectors read per request: bounded memory whatever the count says.
constexpr uint32_t kIndexChunkSectors = 128;

}  // namespace

// Reads the record's entries o .. o + c, stopping at the first implausible
// one and where the data area begins: a damaged count never makes us read
// (or hold) segment bytes as an index. False when nothing can be read.
bool RecorderVolume::ReadIndex(uint32_t recordNumber, std::vector<uint32_t>& entries, IndexCheck& check,
                               uint32_t* pastDiskEnd)
{
    if (pastDiskEnd)
        *pastDiskEnd = 0;
    entries.clear();
    if (!IsLoaded() || recordNumber >= header.recordCount || recordNumber >= kRecordSlots)
        return false;
    const RecordEntry& entry = Record(recordNumber);
    const uint64_t c = entry.segmentCount;
    if (c > kMaxSegments)
        return false;
    const uint64_t diskSectors = disk.SectorCount();
    const uint64_t firstByte = uint64_t(header.indexAreaSector) * kSectorBytes + uint64_t(entry.indexOffset) * 4;
    const uint64_t firstSector = firstByte / kSectorBytes;
    // Another record's entries begin inside this one's: a count that runs
    // on over them is damage. Its first entry may be this record's last
    // (records that share a boundary entry), so that one is still taken.
    uint64_t entriesBeforeNext = c + 1;
    const auto next = std::upper_bound(sortedOffsets.begin(), sortedOffsets.end(), entry.indexOffset);
    const bool cutByRecord = next != sortedOffsets.end() && uint64_t(*next) < uint64_t(entry.indexOffset) + c;
    if (cutByRecord)
        entriesBeforeNext = uint64_t(*next) - entry.indexOffset + 1;
    const uint64_t endByte = firstByte + entriesBeforeNext * 4;
    const uint64_t endSector = (endByte + kSectorBytes - 1) / kSectorBytes;
    // The entries stored on the disk are what the index can be.
    if (firstSector >= diskSectors || firstSector > UINT32_MAX)
        return false;
    const uint64_t readEnd = std::min({endSector, diskSectors, std::max<uint64_t>(dataStart, firstSector + 1)});

    IndexChecker checker(entry.segmentCount, diskSectors);
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(size_t(kIndexChunkSectors) * kSectorBytes);
        entries.reserve(static_cast<size_t>(std::min<uint64_t>(c + 1, (readEnd - firstSector) * kSectorBytes / 4)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Entry 0 stored in the data area: nothing is an index.
    const bool entryZeroInData = firstSector >= dataStart;
    uint64_t byte = firstByte;
    for (uint64_t sector = firstSector; sector < readEnd && !entryZeroInData;) {
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kIndexChunkSectors, readEnd - sector));
        if (disk.ReadSectors(static_cast<uint32_t>(sector), count, buffer) == 0) {
            if (sector == firstSector)
                return false;
            break;  // what was read so far stands; the rest counts as not there
        }
        const uint64_t chunkEnd = (sector + count) * kSectorBytes;
        bool more = true;
        for (; more && byte + 4 <= chunkEnd && byte < endByte; byte += 4) {
            const uint32_t value = ReadBe32(buffer, static_cast<size_t>(byte - sector * kSectorBytes));
            more = checker.Take(value);
            if (more)
                entries.push_back(value);
            else if (pastDiskEnd && value > diskSectors)
                *pastDiskEnd = value;
        }
        if (!more || byte >= endByte)
            break;
        sector += count;
    }
    check = checker.Result();
    // Cut by the disk's end or the next record rather than by the data area.
    if (check.damage == IndexDamage::RunsIntoData) {
        if (readEnd == diskSectors && endSector > diskSectors)
            check.damage = IndexDamage::LeavesDisk;
        else if (cutByRecord && entries.size() == entriesBeforeNext)
            check.damage = IndexDamage::RunsIntoRecord;
    }
    return true;
}

bool RecorderVolume::CheckRecordIndex(uint32_t recordNumber, IndexCheck& check)
{
    std::vector<uint32_t> entries;
    return ReadIndex(recordNumber, entries, check);
}

bool RecorderVolume::OpenRecord(uint32_t recordNumber)
{
    std::vector<uint32_t> index;
    IndexCheck check;
    uint32_t pastDiskEnd = 0;
    if (!ReadIndex(recordNumber, index, check, &pastDiskEnd))
        return false;
    cutEntry = check.damage == IndexDamage::LeavesDisk ? pastDiskEnd : 0;
    const RecordEntry& entry = Record(recordNumber);
    openWidth = entry.width;
    openHeight = entry.height;
    sectorIndex = std::move(index);
    openIndexCheck = check;
    segmentCount = check.readableSegments;
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

// The second the disk ends inside (see cutEntry): it begins at the last
// entry the index holds and runs to the entry past the disk's end.
bool RecorderVolume::CutSegmentSectors(uint32_t segment, SectorRange& range) const
{
    if (cutEntry == 0 || segment != segmentCount || segment + 1 != sectorIndex.size())
        return false;
    const uint32_t first = sectorIndex[segment];
    range = {first, std::min(cutEntry - first, kWindowSectors)};
    return true;
}

bool RecorderVolume::SelectSegment(uint32_t segment)
{
    SectorRange range;
    if (!SegmentSectors(segment, range) && !CutSegmentSectors(segment, range))
        return false;
    currentSegment = segment;
    firstSector = range.first;
    endSector = range.first + range.count;
    nextSector = firstSector;
    sectorsLeft = range.count;
    segmentBytes = sectorsLeft * kSectorBytes;
    loadedBytes = 0;
    cursor = 0;
    segmentLost = false;
    lossPending = false;
    if (readTap)
        readTap->SegmentSelected(segment, firstSector);
    if (!LoadWholeSegment()) {
        // Used as an empty segment: nothing of it is cut, and no frame is
        // carried into it or out of it.
        const uint32_t failedAt = nextSector;
        const uint32_t k = std::min(sectorsLeft, kReadAheadSectors);
        segmentLost = true;
        lossPending = true;
        segmentBytes = loadedBytes = sectorsLeft = 0;
        ResetFrameAssembly();
        lastLoss.segment = segment;
        lastLoss.firstSector = range.first;
        lastLoss.sectorCount = range.count;
        const uint64_t last = uint64_t(failedAt) + k - 1;
        lastLoss.error = "sectors " + std::to_string(failedAt) + " to " + std::to_string(last) +
                         (last >= disk.SectorCount()
                              ? " lie past the disk's end (" + std::to_string(disk.SectorCount()) + " sectors)"
                              : " could not be read");
        if (readTap)
            readTap->SegmentLost(segment, range.first, range.count, lastLoss.error);
    }
    return true;
}

// Every sector of the selected segment into the window, in read-ahead
// chunks (the read tap sees each); false at the first that fails.
bool RecorderVolume::LoadWholeSegment()
{
    while (sectorsLeft > 0)
        if (!ReadAhead())
            return false;
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

// A segment is read whole at selection, so this only guards the cursor: it
// never moves over window bytes left from another segment.
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
