#pragma once
// Picture file conversion for quillon-cli: reads BMP or JPEG with TBitmap,
// writes BMP with SaveBmp or JPEG with the snapshot's encoder.
#include <cstdint>
#include <string>
#include <vector>

namespace picture {
class TBitmap;
}

struct ConvertOptions {
    int quality = 70;
    bool watermark = false;
};

// True on success; otherwise error holds one line saying why.
bool ConvertImage(const std::string& in, const std::string& out, const ConvertOptions& options, std::string& error);

// The picture as a bottom-up 24-bit BGR DIB with rows padded to 4 bytes,
// whatever its depth and row order. False when it holds no picture.
bool ToBottomUpBgr(const picture::TBitmap& bitmap, std::vector<std::uint8_t>& out);
