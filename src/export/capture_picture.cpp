// The composition behind snapshots and printing: the shown cameras scaled
// into the view's layout over a background colour, with the time stamp.
#include "export/snapshot.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "export/picture_composer.h"
#include "playback/playback_engine.h"

namespace exporter {

int CapturePicture(const playback::PlaybackEngine& engine, std::span<uint8_t> out, uint32_t background,
                   std::size_t stride)
{
    const int32_t width = engine.WindowWidth();
    const int32_t height = engine.WindowHeight();
    const std::size_t rowBytes = std::size_t(std::max(width, 0)) * 3;
    if (stride == 0)
        stride = rowBytes;
    if (height <= 0 || stride < rowBytes || out.size() < stride * (height - 1) + rowBytes)
        return 0;
    // Without decoding every cell is background: no picture to save or print.
    if (!engine.DecodingFailure().empty())
        return 0;
    PictureComposer composer;
    if (!composer.Setup(width, height, background))
        return 0;
    {
        // A tick already under way when "snap" or "print" halted playback
        // keeps decoding into the pictures: let it finish first. The stamp's
        // time is read under the same lock, so it is the pictures' own.
        const auto lock = engine.LockStream();
        composer.Compose(engine, engine.CurrentStamp(), PictureComposer::Stamp::FirstCamera);
    }
    return composer.CopyOut(out, stride, false) ? 1 : 0;
}

bool FlipRows(std::span<uint8_t> pixels, int width, int height, int bitsPerPixel, std::size_t stride)
{
    if (width <= 0 || height <= 0 || bitsPerPixel <= 0)
        return false;
    const std::size_t rowBytes = (std::size_t(width) * bitsPerPixel + 7) / 8;
    if (stride == 0)
        stride = rowBytes;
    if (stride < rowBytes || pixels.size() < stride * (height - 1) + rowBytes)
        return false;
    std::vector<uint8_t> row(rowBytes);
    for (int i = 0; i < height / 2; ++i) {
        uint8_t* a = pixels.data() + stride * i;
        uint8_t* b = pixels.data() + stride * (height - 1 - i);
        std::memcpy(row.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, row.data(), rowBytes);
    }
    return true;
}

}  // namespace exporter
