// The recovery scan, in the order it reads the disk: the table area, the
// index area, the first second of every orphan index run, the first
// sectors of every recovered second still standing, then every sector no
// index covers (carving), and last the first second of each carved run.
#include "disk/recovery_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <utility>

#include "disk/byte_order.h"
#include "disk/record_reader.h"
#include "disk/sector_claims.h"
#include "disk/segment_content.h"

namespace disk {
namespace {

using platform::Error;
using platform::ErrorKind;

constexpr uint32_t kChunkSectors = 2048;                // 1 MiB a read
constexpr uint64_t kMaxIndexEntries = 8u << 20;         // 32 MiB of index area
constexpr uint64_t kMaxRecoveredSegments = 4u << 20;    // over all recovered recordings
constexpr size_t kMaxRecordings = 20000;                // of each source
constexpr uint64_t kMaxIndexRunSegmentSectors = 65536;  // a second over 32 MiB is not one
constexpr uint32_t kMaxSecondSectors = 8192;            // read of a first second for its cameras
constexpr uint32_t kHeadGroupGapSectors = 64;           // head reads this close are read in one
constexpr uint64_t kMaxSegmentNotes = 100000;           // over all recovered recordings
constexpr uint64_t kMaxBoundWork = 50'000'000;          // recordings x records searched for bounds
constexpr uint32_t kListedOwner = 0;                    // owners below kRecoveredOwner: listed records
constexpr uint32_t kRecoveredOwner = 0x80000000u;       // + rank among the recovered indexed ones

bool IsLeap(uint32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool RealTime(const RecordTime& t)
{
    static constexpr uint8_t days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 || t.second > 59)
        return false;
    const uint32_t inMonth = days[t.month - 1] + (t.month == 2 && IsLeap(t.year) ? 1 : 0);
    return t.day <= inMonth;
}

// Earlier in calendar order (seconds and above).
bool Before(const RecordTime& a, const RecordTime& b)
{
    return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second) <
           std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second);
}

// The quick look before a whole audio area check: every sub-block's step
// index (the second row of each 1,024-byte sub-block, two bytes a channel).
bool StepIndexesPlausible(std::span<const uint8_t> area)
{
    if (area.size() < size_t(kScanAudioAreaSectors) * kSectorBytes)
        return false;
    for (size_t sub = 0; sub < 16; ++sub)
        for (size_t channel = 0; channel < 4; ++channel)
            if (area[sub * 1024 + 8 + 2 * channel] > 88)
                return false;
    return true;
}

std::string SectorSpan(uint64_t first, uint64_t end)
{
    return "sectors " + std::to_string(first) + " to " + std::to_string(end - 1);
}

// A listed record's segments, kept for the owner names and the time bounds.
struct Listed {
    RecordTime begin;
    std::vector<uint32_t> index;  // segment boundaries as the reader takes them
};

class Scan {
public:
    Scan(const Volume& volume, const ScanControl& control)
        : volume(volume), control(control), diskSectors(volume.DiskSectorCount()), audioArea(volume.HasAudioArea())
    {
    }

    platform::Result<Recovery> Run();

private:
    bool Cancelled() const { return control.cancelled && control.cancelled(); }
    // The share passed never falls back: the last reads (carved runs'
    // first seconds) go back over sectors already counted.
    void Progress(uint64_t sector, const std::string& what)
    {
        passed = std::max(passed, std::min(sector, diskSectors));
        if (control.progress)
            control.progress(diskSectors ? double(passed) / double(diskSectors) : 1.0, what);
    }
    void Note(std::string text)
    {
        if (out.notes.size() < 200)
            out.notes.push_back(std::move(text));
        else if (out.notes.size() == 200)
            out.notes.push_back("further notes left out");
    }
    bool Read(uint64_t first, uint32_t count, std::span<uint8_t> into) const
    {
        std::string why;
        return count > 0 && volume.Disk().ReadSectorRun(first, count, into, why);
    }

    platform::Result<void> ReadTableArea();
    platform::Result<void> ReadIndexArea();
    void LowerDataStart();
    void TakeListed();
    void FindUnlisted();
    void FindIndexRuns();
    platform::Result<void> CheckIndexRunStarts();
    void ClaimAndMarkOverwritten();
    platform::Result<void> CheckHeads();
    platform::Result<void> Carve();
    void GroupCarved();
    platform::Result<void> CarvedCameras();
    void SetBounds();
    void BuildMap();
    std::string OwnerName(uint32_t owner) const;
    bool TakeSegments(uint64_t count);
    void SegmentNoteFor(RecoveredRecording& r, uint32_t segment, std::string text);

    const Volume& volume;
    const ScanControl& control;
    const uint64_t diskSectors;
    const bool audioArea;
    Recovery out;
    uint64_t passed = 0;  // sectors, for the progress

    uint64_t tableSlots = 0;
    std::vector<uint8_t> table;
    uint64_t indexFirst = 0, indexEnd = 0;  // the index area's sectors
    uint64_t dataFirst = 0;                 // the data area: dataFirst .. diskSectors
    std::vector<uint32_t> index;            // the index area's entries (capped)
    std::vector<Listed> listed;
    std::vector<std::pair<uint64_t, uint64_t>> listedRanges;  // index entries o .. o + c
    std::vector<RecoveredRecording> unlisted, runs, carved;
    std::vector<RecoveredRecording*> indexed;  // unlisted then runs: the rank order
    SectorClaims claims;
    uint64_t recoveredSegments = 0;
    bool segmentCapNoted = false;
    uint64_t segmentNotes = 0;

    struct CarvedSecond {
        uint64_t first = 0, end = 0;
        VolHeader vol;
    };
    std::vector<CarvedSecond> carvedSeconds;
};

bool Scan::TakeSegments(uint64_t count)
{
    if (recoveredSegments + count <= kMaxRecoveredSegments) {
        recoveredSegments += count;
        return true;
    }
    if (!segmentCapNoted)
        Note("more than " + std::to_string(kMaxRecoveredSegments) +
             " recovered seconds: the scan took no more recordings after that");
    segmentCapNoted = true;
    return false;
}

// Why a second is not intact, while the notes stay few enough to hold.
void Scan::SegmentNoteFor(RecoveredRecording& r, uint32_t segment, std::string text)
{
    if (segmentNotes < kMaxSegmentNotes)
        r.notes.push_back({segment, std::move(text)});
    else if (segmentNotes == kMaxSegmentNotes)
        Note("more than " + std::to_string(kMaxSegmentNotes) +
             " recovered seconds are not intact: why was noted for the first of them only");
    ++segmentNotes;
}

std::string Scan::OwnerName(uint32_t owner) const
{
    if (owner < kRecoveredOwner)
        return "record " + std::to_string(owner - kListedOwner + 1);
    const uint32_t rank = owner - kRecoveredOwner;
    return rank < indexed.size() ? indexed[rank]->id : "another recording";
}

platform::Result<void> Scan::ReadTableArea()
{
    const VolumeHeader& h = volume.Header();
    const uint64_t tableFirst = h.recordTableSector;
    uint64_t slots = Volume::kRecordSlots;
    if (h.indexAreaSector > tableFirst)
        slots = std::min<uint64_t>(slots, (h.indexAreaSector - tableFirst) * (kSectorBytes / kRecordEntryBytes));
    slots = tableFirst < diskSectors
                ? std::min<uint64_t>(slots, (diskSectors - tableFirst) * (kSectorBytes / kRecordEntryBytes))
                : 0;
    tableSlots = slots;
    const uint32_t sectors = static_cast<uint32_t>((slots * kRecordEntryBytes + kSectorBytes - 1) / kSectorBytes);
    if (sectors == 0)
        return {};
    table.resize(size_t(sectors) * kSectorBytes);
    if (!Read(tableFirst, sectors, table))
        return Error{ErrorKind::ReadFailed,
                     "the record table cannot be read (" + SectorSpan(tableFirst, tableFirst + sectors) + ")"};
    return {};
}

platform::Result<void> Scan::ReadIndexArea()
{
    indexFirst = volume.Header().indexAreaSector;
    dataFirst = std::min<uint64_t>(volume.DataStartSector(), diskSectors);
    indexEnd = std::max(indexFirst, dataFirst);
    uint64_t entries = indexEnd > indexFirst ? (indexEnd - indexFirst) * (kSectorBytes / 4) : 0;
    if (entries > kMaxIndexEntries) {
        Note("the index area holds " + std::to_string(entries) + " entries: only the first " +
             std::to_string(kMaxIndexEntries) + " were scanned");
        entries = kMaxIndexEntries;
    }
    index.resize(static_cast<size_t>(entries));
    const uint64_t sectors = entries * 4 / kSectorBytes;
    std::vector<uint8_t> chunk(size_t(std::min<uint64_t>(kChunkSectors, sectors)) * kSectorBytes);
    for (uint64_t done = 0; done < sectors;) {
        if (Cancelled())
            return Error{ErrorKind::Cancelled, "the recovery scan was cancelled"};
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kChunkSectors, sectors - done));
        if (!Read(indexFirst + done, n, chunk))
            return Error{ErrorKind::ReadFailed, "the index area cannot be read (" +
                                                    SectorSpan(indexFirst + done, indexFirst + done + n) + ")"};
        const size_t base = static_cast<size_t>(done * (kSectorBytes / 4));
        for (size_t i = 0; i < size_t(n) * (kSectorBytes / 4); ++i)
            index[base + i] = ReadBe32(chunk, i * 4);
        done += n;
        Progress(indexFirst + done, "reading the index area");
    }
    return {};
}

// The volume's data area begins at the listed records' lowest first second;
// an unlisted entry (the first records, once the table's first entry moved
// on) may name seconds stored below it. As the volume does, only an entry
// naming a sector after the one it is stored in counts.
void Scan::LowerDataStart()
{
    const VolumeHeader& h = volume.Header();
    const uint64_t listedFirst = h.firstEntryPosition, listedEnd = listedFirst + h.recordCount;
    uint64_t lowest = dataFirst;
    for (uint64_t slot = 1; slot <= tableSlots; ++slot) {
        if (slot >= listedFirst && slot < listedEnd)
            continue;
        const ParsedEntry parsed = ParseRecordEntry(
            std::span<const uint8_t>(table).subspan(size_t(slot - 1) * kRecordEntryBytes, kRecordEntryBytes));
        const uint64_t o = parsed.entry.indexOffset;
        if (!RealTime(parsed.entry.beginTime) || parsed.entry.segmentCount == 0 || o >= index.size())
            continue;
        const uint64_t storedIn = indexFirst + o * 4 / kSectorBytes;
        if (index[o] > storedIn && index[o] < lowest)
            lowest = index[o];
    }
    // So may an orphan index run (the first records' entries wiped): three
    // increasing entries, each naming a sector after the one it is stored in.
    for (size_t k = 0; k + 2 < index.size(); ++k) {
        const uint64_t storedIn = indexFirst + uint64_t(k) * 4 / kSectorBytes;
        if (index[k] > storedIn && index[k] < lowest && index[k] < index[k + 1] && index[k + 1] <= index[k + 2] &&
            index[k + 2] - index[k] <= 2 * kMaxIndexRunSegmentSectors)
            lowest = index[k];
    }
    if (lowest >= dataFirst)
        return;
    dataFirst = lowest;
    indexEnd = std::max(indexFirst, dataFirst);
    index.resize(static_cast<size_t>(std::min<uint64_t>(index.size(), (indexEnd - indexFirst) * (kSectorBytes / 4))));
}

// The listed records' segments as a reader opening them takes them.
void Scan::TakeListed()
{
    const uint32_t count = std::min<uint32_t>(volume.RecordCount(), Volume::kRecordSlots);
    listed.resize(count);
    for (uint32_t r = 0; r < count; ++r) {
        const RecordEntry& entry = volume.Record(r);
        listed[r].begin = entry.beginTime;
        const uint64_t o = entry.indexOffset;
        listedRanges.emplace_back(o, o + uint64_t(entry.segmentCount));
        // Records naming the same index are read once.
        bool same = false;
        for (uint32_t s = r; s-- > 0 && !same && r - s <= 4;) {
            const RecordEntry& other = volume.Record(s);
            if (other.indexOffset == entry.indexOffset && other.segmentCount == entry.segmentCount) {
                listed[r].index = listed[s].index;
                same = true;
            }
        }
        IndexCheck check;
        if (!same && !volume.ReadIndex(r, listed[r].index, check))
            listed[r].index.clear();
        // The reader's index never runs backwards: its seconds are one run.
        const std::vector<uint32_t>& e = listed[r].index;
        if (e.size() >= 2)
            claims.Add(e.front(), e.back(), kListedOwner + r);
    }
}

void Scan::FindUnlisted()
{
    const VolumeHeader& h = volume.Header();
    const uint64_t listedFirst = h.firstEntryPosition;
    const uint64_t listedEnd = listedFirst + h.recordCount;  // slots from 1
    bool capNoted = false;
    for (uint64_t slot = 1; slot <= tableSlots; ++slot) {
        if (slot >= listedFirst && slot < listedEnd)
            continue;
        const std::span<const uint8_t> bytes =
            std::span<const uint8_t>(table).subspan(size_t(slot - 1) * kRecordEntryBytes, kRecordEntryBytes);
        if (std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; }))
            continue;
        const ParsedEntry parsed = ParseRecordEntry(bytes);
        const RecordEntry& e = parsed.entry;
        const uint64_t o = e.indexOffset, c = e.segmentCount;
        if (!RealTime(e.beginTime) || c == 0 || c > Volume::kMaxSegments || o + c + 1 > index.size())
            continue;
        bool plausible = true;
        for (uint64_t k = o; k <= o + c && plausible; ++k) {
            const uint64_t sector = index[k];
            const uint64_t limit = k == o + c ? diskSectors : diskSectors - 1;
            plausible = sector >= dataFirst && sector <= limit && (k == o || index[k - 1] <= sector);
        }
        if (!plausible)
            continue;
        if (unlisted.size() >= kMaxRecordings) {
            if (!capNoted)
                Note("more than " + std::to_string(kMaxRecordings) +
                     " plausible entries outside the listed records: only the first were taken");
            capNoted = true;
            break;
        }
        if (!TakeSegments(c))
            break;
        RecoveredRecording r;
        r.source = RecoverySource::TableSlot;
        r.slot = static_cast<uint32_t>(slot);
        r.indexOffset = static_cast<uint32_t>(o);
        r.entry = e;
        r.timeRecorded = true;
        r.sectorIndex.assign(index.begin() + static_cast<ptrdiff_t>(o),
                             index.begin() + static_cast<ptrdiff_t>(o + c + 1));
        r.firstSector = r.sectorIndex.front();
        r.status.assign(static_cast<size_t>(c), SegmentStatus::Intact);
        r.id = "u" + std::to_string(unlisted.size() + 1);
        unlisted.push_back(std::move(r));
    }
}

void Scan::FindIndexRuns()
{
    // Entries no record (listed or unlisted) names.
    std::vector<bool> named(index.size(), false);
    auto name = [&](uint64_t o, uint64_t last) {
        for (uint64_t k = o; k <= last && k < named.size(); ++k)
            named[k] = true;
    };
    for (const auto& [o, last] : listedRanges)
        name(o, std::min<uint64_t>(last, index.size()));
    for (const RecoveredRecording& r : unlisted)
        name(r.indexOffset, uint64_t(r.indexOffset) + r.SegmentCount());

    auto fits = [&](size_t k) { return !named[k] && index[k] >= dataFirst && index[k] <= diskSectors; };
    bool capNoted = false;
    for (size_t k = 0; k < index.size();) {
        if (!fits(k) || index[k] >= diskSectors) {
            ++k;
            continue;
        }
        size_t end = k + 1;
        while (end < index.size() && fits(end) && index[end] >= index[end - 1] &&
               index[end] - index[end - 1] <= kMaxIndexRunSegmentSectors)
            ++end;
        const size_t entries = end - k;
        if (entries >= 3 && index[k + 1] > index[k]) {
            if (runs.size() >= kMaxRecordings) {
                if (!capNoted)
                    Note("more than " + std::to_string(kMaxRecordings) +
                         " orphan index runs: only the first were taken");
                capNoted = true;
                break;
            }
            if (!TakeSegments(entries - 1))
                break;
            RecoveredRecording r;
            r.source = RecoverySource::IndexRun;
            r.indexOffset = static_cast<uint32_t>(k);
            r.sectorIndex.assign(index.begin() + static_cast<ptrdiff_t>(k),
                                 index.begin() + static_cast<ptrdiff_t>(end));
            r.firstSector = r.sectorIndex.front();
            r.status.assign(entries - 1, SegmentStatus::Intact);
            r.entry.segmentCount = static_cast<uint32_t>(entries - 1);
            r.entry.indexOffset = r.indexOffset;
            runs.push_back(std::move(r));
        }
        k = end;
    }
}

// An index run is taken only when its first second holds a stream header:
// the picture format and the cameras come from there.
platform::Result<void> Scan::CheckIndexRunStarts()
{
    std::vector<uint8_t> second;
    std::vector<RecoveredRecording> taken;
    for (RecoveredRecording& r : runs) {
        if (Cancelled())
            return Error{ErrorKind::Cancelled, "the recovery scan was cancelled"};
        const uint64_t first = r.sectorIndex[0];
        const uint64_t sectors = std::min<uint64_t>(r.sectorIndex[1] - first, kMaxSecondSectors);
        const std::string where = "the orphan index entries " + std::to_string(r.indexOffset) + " to " +
                                  std::to_string(r.indexOffset + r.SegmentCount());
        second.resize(static_cast<size_t>(sectors) * kSectorBytes);
        if (!Read(first, static_cast<uint32_t>(sectors), second)) {
            Note(where + ": the first second cannot be read (" + SectorSpan(first, first + sectors) + "); not taken");
            recoveredSegments -= r.SegmentCount();
            continue;
        }
        const SegmentHead head = CheckSegmentHead(second, audioArea);
        if (!head.ok) {
            Note(where + ": the first second holds no stream header (" + head.failure + "); not taken");
            recoveredSegments -= r.SegmentCount();
            continue;
        }
        r.entry.width = static_cast<int32_t>(head.vol.width);
        r.entry.height = static_cast<int32_t>(head.vol.height);
        r.entry.frameRate = static_cast<int32_t>(head.vol.FrameRate());
        const SecondCameras cameras = CamerasOfSecond(second, audioArea, head.vol);
        r.entry.videoPresent = cameras.video;
        if (audioArea)
            r.entry.audioPresent = SoundCamerasOfArea(second);
        r.id = "i" + std::to_string(taken.size() + 1);
        if (!cameras.clear)
            Note(r.id + ": its first second does not say which cameras have video (" + std::to_string(cameras.headers) +
                 " stream headers): all four are taken");
        taken.push_back(std::move(r));
        Progress(first, "reading orphan index runs");
    }
    runs = std::move(taken);
    return {};
}

// From the last recovered recording to the first: a second whose sectors
// are claimed already (by a listed record or a later recording) is
// overwritten; then the recording claims its own.
void Scan::ClaimAndMarkOverwritten()
{
    for (RecoveredRecording& r : unlisted)
        indexed.push_back(&r);
    for (RecoveredRecording& r : runs)
        indexed.push_back(&r);
    for (size_t rank = indexed.size(); rank-- > 0;) {
        RecoveredRecording& r = *indexed[rank];
        const std::vector<uint32_t>& e = r.sectorIndex;
        for (uint32_t j = 0; j < r.SegmentCount(); ++j) {
            if (e[j] == e[j + 1]) {
                r.status[j] = SegmentStatus::Damaged;
                SegmentNoteFor(r, j, "an empty second: a lost second");
                continue;
            }
            if (const auto claimed = claims.FirstOverlap(e[j], e[j + 1])) {
                r.status[j] = SegmentStatus::Overwritten;
                SegmentNoteFor(r, j,
                               SectorSpan(claimed->first, claimed->end) + " belong to " + OwnerName(claimed->owner));
            }
        }
        // Its entries never decrease: its seconds are one run of sectors.
        claims.Add(e.front(), e.back(), kRecoveredOwner + static_cast<uint32_t>(rank));
    }
}

// Reads the first sectors of every recovered second still standing, in
// ascending order, close ones in one read.
platform::Result<void> Scan::CheckHeads()
{
    struct Head {
        uint64_t first;
        RecoveredRecording* recording;
        uint32_t segment;
        uint32_t sectors;  // read of it: its head, or all of a shorter second
    };
    std::vector<Head> heads;
    const uint32_t need = SegmentHeadSectors(audioArea);
    for (RecoveredRecording* r : indexed) {
        for (uint32_t j = 0; j < r->SegmentCount(); ++j) {
            if (r->status[j] != SegmentStatus::Intact)
                continue;
            if (r->sectorIndex[j + 1] - r->sectorIndex[j] < need) {
                r->status[j] = SegmentStatus::Damaged;
                SegmentNoteFor(*r, j, "too short to hold a second");
                continue;
            }
            const uint32_t length = r->sectorIndex[j + 1] - r->sectorIndex[j];
            heads.push_back({r->sectorIndex[j], r, j, std::min(length, SegmentHeadReadSectors(audioArea))});
        }
    }
    std::stable_sort(heads.begin(), heads.end(), [](const Head& a, const Head& b) { return a.first < b.first; });

    std::vector<uint8_t> buffer(size_t(std::min<uint64_t>(kChunkSectors, diskSectors)) * kSectorBytes);
    bool unreadableNoted = false;
    auto judge = [&](const Head& h, std::span<const uint8_t> bytes) {
        RecoveredRecording& r = *h.recording;
        const SegmentHead head = CheckSegmentHead(bytes, audioArea);
        std::string why = head.failure;
        if (head.ok && (int32_t(head.vol.width) != r.entry.width || int32_t(head.vol.height) != r.entry.height))
            why = "its pictures are " + std::to_string(head.vol.width) + "x" + std::to_string(head.vol.height) +
                  ", not " + std::to_string(r.entry.width) + "x" + std::to_string(r.entry.height);
        if (!why.empty()) {
            r.status[h.segment] = SegmentStatus::Damaged;
            SegmentNoteFor(r, h.segment, why);
        }
    };
    for (size_t g = 0; g < heads.size();) {
        if (Cancelled())
            return Error{ErrorKind::Cancelled, "the recovery scan was cancelled"};
        const uint64_t groupFirst = heads[g].first;
        uint64_t groupEnd = groupFirst + heads[g].sectors;
        size_t last = g + 1;
        while (last < heads.size() && heads[last].first <= groupEnd + kHeadGroupGapSectors &&
               heads[last].first + heads[last].sectors - groupFirst <= kChunkSectors) {
            groupEnd = std::max<uint64_t>(groupEnd, heads[last].first + heads[last].sectors);
            ++last;
        }
        const std::span<const uint8_t> bytes(buffer);
        if (Read(groupFirst, static_cast<uint32_t>(groupEnd - groupFirst), buffer)) {
            for (size_t k = g; k < last; ++k)
                judge(heads[k], bytes.subspan(size_t(heads[k].first - groupFirst) * kSectorBytes,
                                              size_t(heads[k].sectors) * kSectorBytes));
        } else {
            for (size_t k = g; k < last; ++k) {
                if (Read(heads[k].first, heads[k].sectors, buffer)) {
                    judge(heads[k], bytes.first(size_t(heads[k].sectors) * kSectorBytes));
                    continue;
                }
                heads[k].recording->status[heads[k].segment] = SegmentStatus::Damaged;
                SegmentNoteFor(*heads[k].recording, heads[k].segment,
                               SectorSpan(heads[k].first, heads[k].first + heads[k].sectors) + " cannot be read");
                if (!unreadableNoted)
                    Note("some recovered seconds cannot be read (the first at sector " +
                         std::to_string(heads[k].first) + "): they are damaged");
                unreadableNoted = true;
            }
        }
        Progress(groupFirst, "checking recovered seconds");
        g = last;
    }
    for (RecoveredRecording* r : indexed)
        std::stable_sort(r->notes.begin(), r->notes.end(),
                         [](const SegmentNote& a, const SegmentNote& b) { return a.segment < b.segment; });
    return {};
}

// Every sector of the data area no index covers, in ascending order: a
// second begins where a plausible audio area is followed by a stream header
// (or, without audio areas, where a stream header stands at a sector's
// start) and runs to the next such start, the next covered sector or the
// first all-zero sector of video.
platform::Result<void> Scan::Carve()
{
    const uint32_t need = SegmentHeadSectors(audioArea);
    // A start is judged with as much of what follows as a head check reads.
    const uint32_t look = SegmentHeadReadSectors(audioArea);
    const uint32_t capacity = static_cast<uint32_t>(std::min<uint64_t>(kChunkSectors, diskSectors)) + look;
    std::vector<uint8_t> buffer(size_t(capacity) * kSectorBytes);
    bool open = false;
    CarvedSecond current;
    bool capped = false;
    auto close = [&](uint64_t at) {
        if (!open)
            return;
        open = false;
        current.end = at;
        if (carvedSeconds.size() >= kMaxRecoveredSegments || !TakeSegments(1)) {
            if (!capped)
                Note("more than " + std::to_string(carvedSeconds.size()) +
                     " carved seconds: carving stopped at sector " + std::to_string(at));
            capped = true;
            return;
        }
        carvedSeconds.push_back(current);
    };
    uint64_t from = dataFirst;
    uint64_t gapFirst = 0, gapEnd = 0;
    while (!capped && claims.NextUnclaimed(from, diskSectors, gapFirst, gapEnd)) {
        uint64_t bufFirst = gapFirst;
        uint32_t have = 0;
        for (uint64_t k = gapFirst; k < gapEnd && !capped;) {
            if (Cancelled())
                return Error{ErrorKind::Cancelled, "the recovery scan was cancelled"};
            if (bufFirst + have < gapEnd && k + look > bufFirst + have) {
                const uint64_t shift = k - bufFirst;
                std::memmove(buffer.data(), buffer.data() + shift * kSectorBytes, (have - shift) * kSectorBytes);
                have -= static_cast<uint32_t>(shift);
                bufFirst = k;
                const uint32_t n =
                    static_cast<uint32_t>(std::min<uint64_t>(capacity - have, gapEnd - (bufFirst + have)));
                const uint64_t at = bufFirst + have;
                if (!Read(at, n, std::span<uint8_t>(buffer).subspan(size_t(have) * kSectorBytes))) {
                    Note(SectorSpan(at, at + n) + " cannot be read: no seconds were carved there");
                    close(bufFirst);
                    k = at + n;
                    bufFirst = k;
                    have = 0;
                    continue;
                }
                have += n;
                Progress(at + n, "carving sectors no index covers");
            }
            const uint64_t bufEnd = bufFirst + have;
            // Sector k is judged once look sectors from it are in the buffer.
            const uint64_t limit = bufEnd == gapEnd ? gapEnd : bufEnd - look + 1;
            for (; k < limit && !capped; ++k) {
                const std::span<const uint8_t> here = std::span<const uint8_t>(buffer).subspan(
                    size_t(k - bufFirst) * kSectorBytes, size_t(std::min<uint64_t>(look, bufEnd - k)) * kSectorBytes);
                const size_t videoAt = audioArea ? size_t(kScanAudioAreaSectors) * kSectorBytes : 0;
                // A second holds at least need sectors: no other starts inside them.
                const bool inside = open && k < current.first + need;
                if (!inside && k + need <= gapEnd &&
                    (HasVoVolAt(here, videoAt) || (audioArea && StepIndexesPlausible(here)))) {
                    const SegmentHead head = CheckSegmentHead(here, audioArea);
                    if (head.ok) {
                        close(k);
                        open = true;
                        current = {k, 0, head.vol};
                        continue;
                    }
                }
                if (open && k >= current.first + need) {
                    const uint8_t* p = here.data();
                    if (p[0] == 0 && std::memcmp(p, p + 1, kSectorBytes - 1) == 0)
                        close(k);
                }
            }
        }
        close(gapEnd);
        from = gapEnd;
    }
    return {};
}

void Scan::GroupCarved()
{
    bool capNoted = false;
    for (size_t s = 0; s < carvedSeconds.size();) {
        size_t e = s + 1;
        while (e < carvedSeconds.size() && carvedSeconds[e].first == carvedSeconds[e - 1].end &&
               carvedSeconds[e].vol.width == carvedSeconds[s].vol.width &&
               carvedSeconds[e].vol.height == carvedSeconds[s].vol.height)
            ++e;
        if (carved.size() >= kMaxRecordings) {
            if (!capNoted)
                Note("more than " + std::to_string(kMaxRecordings) + " carved runs: only the first were taken");
            capNoted = true;
            break;
        }
        RecoveredRecording r;
        r.source = RecoverySource::Carved;
        r.id = "c" + std::to_string(carved.size() + 1);
        r.firstSector = static_cast<uint32_t>(carvedSeconds[s].first);
        for (size_t k = s; k < e; ++k)
            r.sectorIndex.push_back(static_cast<uint32_t>(carvedSeconds[k].first));
        r.sectorIndex.push_back(static_cast<uint32_t>(carvedSeconds[e - 1].end));
        r.status.assign(e - s, SegmentStatus::Intact);
        r.entry.segmentCount = static_cast<uint32_t>(e - s);
        r.entry.width = static_cast<int32_t>(carvedSeconds[s].vol.width);
        r.entry.height = static_cast<int32_t>(carvedSeconds[s].vol.height);
        r.entry.frameRate = static_cast<int32_t>(carvedSeconds[s].vol.FrameRate());
        carved.push_back(std::move(r));
        s = e;
    }
}

// The cameras of each carved run, from its first second read again.
platform::Result<void> Scan::CarvedCameras()
{
    std::vector<uint8_t> second;
    for (RecoveredRecording& r : carved) {
        if (Cancelled())
            return Error{ErrorKind::Cancelled, "the recovery scan was cancelled"};
        const uint64_t first = r.sectorIndex[0];
        const uint64_t sectors = std::min<uint64_t>(r.sectorIndex[1] - first, kMaxSecondSectors);
        second.resize(static_cast<size_t>(sectors) * kSectorBytes);
        VolHeader vol;
        vol.width = static_cast<uint32_t>(r.entry.width);
        vol.height = static_cast<uint32_t>(r.entry.height);
        const SegmentHead head =
            Read(first, static_cast<uint32_t>(sectors), second) ? CheckSegmentHead(second, audioArea) : SegmentHead{};
        const SecondCameras cameras =
            head.ok ? CamerasOfSecond(second, audioArea, head.vol) : SecondCameras{{1, 1, 1, 1}, false, 0};
        r.entry.videoPresent = cameras.video;
        if (head.ok && audioArea)
            r.entry.audioPresent = SoundCamerasOfArea(second);
        if (!cameras.clear)
            Note(r.id + ": its first second does not say which cameras have video (" + std::to_string(cameras.headers) +
                 " stream headers): all four are taken");
        Progress(first, "reading carved runs");
    }
    return {};
}

// A recording without recorded times stored between two seconds of
// recordings with times, which are in time order, lies between them.
void Scan::SetBounds()
{
    struct Timed {
        std::string name;
        RecordTime begin;
        const std::vector<uint32_t>* index;
        // An unlisted recording's seconds: only the intact ones are still
        // stored where its index says.
        const std::vector<SegmentStatus>* status;
        bool Stored(size_t j) const { return !status || (*status)[j] == SegmentStatus::Intact; }
    };
    std::vector<Timed> timed;
    for (uint32_t r = 0; r < listed.size(); ++r)
        if (listed[r].index.size() >= 2)
            timed.push_back({"record " + std::to_string(r + 1), listed[r].begin, &listed[r].index, nullptr});
    for (const RecoveredRecording& r : unlisted)
        timed.push_back({r.id, r.entry.beginTime, &r.sectorIndex, &r.status});
    const uint64_t untimed = runs.size() + carved.size();
    if (untimed * std::max<uint64_t>(timed.size(), 1) > kMaxBoundWork) {
        Note("too many recordings to bound their times: no bounds were set");
        return;
    }
    struct Second {
        bool found = false;
        uint64_t sector = 0;
        const Timed* owner = nullptr;
        uint32_t segment = 0;
    };
    auto bound = [&](RecoveredRecording& r) {
        const uint64_t first = r.sectorIndex.front(), end = r.sectorIndex.back();
        Second before, after;
        for (const Timed& t : timed) {
            const std::vector<uint32_t>& e = *t.index;
            const auto starts = std::span<const uint32_t>(e).first(e.size() - 1);
            // The last second beginning below the recording's first sector.
            size_t j = static_cast<size_t>(std::lower_bound(starts.begin(), starts.end(), first) - starts.begin());
            while (j > 0 && !t.Stored(j - 1))
                --j;
            if (j > 0 && (!before.found || starts[j - 1] > before.sector))
                before = {true, starts[j - 1], &t, static_cast<uint32_t>(j - 1)};
            // The first second beginning at or after its end.
            j = static_cast<size_t>(std::lower_bound(starts.begin(), starts.end(), end) - starts.begin());
            while (j < starts.size() && !t.Stored(j))
                ++j;
            if (j < starts.size()) {
                if (!after.found || starts[j] < after.sector)
                    after = {true, starts[j], &t, static_cast<uint32_t>(j)};
            }
        }
        if (!before.found || !after.found)
            return;
        const RecordTime a = AddMilliseconds(before.owner->begin, int64_t(before.segment) * 1000);
        const RecordTime b = AddMilliseconds(after.owner->begin, int64_t(after.segment) * 1000);
        if (!Before(a, b))
            return;
        const RecordTime earliest = AddMilliseconds(a, 1000);
        const RecordTime latest = AddMilliseconds(b, -1000);
        if (Before(latest, earliest))
            return;  // no whole second lies between them
        r.bound =
            TimeBound{earliest, latest,
                      "stored after second " + std::to_string(before.segment + 1) + " of " + before.owner->name + " (" +
                          FormatRecordTime(a) + ") and before second " + std::to_string(after.segment + 1) + " of " +
                          after.owner->name + " (" + FormatRecordTime(b) + "), which are in time order"};
    };
    for (RecoveredRecording& r : runs)
        bound(r);
    for (RecoveredRecording& r : carved)
        bound(r);
}

void Scan::BuildMap()
{
    // Kinds from the strongest: a sector takes the first kind that claims it.
    static constexpr std::array<SectorKind, 9> order = {
        SectorKind::Header,       SectorKind::RecordTable, SectorKind::IndexArea,
        SectorKind::Overwritten,  SectorKind::ListedData,  SectorKind::UnlistedIntact,
        SectorKind::IndexRunData, SectorKind::Carved,      SectorKind::Unknown};
    struct Event {
        uint64_t at;
        uint8_t rank;
        int8_t delta;
    };
    std::vector<Event> events;
    auto add = [&](SectorKind kind, uint64_t first, uint64_t end) {
        end = std::min(end, diskSectors);
        if (first >= end)
            return;
        const uint8_t rank = static_cast<uint8_t>(std::find(order.begin(), order.end(), kind) - order.begin());
        events.push_back({first, rank, +1});
        events.push_back({end, rank, -1});
    };
    // Joined runs of one recording's seconds of one kind.
    auto addSegments = [&](const std::vector<uint32_t>& e, auto kindOf) {
        for (size_t j = 0; j + 1 < e.size(); ++j) {
            const std::optional<SectorKind> kind = kindOf(j);
            if (!kind || e[j] >= e[j + 1])
                continue;
            size_t k = j;
            while (k + 2 < e.size() && e[k + 1] <= e[k + 2] && kindOf(k + 1) == kind)
                ++k;
            add(*kind, e[j], e[k + 1]);
            j = k;
        }
    };
    const VolumeHeader& h = volume.Header();
    const uint64_t tableFirst = h.recordTableSector;
    add(SectorKind::Header, 0, std::max<uint64_t>(tableFirst, 1));
    uint64_t tableSectors = (tableSlots * kRecordEntryBytes + kSectorBytes - 1) / kSectorBytes;
    if (SectorRange listedTable; volume.RecordTableSectors(listedTable))
        tableSectors = std::max<uint64_t>(tableSectors, listedTable.count);
    add(SectorKind::RecordTable, tableFirst, tableFirst + tableSectors);
    add(SectorKind::IndexArea, indexFirst, indexEnd);
    for (const Listed& l : listed)
        addSegments(l.index, [](size_t) { return std::optional<SectorKind>(SectorKind::ListedData); });
    for (const RecoveredRecording* r : indexed) {
        const SectorKind intactKind =
            r->source == RecoverySource::TableSlot ? SectorKind::UnlistedIntact : SectorKind::IndexRunData;
        addSegments(r->sectorIndex, [&](size_t j) -> std::optional<SectorKind> {
            switch (r->status[j]) {
            case SegmentStatus::Intact: return intactKind;
            case SegmentStatus::Overwritten: return SectorKind::Overwritten;
            case SegmentStatus::Damaged: return std::nullopt;
            }
            return std::nullopt;
        });
    }
    for (const RecoveredRecording& r : carved)
        addSegments(r.sectorIndex, [](size_t) { return std::optional<SectorKind>(SectorKind::Carved); });

    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
    std::array<uint64_t, order.size()> active{};
    uint64_t at = 0;
    auto emit = [&](uint64_t end) {
        if (end <= at)
            return;
        SectorKind kind = SectorKind::Unknown;
        for (size_t k = 0; k < order.size(); ++k)
            if (active[k]) {
                kind = order[k];
                break;
            }
        if (!out.map.empty() && out.map.back().kind == kind)
            out.map.back().sectorCount += end - at;
        else
            out.map.push_back({kind, at, end - at});
        at = end;
    };
    for (const Event& ev : events) {
        emit(ev.at);
        active[ev.rank] += ev.delta;
    }
    emit(diskSectors);
}

platform::Result<Recovery> Scan::Run()
{
    Progress(0, "reading the record table");
    if (auto done = ReadTableArea(); !done)
        return done.Failure();
    if (auto done = ReadIndexArea(); !done)
        return done.Failure();
    LowerDataStart();
    TakeListed();
    FindUnlisted();
    FindIndexRuns();
    if (auto done = CheckIndexRunStarts(); !done)
        return done.Failure();
    ClaimAndMarkOverwritten();
    if (auto done = CheckHeads(); !done)
        return done.Failure();
    if (auto done = Carve(); !done)
        return done.Failure();
    GroupCarved();
    if (auto done = CarvedCameras(); !done)
        return done.Failure();
    SetBounds();
    BuildMap();
    for (std::vector<RecoveredRecording>* source : {&unlisted, &runs, &carved})
        for (RecoveredRecording& r : *source)
            out.recordings.push_back(std::move(r));
    Progress(diskSectors, "done");
    return std::move(out);
}

}  // namespace

platform::Result<Recovery> ScanForRecordings(const Volume& volume, const ScanControl& control)
{
    try {
        Scan scan(volume, control);
        return scan.Run();
    } catch (const std::bad_alloc&) {
        return Error{ErrorKind::Refused, "the recovery scan ran out of memory"};
    }
}

}  // namespace disk
