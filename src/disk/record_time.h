#pragma once
// Calendar time of a record, field for field as the recorder's tools show it.
#include <cstdint>
#include <string>

namespace disk {

struct RecordTime {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t dayOfWeek = 0;  // 0 = Sunday; filled by AddMilliseconds
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;

    bool operator==(const RecordTime&) const = default;
};

// time + milliseconds, carried through the calendar (day of week filled
// in). A time that is not a valid calendar date (a damaged record entry)
// comes back unchanged rather than as an invented date.
RecordTime AddMilliseconds(const RecordTime& time, int64_t milliseconds);

// The begin time of a record's last one-second segment, as the record list
// shows its end; a record without segments ends where it begins.
RecordTime RecordEndTime(const RecordTime& begin, uint32_t segments);

// "2026/12/08 04:10:05", as the record list shows a time: the List style of
// a position's stamp.
std::string FormatRecordTime(const RecordTime& time);

}  // namespace disk
