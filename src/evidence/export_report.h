#pragma once
// The report written beside an export (OUT + ".report.json"): where the
// pictures came from down to the sectors read and their hashes, what was done
// to them, and what came out. Plain values; the exporter fills them in and
// WriteReport writes them as JSON through a temporary name and a rename, so
// that no half-written report is ever left under the real name.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/recorder_volume.h"
#include "evidence/read_log.h"
#include "platform/error.h"

namespace evidence {

constexpr char kReportSuffix[] = ".report.json";
// 2: the disk as opened (source.identity), the stream header's sectors, the
// master's sound areas and the seconds that could not be read. verify reads
// format 1 too, which names none of these.
constexpr int kReportFormat = 2;

struct HashedRange {
    uint64_t firstSector = 0;
    uint64_t sectorCount = 0;
    std::string sha256;  // empty when the range could not be read
};

struct SourceReport {
    std::string path;          // as the user named it
    std::string absolutePath;  // empty when it could not be resolved
    bool isDevice = false;
    std::string vendor, model, serial;  // a block device's, from sysfs
    uint64_t sizeBytes = 0;
    HashedRange sector0, recordTable, recordIndex;
    // The disk as it was opened, kept with the open drive.
    platform::DriveIdentity identity;
};

// The stream header's recorded bytes (the decoder's and the master's codec
// data): the sectors they were captured from when the record was first
// read, hashed again from the disk when the report is made.
struct StreamHeaderReport {
    bool captured = false;  // false: nothing of the header came from the disk
    uint32_t segment = 0;   // the position they were captured at
    uint32_t offset = 0;    // where the 19 bytes begin in the first sector
    HashedRange sectors;
    bool matches = false;  // the sectors read again hold the bytes captured
};

// A run of neighbouring seconds of a recovered recording in one state.
struct SegmentStatusRun {
    uint32_t firstPosition = 0, lastPosition = 0;
    std::string status;  // "intact", "overwritten", "damaged"
    std::string note;    // why one that is not intact is not (its first second's)
};

// What an export of a recording the record table no longer lists says of
// it: its id and where the recovery scan found it (verify finds it again by
// them), how its times were derived, and the state of every second the
// export covered.
struct RecoveredReport {
    bool present = false;                                 // false: a listed record
    std::string id;                                       // "u2", "i1", "c1"
    std::string source;                                   // "table slot", "index run", "carved"
    uint32_t slot = 0;                                    // table slot: the slot, from 1
    uint32_t indexOffset = 0;                             // table slot, index run: the first index entry
    uint64_t firstSector = 0, sectorCount = 0;            // the sectors its seconds span
    bool timeRecorded = false;                            // "recorded" or "unknown"
    std::string boundEarliest, boundLatest, boundReason;  // empty: no bound
    std::vector<SegmentStatusRun> segments;
};

struct RecordReport {
    uint32_t number = 0;  // from 1; 0 for a recovered recording
    char kind = '?';
    std::string beginTime, endTime;  // as the record list shows them
    uint32_t segmentCount = 0;
    int32_t width = 0, height = 0, frameRate = 0;
    std::vector<int> videoCameras, soundCameras;  // from 1
    std::string name;                             // "3", or a recovered recording's id
    RecoveredReport recovered;
};

struct SegmentReport {
    int beginMark = 0, endMark = 0;
    std::string beginTime, endTime;
    std::string view;                           // "quad" or "1".."4"
    int soundCamera = 0;                        // from 1; 0 for none
    int firstPosition = -1, lastPosition = -1;  // whose pictures were written
};

// The activity event an export was made from: an event of the activity
// search whose span holds the export's marks, named as the search named it.
struct ActivityEventReport {
    std::string record;                          // as people name the record: "3", "u2"
    uint32_t camera = 0;                         // 1..4
    int64_t beginPosition = 0, endPosition = 0;  // both included, the pads too
    std::string beginTime, endTime;
    uint32_t peak = 0;
    std::string mode;        // "fast" or "exact"
    std::string parameters;  // every parameter of the search, in one line
};

struct OutputReport {
    bool present = false;  // false when no file was left
    std::string file;      // the file name, without its folder
    std::string format;
    uint64_t sizeBytes = 0;
    std::string sha256, md5;
    int64_t frames = 0;
    double seconds = 0;
};

// One piece of an export by time, in time order: a record's part (the
// record's entry, the positions planned and written, the index and stream
// header it was read with, its entries in the report's reads) or seconds
// that no record holds.
struct RangePartReport {
    bool gap = false;
    std::string fromTime, toTime;  // its first and last second, both included
    int64_t seconds = 0;
    RecordReport record;  // a record's part: number, kind, times, sizes
    uint32_t firstPosition = 0, lastPosition = 0;
    int writtenFirst = -1, writtenLast = -1;  // whose pictures were written; -1 for none
    HashedRange recordIndex;
    StreamHeaderReport streamHeader;
    std::size_t firstRead = 0, readCount = 0;  // its entries in ExportReport::reads
    bool written = false;                      // false: the run ended before it
};

struct TimeRangeReport {
    std::string fromTime, toTime;  // both included
    std::vector<RangePartReport> parts;
};

// A second that could not be read whole. An export by time names the record
// it lies in (from 1); a single record's leaves 0, its record being the
// report's.
struct LostSecond {
    uint32_t record = 0;
    disk::SegmentLoss loss;
};

struct ExportReport {
    std::string quillonVersion;
    std::string createdUtc;
    bool complete = false;
    std::string end;     // completed, stopped, record-ended, nothing-read, write-failed
    std::string reason;  // why it is not complete; empty when it is
    SourceReport source;
    RecordReport record;
    SegmentReport segment;
    // Absent when the export was not made from an activity event.
    std::optional<ActivityEventReport> activityEvent;
    // Absent for a single record's export.
    std::optional<TimeRangeReport> timeRange;
    std::vector<SegmentRead> reads;
    // Seconds that could not be read whole: exported as seconds without
    // picture (or not at all); any makes the export incomplete.
    std::vector<LostSecond> lost;
    StreamHeaderReport streamHeader;
    std::vector<SegmentRead> soundReads;  // the master's sound areas, hashed as read
    std::vector<std::string> processing;
    OutputReport output;
};

// The program's version, as the report gives it.
std::string QuillonVersion();

// "2026-12-08T04:10:00Z" for now.
std::string UtcNow();

// The volume's path as the drive table names it, its size, and the hashes of
// sector 0, the record table and the record's index (from 0), read through
// the volume. A block device gets its vendor, model and serial from sysfs.
void DescribeSource(disk::RecorderVolume& volume, const std::string& path, uint32_t record, SourceReport& out);
void DescribeRecord(const disk::RecorderVolume& volume, uint32_t record, RecordReport& out);
// For a recovered recording, fills out.recovered, the seconds' states from
// firstPosition to lastPosition; leaves it absent for a listed record.
void DescribeRecovered(const disk::Volume& volume, uint32_t record, int firstPosition, int lastPosition,
                       RecordReport& out);
// Where the reader's stream header came from, read and hashed again now.
void DescribeStreamHeader(const disk::RecordReader& reader, StreamHeaderReport& out);

std::string ReportJson(const ExportReport& report);

// Writes outputPath + ".report.json" and gives that path; fails
// (WriteFailed) when it could not be written whole (nothing is left under
// either name then).
platform::Result<std::string> WriteReport(const ExportReport& report, const std::string& outputPath);

}  // namespace evidence
