#pragma once
// What the first bytes of a one-second segment must hold for the recovery
// scan to call it a segment: where the volume has audio areas a plausible
// one (every channel's step indexes within the table), then at the video
// start the VO and VOL headers of the second's first camera. And the
// cameras a whole second shows pictures of.
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "disk/record_entry.h"
#include "disk/vol_header.h"

namespace disk {

constexpr uint32_t kScanAudioAreaSectors = 32;  // 16,384 bytes

// The last picture of a second may run on into the next segment's video
// area: the stream header then follows that continuation, within this many
// bytes of the video start.
constexpr uint32_t kContinuationBytes = 32766;

// The fewest sectors a second can have: the audio area (if any) and one
// sector of video.
inline uint32_t SegmentHeadSectors(bool audioArea) { return audioArea ? kScanAudioAreaSectors + 1 : 1; }
// Sectors of a segment's start the check reads when the segment has them:
// the audio area, a continuation and the stream header after it.
inline uint32_t SegmentHeadReadSectors(bool audioArea)
{
    return (audioArea ? kScanAudioAreaSectors : 0) + (kContinuationBytes + 64) / 512 + 1;
}

struct SegmentHead {
    bool ok = false;
    VolHeader vol;
    std::string failure;  // why not, in words
};

// bytes: at least SegmentHeadSectors(audioArea) sectors from the segment's
// first sector (fewer is refused), up to SegmentHeadReadSectors. The stream
// header stands at the video start or, where an audio area marks the
// segment's start, after the second before's last pictures ran on into it:
// picture data and picture start codes only (no zero run, no other code).
SegmentHead CheckSegmentHead(std::span<const uint8_t> bytes, bool audioArea);

// Every channel's block of a 16,384-byte audio area has step indexes 0..88.
bool AudioAreaPlausible(std::span<const uint8_t> area);

struct SecondCameras {
    std::array<uint8_t, kChannelFlags> video{};
    bool clear = false;  // false: the headers did not say; all four are set
    int headers = 0;     // VO + VOL headers found
};

// The cameras with pictures in one second's bytes (the segment from its
// first byte): the VO + VOL headers stand before each camera's intra
// picture, cameras 1 to 4 in turn, and a camera without video has its
// picture left uncoded. Anything else sets all four, unclear.
SecondCameras CamerasOfSecond(std::span<const uint8_t> segment, bool audioArea, const VolHeader& vol);

// The cameras with sound in a 16,384-byte audio area: a channel whose block
// holds a code other than 0 (silence codes to zeros). None when the area is
// shorter.
std::array<uint8_t, kChannelFlags> SoundCamerasOfArea(std::span<const uint8_t> area);

}  // namespace disk
