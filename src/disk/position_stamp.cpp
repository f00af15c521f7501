#include "disk/position_stamp.h"

#include <algorithm>
#include <cstdio>

namespace disk {

PositionStamp PositionStamp::At(const RecordTime& begin, bool recorded, std::string_view name, int64_t position)
{
    PositionStamp stamp;
    stamp.position = position;
    stamp.recorded = recorded;
    if (recorded) {
        stamp.time = AddMilliseconds(begin, position * 1000);
    } else {
        const size_t n = std::min(name.size(), kIdBytes - 1);
        std::copy_n(name.begin(), n, stamp.id.begin());
    }
    return stamp;
}

std::string_view PositionStamp::Id() const
{
    return std::string_view(id.data(), static_cast<size_t>(std::find(id.begin(), id.end(), '\0') - id.begin()));
}

size_t PositionStamp::Format(std::span<char> out, StampStyle style) const
{
    if (out.empty())
        return 0;
    out[0] = '\0';
    int n = 0;
    const RecordTime& t = time;
    if (recorded) {
        switch (style) {
        case StampStyle::List:
            n = std::snprintf(out.data(), out.size(), "%d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                              t.minute, t.second);
            break;
        case StampStyle::Panel:
            n = std::snprintf(out.data(), out.size(), "%d/%02d/%02d  %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                              t.minute, t.second);
            break;
        case StampStyle::Iso:
            n = std::snprintf(out.data(), out.size(), "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour,
                              t.minute, t.second);
            break;
        case StampStyle::NameDigits:
            n = std::snprintf(out.data(), out.size(), "%d%02d%02d_%02d%02d%02d", t.year, t.month, t.day, t.hour,
                              t.minute, t.second);
            break;
        case StampStyle::NameUnderscores:
            n = std::snprintf(out.data(), out.size(), "%d_%02d_%02d_%02d_%02d_%02d", t.year, t.month, t.day, t.hour,
                              t.minute, t.second);
            break;
        }
    } else {
        // A position before the start cannot be shown as one; it stays 0.
        const int64_t s = std::max<int64_t>(position, 0);
        const long long hours = s / 3600, minutes = s / 60 % 60, seconds = s % 60;
        const int idLength = static_cast<int>(Id().size());
        switch (style) {
        case StampStyle::List:
        case StampStyle::Panel:
            n = std::snprintf(out.data(), out.size(), "%.*s +%02lld:%02lld:%02lld", idLength, id.data(), hours, minutes,
                              seconds);
            break;
        case StampStyle::Iso: n = 0; break;
        case StampStyle::NameDigits:
            n = std::snprintf(out.data(), out.size(), "%.*s_%02lld-%02lld-%02lld", idLength, id.data(), hours, minutes,
                              seconds);
            break;
        case StampStyle::NameUnderscores:
            n = std::snprintf(out.data(), out.size(), "%.*s_%02lld_%02lld_%02lld", idLength, id.data(), hours, minutes,
                              seconds);
            break;
        }
    }
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return std::min(static_cast<size_t>(n), out.size() - 1);
}

std::string PositionStamp::Text(StampStyle style) const
{
    std::array<char, 64> text{};
    const size_t n = Format(text, style);
    return std::string(text.data(), n);
}

}  // namespace disk
