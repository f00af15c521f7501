#pragma once
// A recording the record table no longer lists, found on the disk by the
// recovery scan (recovery_scan.h): an entry in a table slot outside the
// listed range, a run of index entries no entry points at, or one-second
// segments no index covers at all. It is laid out as a record is (an entry
// and a sector index of segmentCount + 1 boundaries), so a RecordReader
// opens it like one; what a record does not have is said beside: where it
// was found, whether its times were recorded, and the state of every
// segment. A segment that is not intact is read as a lost second.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/record_entry.h"
#include "disk/record_time.h"

namespace disk {

enum class RecoverySource : uint8_t {
    TableSlot,  // an entry in a slot of the table area outside the listed records
    IndexRun,   // plausible, increasing index entries no entry points at
    Carved,     // segments no index covers, found by their content
};

enum class SegmentStatus : uint8_t {
    Intact,       // its sectors are no other recording's and hold a segment of its format
    Overwritten,  // its sectors now belong to a listed record or to a later recovered one
    Damaged,      // what stands there is not a segment of its format
};

// "table slot", "index run", "carved".
const char* RecoverySourceName(RecoverySource source);
// "intact", "overwritten", "damaged".
const char* SegmentStatusName(SegmentStatus status);

// Where the time of a recording without a recorded time may lie: the data
// area was written in time order around it (the indexed seconds stored just
// before and just after it are in time order). Never a recorded time.
struct TimeBound {
    RecordTime earliest;
    RecordTime latest;
    std::string reason;  // one line, shown with the bound
};

// Why one segment is not intact, in words ("sectors 81920 to 81983 belong
// to record 3"); kept only for the segments that are not.
struct SegmentNote {
    uint32_t segment = 0;
    std::string text;
};

struct RecoveredRecording {
    std::string id;  // "u1", "i1", "c1": the source's letter and its number within that source
    RecoverySource source = RecoverySource::TableSlot;
    uint32_t slot = 0;         // TableSlot: the slot, counted from 1 as the first entry position is
    uint32_t indexOffset = 0;  // TableSlot, IndexRun: the first index entry, counted in entries
    uint32_t firstSector = 0;  // the first sector of its first segment

    // TableSlot: the entry as parsed. Otherwise width, height and frame rate
    // from the stream's VOL header, the cameras from what the segments
    // hold, kind 0 and a zero begin time (timeRecorded is false).
    RecordEntry entry;
    bool timeRecorded = false;
    std::optional<TimeBound> bound;

    std::vector<uint32_t> sectorIndex;  // entry.segmentCount + 1 sector boundaries
    std::vector<SegmentStatus> status;  // one per segment
    std::vector<SegmentNote> notes;     // for segments that are not intact, ascending

    uint32_t SegmentCount() const { return static_cast<uint32_t>(status.size()); }
    uint32_t Count(SegmentStatus s) const;
};

// The disk's sectors by what they hold.
enum class SectorKind : uint8_t {
    Header,
    RecordTable,
    IndexArea,
    ListedData,
    UnlistedIntact,
    Overwritten,
    IndexRunData,
    Carved,
    Unknown,
};

// "header", "record table", "index area", "listed data", "unlisted intact",
// "overwritten", "index-run data", "carved", "unused or unknown".
const char* SectorKindName(SectorKind kind);

struct SectorRun {
    SectorKind kind = SectorKind::Unknown;
    uint64_t firstSector = 0;
    uint64_t sectorCount = 0;
};

// What one scan found, in a stable order: the same disk gives the same ids.
struct Recovery {
    // The unlisted entries in slot order (u1, u2, ...), then the index runs
    // in index order (i1, ...), then the carved runs in sector order (c1, ...).
    std::vector<RecoveredRecording> recordings;
    // The whole disk, ascending and without gaps or overlaps, neighbouring
    // runs of one kind joined.
    std::vector<SectorRun> map;
    // Limits the scan met and what it did about them, one line each.
    std::vector<std::string> notes;

    const RecoveredRecording* Find(const std::string& id) const;
};

}  // namespace disk
