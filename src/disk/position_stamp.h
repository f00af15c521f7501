#pragma once
// The time a position of a recording is shown by, everywhere one is shown
// (the time panel, burnt-in stamps, snapshots, prints, export names and
// reports): the recorder's clock when the recording's begin time was
// recorded, otherwise the recording's id and the position from its start
// ("c1 +00:00:05"). A recording without a recorded time never gets a
// made-up clock.
//
// A plain value without any allocation (the export stamps every frame).
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "disk/record_time.h"

namespace disk {

enum class StampStyle : uint8_t {
    List,             // "2026/12/08 04:10:05" (the record list's), or "c1 +00:00:05"
    Panel,            // "2026/12/08  04:10:05" (the time panel's two spaces), or "c1 +00:00:05"
    Iso,              // "2026-12-08T04:10:05Z", or "" when unknown
    NameDigits,       // "20261208_041005" for file names, or "c1_00-00-05"
    NameUnderscores,  // "2026_12_08_04_10_05" for file names, or "c1_00_00_05"
};

struct PositionStamp {
    static constexpr size_t kIdBytes = 16;

    bool recorded = true;
    RecordTime time;                  // recorded: the position's time on the recorder's clock
    std::array<char, kIdBytes> id{};  // not recorded: the recording's id, NUL-terminated
    int64_t position = 0;             // seconds from the recording's start

    // The position's stamp on a recording that begins at begin (recorded
    // true) or whose time is unknown (recorded false, id its name, cut to
    // fit).
    static PositionStamp At(const RecordTime& begin, bool recorded, std::string_view id, int64_t position);

    std::string_view Id() const;
    // Writes the text NUL-terminated into out, cut to fit; gives its length.
    size_t Format(std::span<char> out, StampStyle style = StampStyle::List) const;
    std::string Text(StampStyle style = StampStyle::List) const;
};

}  // namespace disk
