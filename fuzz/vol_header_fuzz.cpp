// Stream headers and segment starts from the fuzzer: the VOL parser, the
// VOP coded bit, the segment head check with and without audio areas, and
// the camera count of a second.
#include <cstdint>
#include <span>

#include "disk/segment_content.h"
#include "disk/vol_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    const disk::VolParse vol = disk::ParseVolHeader(bytes);
    if (vol.header && (vol.header->width == 0 || vol.header->height == 0 || vol.header->FrameRate() == 0))
        __builtin_trap();
    if (!vol.header && vol.failure.empty())
        __builtin_trap();
    disk::VopCoded(bytes, vol.header ? *vol.header : disk::VolHeader{});
    for (const bool audio : {false, true}) {
        const disk::SegmentHead head = disk::CheckSegmentHead(bytes, audio);
        if (head.ok)
            disk::CamerasOfSecond(bytes, audio, head.vol);
    }
    return 0;
}
