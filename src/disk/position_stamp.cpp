#include "disk/position_stamp.h"

#include <algorithm>
#include <array>
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

namespace {

// How each style writes a stamp: the clock's fields are year, month, day,
// hour, minute, second; a position's are the id (length, bytes) and hours,
// minutes, seconds from the start. No position format: shown as "".
struct StampFormat {
    const char* clock;
    const char* position;
};

constexpr std::array<StampFormat, 5> kStampFormats{{
    {"%d/%02d/%02d %02d:%02d:%02d", "%.*s +%02lld:%02lld:%02lld"},   // List
    {"%d/%02d/%02d  %02d:%02d:%02d", "%.*s +%02lld:%02lld:%02lld"},  // Panel
    {"%04d-%02d-%02dT%02d:%02d:%02dZ", nullptr},                     // Iso
    {"%d%02d%02d_%02d%02d%02d", "%.*s_%02lld-%02lld-%02lld"},        // NameDigits
    {"%d_%02d_%02d_%02d_%02d_%02d", "%.*s_%02lld_%02lld_%02lld"},    // NameUnderscores
}};
static_assert(static_cast<size_t>(StampStyle::NameUnderscores) + 1 == kStampFormats.size(), "a format for each style");

}  // namespace

size_t PositionStamp::Format(std::span<char> out, StampStyle style) const
{
    if (out.empty())
        return 0;
    out[0] = '\0';
    const size_t row = static_cast<size_t>(style);
    if (row >= kStampFormats.size())
        return 0;
    const StampFormat& format = kStampFormats[row];
    int n = 0;
    if (recorded) {
        const RecordTime& t = time;
        n = std::snprintf(out.data(), out.size(), format.clock, t.year, t.month, t.day, t.hour, t.minute, t.second);
    } else if (format.position) {
        // A position before the start cannot be shown as one; it stays 0.
        const int64_t s = std::max<int64_t>(position, 0);
        const long long hours = s / 3600, minutes = s / 60 % 60, seconds = s % 60;
        const int idLength = static_cast<int>(Id().size());
        n = std::snprintf(out.data(), out.size(), format.position, idLength, id.data(), hours, minutes, seconds);
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
