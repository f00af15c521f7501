#include "disk/recorder_volume.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "disk/byte_order.h"

namespace disk {
namespace {

// Look-ahead past the cursor never exceeds 7 bytes; the padding keeps it
// inside the allocation even at the window's last byte.
constexpr uint32_t kWindowPadding = 16;

VolumeHeader ParseHeader(std::span<const uint8_t> sector)
{
    VolumeHeader h;
    h.recordTableSector = ReadBe32(sector, 12);
    h.indexAreaSector = ReadBe32(sector, 16);
    h.valueA = ReadBe32(sector, 20);
    h.recordCount = ReadBe16(sector, 24);
    h.valueB = ReadBe32(sector, 26);
    h.valueC = ReadBe32(sector, 30);
    h.valueD = ReadBe32(sector, 34);
    h.firstEntryPosition = ReadBe16(sector, 38);
    return h;
}

}  // namespace

RecorderVolume::RecorderVolume()
    : recordSlots(kRecordSlots), window(std::make_unique<uint8_t[]>(kWindowBytes + kWindowPadding)),
      splitBuffer(std::make_unique_for_overwrite<uint8_t[]>(kSplitBufferBytes))
{
    static constexpr uint8_t kFixedHeader[] = {0x00, 0x00, 0x01, 0xB0, 0x03, 0x00, 0x00, 0x01, 0xB5, 0x09};
    std::memcpy(streamHeader.data(), kFixedHeader, sizeof kFixedHeader);
}

RecorderVolume::~RecorderVolume() = default;

bool RecorderVolume::Load(int driveNumber) { return Load(platform::DriveTable::Current(), driveNumber); }

bool RecorderVolume::Load(const platform::DriveTable& table, int driveNumber)
{
    // A failed reload must not leave the volume looking loaded with half of
    // a new table, nor a record open on the old disk's index.
    loadedDrive = -1;
    openRecord = -1;
    segmentCount = 0;
    sectorIndex.clear();
    openIndexCheck = {};
    openError.clear();

    loadFailure = LoadFailure::CannotOpen;
    if (!disk.Open(table, driveNumber, &openError))
        return false;
    loadFailure = LoadFailure::NotRecorderDisk;
    if (!disk.HasVolumeSignature())
        return false;
    std::array<uint8_t, kSectorBytes> sector0{};
    loadFailure = LoadFailure::CannotRead;
    if (disk.ReadSectors(0, 1, sector0) == 0)
        return false;
    header = ParseHeader(sector0);
    loadFailure = ReadTable();
    if (loadFailure != LoadFailure::None)
        return false;
    FindDataStart();
    loadedDrive = driveNumber;
    return true;
}

// Parses the record table into the slots. Refuses tables the slots can't
// hold (count above 8192) and a first entry position of 0, which would
// place record 0 before the table.
LoadFailure RecorderVolume::ReadTable()
{
    const uint32_t count = header.recordCount;
    const uint32_t first = header.firstEntryPosition;
    if (count == 0)
        return LoadFailure::NoRecords;
    if (count > kRecordSlots)
        return LoadFailure::TooManyRecords;
    if (first == 0)
        return LoadFailure::BadFirstEntry;
    const uint32_t sectors = (count + first - 1) * kRecordEntryBytes / kSectorBytes + 1;
    if (uint64_t(header.recordTableSector) + sectors > disk.SectorCount())
        return LoadFailure::TableOutsideDisk;

    std::vector<uint8_t> table;
    try {
        table.resize(size_t(sectors) * kSectorBytes);
    } catch (const std::bad_alloc&) {
        return LoadFailure::OutOfMemory;
    }
    if (disk.ReadSectors(header.recordTableSector, sectors, table) == 0)
        return LoadFailure::CannotRead;

    const std::span<const uint8_t> bytes(table);
    for (uint32_t i = 0; i < count; ++i) {
        if (!recordSlots[i])
            recordSlots[i] = std::make_unique<RecordEntry>();
        const ParsedEntry parsed =
            ParseRecordEntry(bytes.subspan(size_t(first - 1 + i) * kRecordEntryBytes, kRecordEntryBytes));
        *recordSlots[i] = parsed.entry;
        audioArea = parsed.hasAudioArea;
    }
    return LoadFailure::None;
}

// The data area begins at the lowest first segment of any record, counting
// only first entries that lie after the sector they are stored in and on
// the disk: one damaged entry cannot pull it down to the index itself.
void RecorderVolume::FindDataStart()
{
    const uint64_t diskSectors = disk.SectorCount();
    uint64_t lowest = diskSectors;
    sortedOffsets.clear();
    for (uint32_t r = 0; r < header.recordCount && r < kRecordSlots; ++r)
        sortedOffsets.push_back(Record(r).indexOffset);
    std::sort(sortedOffsets.begin(), sortedOffsets.end());
    std::array<uint8_t, kSectorBytes> sector{};
    uint64_t cached = UINT64_MAX;
    for (uint32_t r = 0; r < header.recordCount && r < kRecordSlots; ++r) {
        const uint64_t byte = uint64_t(header.indexAreaSector) * kSectorBytes + uint64_t(Record(r).indexOffset) * 4;
        const uint64_t at = byte / kSectorBytes;
        if (at >= diskSectors || at >= lowest)
            continue;
        if (at != cached) {
            if (disk.ReadSectors(static_cast<uint32_t>(at), 1, sector) == 0)
                continue;
            cached = at;
        }
        const uint32_t first = ReadBe32(sector, byte % kSectorBytes);
        if (first > at && first < lowest)
            lowest = first;
    }
    dataStart = static_cast<uint32_t>(std::min<uint64_t>(lowest, UINT32_MAX));
}

bool RecorderVolume::RecordTableSectors(SectorRange& range) const
{
    const uint32_t count = header.recordCount;
    const uint32_t first = header.firstEntryPosition;
    if (count == 0 || count > kRecordSlots || first == 0)
        return false;
    const uint64_t sectors = (uint64_t(count) + first - 1) * kRecordEntryBytes / kSectorBytes + 1;
    if (uint64_t(header.recordTableSector) + sectors > disk.SectorCount())
        return false;
    range = {header.recordTableSector, static_cast<uint32_t>(sectors)};
    return true;
}

bool RecorderVolume::IndexSectors(uint32_t recordNumber, SectorRange& range) const
{
    if (recordNumber >= header.recordCount || recordNumber >= kRecordSlots)
        return false;
    const RecordEntry& entry = Record(recordNumber);
    const uint64_t c = entry.segmentCount;
    if (c > kMaxSegments)
        return false;
    const uint64_t firstByte = uint64_t(entry.indexOffset) * 4;
    const uint64_t endByte = (uint64_t(entry.indexOffset) + c + 1) * 4;
    const uint64_t first = header.indexAreaSector + firstByte / kSectorBytes;
    const uint64_t sectors = (endByte - 1) / kSectorBytes - firstByte / kSectorBytes + 1;
    if (first + sectors > disk.SectorCount() || first > UINT32_MAX)
        return false;
    range = {static_cast<uint32_t>(first), static_cast<uint32_t>(sectors)};
    return true;
}

void RecorderVolume::Close()
{
    loadedDrive = -1;
    disk.Close();
}

bool RecorderVolume::FirstRecord(RecordTime& beginTime, uint32_t& count)
{
    if (header.recordCount == 0 || !recordSlots[0])
        return false;
    iteration = 0;
    beginTime = recordSlots[0]->beginTime;
    count = recordSlots[0]->segmentCount;
    return true;
}

bool RecorderVolume::NextRecord(RecordTime& beginTime, uint32_t& count)
{
    if (header.recordCount == 0 || iteration + 1 >= header.recordCount || iteration + 1 >= kRecordSlots)
        return false;
    ++iteration;
    const RecordEntry& e = Record(iteration);
    beginTime = e.beginTime;
    count = e.segmentCount;
    return true;
}

const RecordEntry& RecorderVolume::Record(uint32_t index) const
{
    static const RecordEntry empty{};
    if (index >= kRecordSlots || !recordSlots[index])
        return empty;
    return *recordSlots[index];
}

const RecordEntry& RecorderVolume::OpenRecordEntry() const
{
    static const RecordEntry none{};
    return openRecord >= 0 ? Record(static_cast<uint32_t>(openRecord)) : none;
}

RecordTime RecorderVolume::OpenRecordTime() const { return OpenRecordEntry().beginTime; }

}  // namespace disk
