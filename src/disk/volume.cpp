// Loading a recorder disk: the header, the record table and where the data
// area begins; the reads of the disk's own structures (a record's index).
#include "disk/volume.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <new>
#include <utility>

#include "disk/byte_order.h"
#include "platform/memory_source.h"

namespace disk {
namespace {

// Index sectors read per request: bounded memory whatever the count says.
constexpr uint32_t kIndexChunkSectors = 128;

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

Volume::Volume(Key, platform::DriveHandle drive, int driveNumber) : driveNumber(driveNumber)
{
    auto opened = std::make_shared<RawDisk>();
    opened->Adopt(std::move(drive));
    disk = std::move(opened);
}

Volume::Volume(Key, const Volume& listed, std::shared_ptr<const Recovery> found)
    : disk(listed.disk), driveNumber(listed.driveNumber), header(listed.header), records(listed.records),
      audioArea(listed.audioArea), dataStart(listed.dataStart), sortedOffsets(listed.sortedOffsets),
      recovery(std::move(found))
{
}

std::shared_ptr<const Volume> Volume::WithRecovery(const std::shared_ptr<const Volume>& listed,
                                                   std::shared_ptr<const Recovery> recovery)
{
    if (!listed)
        return nullptr;
    try {
        return std::make_shared<const Volume>(Key{}, *listed, std::move(recovery));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

VolumeLoad Volume::Load(int driveNumber) { return Load(platform::DriveTable::Current(), driveNumber); }

VolumeLoad Volume::Load(const platform::DriveTable& table, int driveNumber)
{
    std::string why;
    platform::DriveHandle drive = platform::DriveHandle::OpenDrive(table, driveNumber, &why);
    if (!drive.IsOpen())
        return {nullptr, LoadFailure::CannotOpen, why};
    return FromDrive(std::move(drive), driveNumber);
}

VolumeLoad Volume::FromDrive(platform::DriveHandle drive, int driveNumber)
{
    if (!drive.IsOpen())
        return {nullptr, LoadFailure::CannotOpen, "no drive is open"};
    try {
        return Finish(std::make_shared<Volume>(Key{}, std::move(drive), driveNumber));
    } catch (const std::bad_alloc&) {
        return {nullptr, LoadFailure::OutOfMemory, {}};
    }
}

VolumeLoad Volume::FromBytes(std::span<const uint8_t> bytes)
{
    return FromDrive(platform::DriveHandle::FromSource(platform::OpenMemorySource(bytes), "memory"));
}

// Parses the volume the factory made; only a whole volume leaves it.
VolumeLoad Volume::Finish(std::shared_ptr<Volume> volume)
{
    const LoadFailure failure = volume->Parse();
    if (failure != LoadFailure::None)
        return {nullptr, failure, {}};
    return {std::move(volume), LoadFailure::None, {}};
}

LoadFailure Volume::Parse()
{
    if (!disk->HasVolumeSignature())
        return LoadFailure::NotRecorderDisk;
    std::array<uint8_t, kSectorBytes> sector0{};
    if (disk->ReadSectors(0, 1, sector0) == 0)
        return LoadFailure::CannotRead;
    header = ParseHeader(sector0);
    const LoadFailure failure = ReadTable();
    if (failure != LoadFailure::None)
        return failure;
    FindDataStart();
    return LoadFailure::None;
}

// Parses the record table, every entry of it. Refuses tables the slots
// can't hold (count above 8192) and a first entry position of 0, which
// would place record 0 before the table.
LoadFailure Volume::ReadTable()
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
    if (uint64_t(header.recordTableSector) + sectors > disk->SectorCount())
        return LoadFailure::TableOutsideDisk;

    std::vector<uint8_t> table;
    try {
        table.resize(size_t(sectors) * kSectorBytes);
        records.resize(count);
    } catch (const std::bad_alloc&) {
        return LoadFailure::OutOfMemory;
    }
    if (disk->ReadSectors(header.recordTableSector, sectors, table) == 0)
        return LoadFailure::CannotRead;

    const std::span<const uint8_t> bytes(table);
    for (uint32_t i = 0; i < count; ++i) {
        const ParsedEntry parsed =
            ParseRecordEntry(bytes.subspan(size_t(first - 1 + i) * kRecordEntryBytes, kRecordEntryBytes));
        records[i] = parsed.entry;
        audioArea = parsed.hasAudioArea;
    }
    return LoadFailure::None;
}

// The data area begins at the lowest first segment of any record, counting
// only first entries that lie after the sector they are stored in and on
// the disk: one damaged entry cannot pull it down to the index itself.
void Volume::FindDataStart()
{
    const uint64_t diskSectors = disk->SectorCount();
    uint64_t lowest = diskSectors;
    sortedOffsets.clear();
    for (const RecordEntry& entry : records)
        sortedOffsets.push_back(entry.indexOffset);
    std::sort(sortedOffsets.begin(), sortedOffsets.end());
    std::array<uint8_t, kSectorBytes> sector{};
    uint64_t cached = UINT64_MAX;
    for (const RecordEntry& entry : records) {
        const uint64_t byte = uint64_t(header.indexAreaSector) * kSectorBytes + uint64_t(entry.indexOffset) * 4;
        const uint64_t at = byte / kSectorBytes;
        if (at >= diskSectors || at >= lowest)
            continue;
        if (at != cached) {
            if (disk->ReadSectors(static_cast<uint32_t>(at), 1, sector) == 0)
                continue;
            cached = at;
        }
        const uint32_t firstSegment = ReadBe32(sector, byte % kSectorBytes);
        if (firstSegment > at && firstSegment < lowest)
            lowest = firstSegment;
    }
    dataStart = static_cast<uint32_t>(std::min<uint64_t>(lowest, UINT32_MAX));
}

const RecordEntry& Volume::Record(uint32_t index) const
{
    static const RecordEntry empty{};
    if (index < records.size())
        return records[index];
    const RecoveredRecording* found = Recovered(index);
    return found ? found->entry : empty;
}

uint32_t Volume::RecordingCount() const
{
    const size_t recovered = recovery ? recovery->recordings.size() : 0;
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t(header.recordCount) + recovered, UINT32_MAX));
}

const RecoveredRecording* Volume::Recovered(uint32_t recordNumber) const
{
    if (!recovery || recordNumber < header.recordCount)
        return nullptr;
    const uint64_t at = uint64_t(recordNumber) - header.recordCount;
    return at < recovery->recordings.size() ? &recovery->recordings[static_cast<size_t>(at)] : nullptr;
}

bool Volume::TimeRecorded(uint32_t recordNumber) const
{
    const RecoveredRecording* found = Recovered(recordNumber);
    return found ? found->timeRecorded : recordNumber < header.recordCount;
}

std::string Volume::RecordingName(uint32_t recordNumber) const
{
    if (recordNumber < header.recordCount)
        return std::to_string(uint64_t(recordNumber) + 1);
    const RecoveredRecording* found = Recovered(recordNumber);
    return found ? found->id : "?";
}

bool Volume::FindRecording(std::string_view name, uint32_t& recordNumber) const
{
    if (name.empty())
        return false;
    uint64_t number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (error == std::errc() && end == name.data() + name.size()) {
        if (number == 0 || number > header.recordCount)
            return false;
        recordNumber = static_cast<uint32_t>(number - 1);
        return true;
    }
    if (!recovery)
        return false;
    for (size_t i = 0; i < recovery->recordings.size(); ++i) {
        if (recovery->recordings[i].id != name)
            continue;
        const uint64_t at = uint64_t(header.recordCount) + i;
        if (at > UINT32_MAX)
            return false;
        recordNumber = static_cast<uint32_t>(at);
        return true;
    }
    return false;
}

bool Volume::RecordTableSectors(SectorRange& range) const
{
    const uint32_t count = header.recordCount;
    const uint32_t first = header.firstEntryPosition;
    if (count == 0 || count > kRecordSlots || first == 0)
        return false;
    const uint64_t sectors = (uint64_t(count) + first - 1) * kRecordEntryBytes / kSectorBytes + 1;
    if (uint64_t(header.recordTableSector) + sectors > disk->SectorCount())
        return false;
    range = {header.recordTableSector, static_cast<uint32_t>(sectors)};
    return true;
}

// The entry of a listed record whose segment count we agree to hold; null
// otherwise (no index is read for it).
const RecordEntry* Volume::IndexedEntry(uint32_t recordNumber) const
{
    if (recordNumber >= header.recordCount || recordNumber >= kRecordSlots)
        return nullptr;
    const RecordEntry& entry = Record(recordNumber);
    return entry.segmentCount > kMaxSegments ? nullptr : &entry;
}

namespace {

// The segments a recovered recording's own lists agree on: its entry's
// count, its statuses and its boundaries (one more than the segments).
uint64_t RecoveredSegments(const RecoveredRecording& found)
{
    const uint64_t boundaries = found.sectorIndex.size();
    return std::min<uint64_t>(
        {found.entry.segmentCount, found.status.size(), boundaries == 0 ? 0 : boundaries - 1, Volume::kMaxSegments});
}

}  // namespace

// A recovered recording's index was read by the scan from the index area
// (an unlisted entry's or an orphan run's); carved seconds have none.
bool Volume::IndexSectors(uint32_t recordNumber, SectorRange& range) const
{
    uint64_t c = 0;
    uint64_t offset = 0;
    if (const RecoveredRecording* found = Recovered(recordNumber)) {
        if (found->source == RecoverySource::Carved || found->sectorIndex.empty())
            return false;
        c = RecoveredSegments(*found);
        offset = found->indexOffset;
    } else {
        const RecordEntry* indexed = IndexedEntry(recordNumber);
        if (!indexed)
            return false;
        c = indexed->segmentCount;
        offset = indexed->indexOffset;
    }
    const uint64_t firstByte = offset * 4;
    const uint64_t endByte = (offset + c + 1) * 4;
    const uint64_t first = header.indexAreaSector + firstByte / kSectorBytes;
    const uint64_t sectors = (endByte - 1) / kSectorBytes - firstByte / kSectorBytes + 1;
    if (first + sectors > disk->SectorCount() || first > UINT32_MAX)
        return false;
    range = {static_cast<uint32_t>(first), static_cast<uint32_t>(sectors)};
    return true;
}

// The boundaries the scan found, checked as a read index is: cut before the
// first that runs backwards or leaves the disk.
bool Volume::ReadRecoveredIndex(const RecoveredRecording& found, std::vector<uint32_t>& entries,
                                IndexCheck& check) const
{
    const uint64_t segments = RecoveredSegments(found);
    if (found.sectorIndex.empty())
        return false;
    IndexChecker checker(static_cast<uint32_t>(segments), disk->SectorCount());
    try {
        entries.reserve(static_cast<size_t>(segments + 1));
        for (uint64_t i = 0; i <= segments && checker.Take(found.sectorIndex[static_cast<size_t>(i)]); ++i)
            entries.push_back(found.sectorIndex[static_cast<size_t>(i)]);
    } catch (const std::bad_alloc&) {
        entries.clear();
        return false;
    }
    check = checker.Result();
    return true;
}

// A damaged count never makes us read (or hold) segment bytes as an index.
bool Volume::ReadIndex(uint32_t recordNumber, std::vector<uint32_t>& entries, IndexCheck& check,
                       uint32_t* pastDiskEnd) const
{
    if (pastDiskEnd)
        *pastDiskEnd = 0;
    entries.clear();
    if (const RecoveredRecording* found = Recovered(recordNumber))
        return ReadRecoveredIndex(*found, entries, check);
    const RecordEntry* indexed = IndexedEntry(recordNumber);
    if (!indexed)
        return false;
    const RecordEntry& entry = *indexed;
    const uint64_t c = entry.segmentCount;
    const uint64_t diskSectors = disk->SectorCount();
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
        if (disk->ReadSectors(static_cast<uint32_t>(sector), count, buffer) == 0) {
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

bool Volume::CheckRecordIndex(uint32_t recordNumber, IndexCheck& check) const
{
    std::vector<uint32_t> entries;
    return ReadIndex(recordNumber, entries, check);
}

}  // namespace disk
