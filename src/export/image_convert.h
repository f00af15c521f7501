#pragma once
// Picture file conversion for quillon-cli: reads BMP or JPEG with TBitmap,
// writes BMP with SaveBmp or JPEG with the snapshot's encoder.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"

namespace picture {
class TBitmap;
}

namespace exporter {

struct ConvertOptions {
    int quality = 70;
    bool watermark = false;
};

// Fails with one line saying why: a name or quality refused (Refused), a
// picture that cannot be read or decoded (ReadFailed), a file that could not
// be written or encoded (WriteFailed); nothing is left under OUT then.
platform::Result<void> ConvertImage(const std::string& in, const std::string& out, const ConvertOptions& options);

// The picture as a bottom-up 24-bit BGR DIB with rows padded to 4 bytes,
// whatever its depth and row order. False when it holds no picture.
bool ToBottomUpBgr(const picture::TBitmap& bitmap, std::vector<std::uint8_t>& out);

}  // namespace exporter
