#include "disk/timeline.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "disk/recorder_volume.h"

namespace disk {

using std::chrono::seconds;

std::optional<ClockSeconds> ToClockSeconds(const RecordTime& time)
{
    using namespace std::chrono;
    const year_month_day date{year{time.year}, month{time.month}, day{time.day}};
    if (!date.ok() || time.hour > 23 || time.minute > 59 || time.second > 59)
        return std::nullopt;
    return sys_days{date} + hours{time.hour} + minutes{time.minute} + seconds{time.second};
}

RecordTime ToRecordTime(ClockSeconds time)
{
    using namespace std::chrono;
    const auto days = floor<std::chrono::days>(time);
    const year_month_day date{days};
    const hh_mm_ss clock{time - days};
    RecordTime out;
    out.year = static_cast<uint16_t>(int{date.year()});
    out.month = static_cast<uint16_t>(unsigned{date.month()});
    out.day = static_cast<uint16_t>(unsigned{date.day()});
    out.dayOfWeek = static_cast<uint16_t>(weekday{days}.c_encoding());
    out.hour = static_cast<uint16_t>(clock.hours().count());
    out.minute = static_cast<uint16_t>(clock.minutes().count());
    out.second = static_cast<uint16_t>(clock.seconds().count());
    return out;
}

std::optional<ClockSeconds> ParseClockTime(std::string_view text)
{
    // Field offsets and widths in "YYYY-MM-DD HH:MM:SS"; the record list's
    // "YYYY/MM/DD" date is taken too, so times copied from it work.
    struct Field {
        size_t at, width;
    };
    static constexpr Field kFields[6] = {{0, 4}, {5, 2}, {8, 2}, {11, 2}, {14, 2}, {17, 2}};
    if (text.size() != 19 || text[4] != text[7] || (text[4] != '-' && text[4] != '/') || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':')
        return std::nullopt;
    unsigned values[6] = {};
    for (int i = 0; i < 6; ++i) {
        const char* first = text.data() + kFields[i].at;
        const char* last = first + kFields[i].width;
        if (!std::all_of(first, last, [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        if (std::from_chars(first, last, values[i]).ptr != last)
            return std::nullopt;
    }
    RecordTime time;
    time.year = static_cast<uint16_t>(values[0]);
    time.month = static_cast<uint16_t>(values[1]);
    time.day = static_cast<uint16_t>(values[2]);
    time.hour = static_cast<uint16_t>(values[3]);
    time.minute = static_cast<uint16_t>(values[4]);
    time.second = static_cast<uint16_t>(values[5]);
    return ToClockSeconds(time);
}

VolumeRecords ReadRecords(RecorderVolume& volume)
{
    VolumeRecords out;
    RecordTime begin;
    uint32_t segments = 0;
    uint32_t index = 0;
    for (bool more = volume.FirstRecord(begin, segments); more; more = volume.NextRecord(begin, segments), ++index) {
        const std::optional<ClockSeconds> second = ToClockSeconds(begin);
        if (!second || segments == 0)
            out.unplaced.push_back(index);
        else
            out.placed.push_back({index, *second, segments, volume.Record(index).kind});
    }
    return out;
}

namespace {

std::vector<PlacedRecord> InTimeOrder(std::span<const PlacedRecord> records)
{
    std::vector<PlacedRecord> sorted;
    sorted.reserve(records.size());
    for (const PlacedRecord& r : records)
        if (r.segments > 0)
            sorted.push_back(r);
    std::sort(sorted.begin(), sorted.end(), [](const PlacedRecord& a, const PlacedRecord& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.index < b.index;
    });
    return sorted;
}

void AddOverlaps(const std::vector<PlacedRecord>& sorted, Timeline& timeline)
{
    // Records still running at the current begin, in begin order.
    std::vector<const PlacedRecord*> running;
    for (const PlacedRecord& r : sorted) {
        std::erase_if(running, [&](const PlacedRecord* a) { return a->End() <= r.begin; });
        for (const PlacedRecord* a : running) {
            if (timeline.overlaps.size() < Timeline::kMaxOverlaps)
                timeline.overlaps.push_back({a->index, r.index, r.begin, std::min(a->End(), r.End())});
            else
                ++timeline.overlapsNotListed;
        }
        running.push_back(&r);
    }
}

}  // namespace

Timeline BuildTimeline(std::span<const PlacedRecord> records)
{
    Timeline timeline;
    const std::vector<PlacedRecord> sorted = InTimeOrder(records);
    for (const PlacedRecord& r : sorted) {
        // Back to back (r begins where the span ends) or overlapping: one span.
        if (!timeline.spans.empty() && r.begin <= timeline.spans.back().end) {
            RecordedSpan& span = timeline.spans.back();
            span.end = std::max(span.end, r.End());
            span.records.push_back(r.index);
            continue;
        }
        if (!timeline.spans.empty())
            timeline.gaps.push_back({timeline.spans.back().end, r.begin});
        timeline.spans.push_back({r.begin, r.End(), {r.index}});
    }
    for (RecordedSpan& span : timeline.spans) {
        std::sort(span.records.begin(), span.records.end());
        timeline.recorded += span.end - span.begin;
    }
    for (const TimeGap& gap : timeline.gaps)
        timeline.unrecorded += gap.end - gap.begin;
    AddOverlaps(sorted, timeline);
    return timeline;
}

Location Locate(std::span<const PlacedRecord> records, ClockSeconds second)
{
    Location location;
    const PlacedRecord* before = nullptr;  // the latest end before `second`
    const PlacedRecord* after = nullptr;   // the earliest begin after it
    for (const PlacedRecord& r : records) {
        if (r.segments == 0)
            continue;
        if (r.begin <= second && second < r.End()) {
            location.holders.push_back({r.index, static_cast<uint32_t>(PositionAt(r.begin, second))});
        } else if (r.End() <= second) {
            if (!before || r.End() > before->End() || (r.End() == before->End() && r.index < before->index))
                before = &r;
        } else if (!after || r.begin < after->begin || (r.begin == after->begin && r.index < after->index)) {
            after = &r;
        }
    }
    if (!location.holders.empty()) {
        std::sort(location.holders.begin(), location.holders.end(),
                  [](const RecordPosition& a, const RecordPosition& b) { return a.record < b.record; });
        return location;
    }
    if (before) {
        const ClockSeconds last = before->End() - seconds{1};
        location.before = NearestSecond{{before->index, before->segments - 1}, last, second - last};
    }
    if (after)
        location.after = NearestSecond{{after->index, 0}, after->begin, after->begin - second};
    return location;
}

std::string FormatClockTime(ClockSeconds time)
{
    const RecordTime t = ToRecordTime(time);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

}  // namespace disk
