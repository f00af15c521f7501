#pragma once
// The disk's records laid out on the recorder's clock: recorded spans, the
// gaps between them, records that overlap (a clock set back), and where a
// given second was recorded.
//
// A record entry carries whole seconds only, and each of its segments holds
// one second: a record of n segments beginning at b covers the seconds b to
// b + n - 1. The next record follows without a break when it begins at
// b + n; beginning one second later leaves one unrecorded second.
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk/record_time.h"

namespace disk {

class RecorderVolume;

using ClockSeconds = std::chrono::sys_seconds;

// A record time on the clock; nothing for a time that is no calendar time
// (a damaged entry). Milliseconds are dropped: entries never carry them.
std::optional<ClockSeconds> ToClockSeconds(const RecordTime& time);
RecordTime ToRecordTime(ClockSeconds time);

// The second of a record's position (as the engine's TimeAt shows it:
// begin plus position seconds), and its inverse.
inline ClockSeconds SecondAt(ClockSeconds begin, uint32_t position) { return begin + std::chrono::seconds{position}; }
inline int64_t PositionAt(ClockSeconds begin, ClockSeconds second) { return (second - begin).count(); }

// "YYYY-MM-DD HH:MM:SS" (or the record list's "YYYY/MM/DD HH:MM:SS") as a
// calendar time; nothing for any other shape or an invalid date.
std::optional<ClockSeconds> ParseClockTime(std::string_view text);

// One record as the timeline sees it; index counts from 0 in table order.
struct PlacedRecord {
    uint32_t index = 0;
    ClockSeconds begin;
    uint32_t segments = 0;
    int32_t kind = 0;
    ClockSeconds End() const { return begin + std::chrono::seconds{segments}; }  // first second after it
};

// The volume's records: those with seconds on the clock in `placed`, the
// rest (no segments, or a begin that is no calendar time) in `unplaced`.
struct VolumeRecords {
    std::vector<PlacedRecord> placed;
    std::vector<uint32_t> unplaced;
};
VolumeRecords ReadRecords(RecorderVolume& volume);

// Recorded seconds [begin, end) covered by the records listed, in record order.
struct RecordedSpan {
    ClockSeconds begin;
    ClockSeconds end;
    std::vector<uint32_t> records;
};

struct TimeGap {
    ClockSeconds begin;  // first unrecorded second
    ClockSeconds end;    // the next recorded one
};

// Seconds [begin, end) that record `later` (the one beginning later, or
// with the higher index at the same begin) shares with record `earlier`.
struct RecordOverlap {
    uint32_t earlier = 0;
    uint32_t later = 0;
    ClockSeconds begin;
    ClockSeconds end;
};

struct Timeline {
    static constexpr size_t kMaxOverlaps = 10000;

    std::vector<RecordedSpan> spans;      // in time order
    std::vector<TimeGap> gaps;            // between consecutive spans
    std::vector<RecordOverlap> overlaps;  // by the later record's begin
    // Pairs past kMaxOverlaps, counted but not listed: a damaged table can
    // make every record overlap every other.
    uint64_t overlapsNotListed = 0;
    std::chrono::seconds recorded{0};    // seconds held by at least one record
    std::chrono::seconds unrecorded{0};  // the gaps' total
};

Timeline BuildTimeline(std::span<const PlacedRecord> records);

// A record and the position (segment) in it.
struct RecordPosition {
    uint32_t record = 0;
    uint32_t position = 0;
};

// The nearest recorded second on one side of a second nobody recorded.
struct NearestSecond {
    RecordPosition at;  // the lowest-numbered record holding it
    ClockSeconds second;
    std::chrono::seconds distance{0};
};

struct Location {
    std::vector<RecordPosition> holders;  // every record holding the second, in record order
    // When no record holds it: the last recorded second before and the first after.
    std::optional<NearestSecond> before;
    std::optional<NearestSecond> after;
};

Location Locate(std::span<const PlacedRecord> records, ClockSeconds second);

// "YYYY-MM-DD HH:MM:SS", the shape ParseClockTime reads.
std::string FormatClockTime(ClockSeconds time);

}  // namespace disk
