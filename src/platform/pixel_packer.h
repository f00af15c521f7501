#pragma once
// 32-bit pixels (bytes blue, green, red, unused) to packed 24-bit blue-green-
// red rows, through libswscale's unscaled path, which is several times faster
// than a plain loop. Every exported frame passes through here.
//
// Threads: one caller at a time (the owner's).
#include <cstddef>
#include <cstdint>

#include "platform/av_handles.h"

namespace platform {

class PixelPacker {
public:
    // Rows of `from` are fromStride bytes apart; rows of `to` toStride bytes,
    // negative to write them bottom row first from the last row's start.
    // False when the conversion cannot be set up.
    bool Pack(const uint8_t* from, int fromStride, uint8_t* to, int toStride, int width, int height);

private:
    platform::av::SwsContextPtr context;
    int contextWidth = 0;
    int contextHeight = 0;
};

}  // namespace platform
