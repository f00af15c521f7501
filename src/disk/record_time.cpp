#include "disk/record_time.h"

#include <chrono>

#include "disk/position_stamp.h"

namespace disk {

RecordTime AddMilliseconds(const RecordTime& time, int64_t milliseconds)
{
    using namespace std::chrono;
    const year_month_day date{year{time.year}, month{time.month}, day{time.day}};
    if (!date.ok() || time.hour > 23 || time.minute > 59 || time.second > 59 || time.milliseconds > 999)
        return time;

    const sys_time<std::chrono::milliseconds> start = sys_days{date} + hours{time.hour} + minutes{time.minute} +
                                                      seconds{time.second} +
                                                      std::chrono::milliseconds{time.milliseconds};
    const auto shifted = start + std::chrono::milliseconds{milliseconds};
    const auto days = floor<std::chrono::days>(shifted);
    const year_month_day newDate{days};
    const hh_mm_ss clock{shifted - days};
    const int newYear = int{newDate.year()};
    if (newYear < 1601 || newYear > 30827)  // the range the recorder's calendar covers
        return time;

    RecordTime out;
    out.year = static_cast<uint16_t>(newYear);
    out.month = static_cast<uint16_t>(unsigned{newDate.month()});
    out.day = static_cast<uint16_t>(unsigned{newDate.day()});
    out.dayOfWeek = static_cast<uint16_t>(weekday{days}.c_encoding());
    out.hour = static_cast<uint16_t>(clock.hours().count());
    out.minute = static_cast<uint16_t>(clock.minutes().count());
    out.second = static_cast<uint16_t>(clock.seconds().count());
    out.milliseconds = static_cast<uint16_t>(clock.subseconds().count());
    return out;
}

RecordTime RecordEndTime(const RecordTime& begin, uint32_t segments)
{
    return segments == 0 ? begin : AddMilliseconds(begin, (int64_t(segments) - 1) * 1000);
}

std::string FormatRecordTime(const RecordTime& time)
{
    PositionStamp stamp;
    stamp.time = time;
    return stamp.Text(StampStyle::List);
}

}  // namespace disk
