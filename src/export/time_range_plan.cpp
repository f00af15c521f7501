#include "export/time_range_plan.h"

#include <algorithm>

namespace exporter {

namespace {

std::string Shown(disk::ClockSeconds second) { return disk::FormatClockTime(second); }

}  // namespace

platform::Result<TimeRangePlan> PlanTimeRange(std::span<const disk::PlacedRecord> records, disk::ClockSeconds from,
                                              disk::ClockSeconds to)
{
    using platform::Error;
    using platform::ErrorKind;
    using std::chrono::seconds;
    if (to < from)
        return Error{ErrorKind::Refused, "--to-time (" + Shown(to) + ") lies before --from-time (" + Shown(from) + ")"};
    if ((to - from).count() + 1 > kMaxRangeSeconds)
        return Error{ErrorKind::Refused, "a time range is exported up to " + std::to_string(kMaxRangeSeconds / 3600) +
                                             " hours at a time; split it"};
    const disk::ClockSeconds end = to + seconds{1};  // the first second after the range

    // Each record's part within the range, by its first second.
    std::vector<TimePiece> parts;
    for (const disk::PlacedRecord& r : records) {
        if (r.segments == 0 || r.begin >= end || r.End() <= from)
            continue;
        TimePiece part;
        part.record = r.index;
        part.from = std::max(r.begin, from);
        part.to = std::min(r.End(), end) - seconds{1};
        part.firstPosition = static_cast<uint32_t>(disk::PositionAt(r.begin, part.from));
        part.lastPosition = static_cast<uint32_t>(disk::PositionAt(r.begin, part.to));
        parts.push_back(part);
    }
    if (parts.empty())
        return Error{ErrorKind::Refused, "no listed record holds a second from " + Shown(from) + " to " + Shown(to) +
                                             " (see quillon-cli timeline)"};
    std::stable_sort(parts.begin(), parts.end(), [](const TimePiece& a, const TimePiece& b) {
        return a.from < b.from || (a.from == b.from && a.record < b.record);
    });

    // Sorted by their first second, two parts share seconds exactly when one
    // begins before the latest end met so far.
    const TimePiece* latest = &parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const TimePiece& part = parts[i];
        if (part.from <= latest->to)
            return Error{ErrorKind::Refused,
                         "records " + std::to_string(latest->record + 1) + " and " + std::to_string(part.record + 1) +
                             " both hold the seconds " + Shown(part.from) + " to " +
                             Shown(std::min(part.to, latest->to)) +
                             " (the recorder's clock was set back); export one of them with --record"};
        if (part.to > latest->to)
            latest = &part;
    }

    TimeRangePlan plan;
    plan.from = from;
    plan.to = to;
    disk::ClockSeconds next = from;  // the first second not yet planned
    for (const TimePiece& part : parts) {
        if (part.from > next)
            plan.pieces.push_back({.gap = true, .from = next, .to = part.from - seconds{1}});
        plan.pieces.push_back(part);
        next = part.to + seconds{1};
    }
    if (next <= to)
        plan.pieces.push_back({.gap = true, .from = next, .to = to});
    return plan;
}

}  // namespace exporter
