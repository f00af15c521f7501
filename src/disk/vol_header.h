#pragma once
// The MPEG-4 Visual video object layer header the recorder writes before
// every intra picture: the fields the recovery scan needs (picture size,
// time resolution, frame rate), read by a bounds-checked bit reader. Also
// the few bits of a VOP header that say whether a picture was coded.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace disk {

struct VolHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t timeResolution = 0;      // vop_time_increment_resolution, ticks a second
    uint32_t fixedTimeIncrement = 0;  // 0: the layer has no fixed picture rate
    uint32_t timeIncrementBits = 0;   // bits of a VOP's vop_time_increment
    // Pictures a second: the fixed rate when there is one, else the
    // resolution (the encoder counts one tick a picture).
    uint32_t FrameRate() const { return fixedTimeIncrement ? timeResolution / fixedTimeIncrement : timeResolution; }
};

struct VolParse {
    std::optional<VolHeader> header;
    std::string failure;  // why there is none
};

// bytes start at the layer's start code (00 00 01 20..2F). Only rectangular
// layers are taken; anything cut short or out of range is refused.
VolParse ParseVolHeader(std::span<const uint8_t> bytes);

// bytes start at a VOP start code (00 00 01 B6); none when the header is cut
// short or not a VOP. True when vop_coded is set.
std::optional<bool> VopCoded(std::span<const uint8_t> bytes, const VolHeader& vol);

// The VO start code (00 00 01 00..1F) followed at +4 by a VOL start code.
bool HasVoVolAt(std::span<const uint8_t> bytes, size_t offset);

}  // namespace disk
