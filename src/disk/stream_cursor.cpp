// Record index and stream cursor: opening a record, selecting a one-second
// segment and streaming it through the read-ahead window.
#include <algorithm>
#include <string>
#include <utility>

#include "disk/record_reader.h"

namespace disk {

bool RecordReader::OpenRecord(uint32_t recordNumber)
{
    std::vector<uint32_t> index;
    IndexCheck check;
    uint32_t pastDiskEnd = 0;
    if (!volume || !volume->ReadIndex(recordNumber, index, check, &pastDiskEnd))
        return false;
    cutEntry = check.damage == IndexDamage::LeavesDisk ? pastDiskEnd : 0;
    const RecordEntry& entry = volume->Record(recordNumber);
    openWidth = entry.width;
    openHeight = entry.height;
    sectorIndex = std::move(index);
    openIndexCheck = check;
    segmentCount = check.readableSegments;
    openRecord = static_cast<int32_t>(recordNumber);
    openRecovered = volume->Recovered(recordNumber);
    capturePending = true;
    ResetFrameAssembly();
    // Never leave the cursor on the previous record's bytes.
    if (!SelectSegment(0)) {
        currentSegment = 0;
        segmentBytes = loadedBytes = cursor = sectorsLeft = 0;
    }
    return true;
}

bool RecordReader::SegmentSectors(uint32_t segment, SectorRange& range) const
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
bool RecordReader::CutSegmentSectors(uint32_t segment, SectorRange& range) const
{
    if (cutEntry == 0 || segment != segmentCount || segment + 1 != sectorIndex.size())
        return false;
    const uint32_t first = sectorIndex[segment];
    range = {first, std::min(cutEntry - first, kWindowSectors)};
    return true;
}

bool RecordReader::SelectSegment(uint32_t segment)
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
    if (std::string why; RecoveredSegmentLost(segment, why)) {
        LoseSegment(segment, range, std::move(why));
        return true;
    }
    if (!LoadWholeSegment()) {
        const uint32_t failedAt = nextSector;
        const uint32_t k = std::min(sectorsLeft, kReadAheadSectors);
        const uint64_t last = uint64_t(failedAt) + k - 1;
        const uint64_t diskSectors = volume ? volume->DiskSectorCount() : 0;
        LoseSegment(segment, range,
                    "sectors " + std::to_string(failedAt) + " to " + std::to_string(last) +
                        (last >= diskSectors ? " lie past the disk's end (" + std::to_string(diskSectors) + " sectors)"
                                             : " could not be read"));
    }
    return true;
}

// Used as an empty segment: nothing of it is cut, and no frame is carried
// into it or out of it.
void RecordReader::LoseSegment(uint32_t segment, const SectorRange& range, std::string error)
{
    segmentLost = true;
    lossPending = true;
    segmentBytes = loadedBytes = sectorsLeft = 0;
    ResetFrameAssembly();
    lastLoss.segment = segment;
    lastLoss.firstSector = range.first;
    lastLoss.sectorCount = range.count;
    lastLoss.error = std::move(error);
    if (readTap)
        readTap->SegmentLost(segment, range.first, range.count, lastLoss.error);
}

// A recovered recording's segment whose sectors are not its own any more:
// "second 4 of u2 is overwritten: sectors 81920 to 81983 belong to record 3".
bool RecordReader::RecoveredSegmentLost(uint32_t segment, std::string& error) const
{
    if (!openRecovered || segment >= openRecovered->status.size())
        return false;
    const SegmentStatus status = openRecovered->status[segment];
    if (status == SegmentStatus::Intact)
        return false;
    error = "second " + std::to_string(segment) + " of " + openRecovered->id + " is " + SegmentStatusName(status);
    for (const SegmentNote& note : openRecovered->notes)
        if (note.segment == segment && !note.text.empty()) {
            error += ": " + note.text;
            break;
        }
    return true;
}

// Every sector of the selected segment into the window, in read-ahead
// chunks (the read tap sees each); false at the first that fails.
bool RecordReader::LoadWholeSegment()
{
    while (sectorsLeft > 0)
        if (!ReadAhead())
            return false;
    return true;
}

bool RecordReader::ReadAhead()
{
    if (!volume || sectorsLeft == 0 || nextSector >= endSector)
        return false;
    const uint32_t k = std::min(sectorsLeft, kReadAheadSectors);
    const std::span<uint8_t> into(window.get() + loadedBytes, size_t(k) * kSectorBytes);
    if (volume->ReadDiskSectors(nextSector, k, into) == 0)
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
void RecordReader::EndSegmentAtLoaded()
{
    segmentBytes = loadedBytes;
    sectorsLeft = 0;
    if (cursor >= segmentBytes)
        cursor = segmentBytes == 0 ? 0 : segmentBytes - 1;
}

// Makes window bytes [0, end) available when the segment has them; false
// when the segment (possibly cut short by a read failure) is shorter.
bool RecordReader::EnsureLoaded(uint32_t end)
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

bool RecordReader::Advance()
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

uint8_t RecordReader::CursorByte(uint32_t k) const
{
    const uint64_t at = uint64_t(cursor) + k;
    return at < loadedBytes ? window[at] : 0;
}

}  // namespace disk
