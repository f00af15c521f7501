#pragma once
// A time range on the recorder's clock cut into what an export writes one
// after the other: the parts of the records that hold its seconds, in time
// order, and the seconds between them that no record holds. Refused when two
// records hold the same second of the range (a clock set back: which one the
// examiner means is theirs to say), when no record holds any of its seconds,
// and when it is longer than an export by time is allowed to be.
// The records are those the record table lists: recordings only a recovery
// scan finds are not among them, and their seconds count as gaps.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disk/timeline.h"
#include "platform/error.h"

namespace exporter {

struct TimePiece {
    bool gap = false;                              // true: seconds no record holds
    uint32_t record = 0;                           // a record's part: its index from 0 in table order
    uint32_t firstPosition = 0, lastPosition = 0;  // a record's part: both included
    disk::ClockSeconds from, to;                   // its first and last second, both included

    int64_t Seconds() const { return (to - from).count() + 1; }
};

struct TimeRangePlan {
    disk::ClockSeconds from, to;  // both included
    std::vector<TimePiece> pieces;
};

// The longest range an export by time covers.
constexpr int64_t kMaxRangeSeconds = 48 * 3600;

// from and to are both included. Records are named in refusals as people
// name them, from 1.
platform::Result<TimeRangePlan> PlanTimeRange(std::span<const disk::PlacedRecord> records, disk::ClockSeconds from,
                                              disk::ClockSeconds to);

}  // namespace exporter
