#include "export/frame_composer.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "export/picture_composer.h"
#include "playback/playback_engine.h"

namespace exporter {

namespace {

// Larger than any view; keeps a bad size from sizing the buffers.
constexpr int32_t kMaxViewSide = 8192;

uint8_t Level(double value) { return uint8_t(std::clamp(std::lround(value), 0L, 255L)); }

}  // namespace

bool FrameComposer::Setup(int32_t frameWidth, int32_t frameHeight, uint32_t background)
{
    if (frameWidth <= 0 || frameHeight <= 0 || frameWidth > kMaxViewSide || frameHeight > kMaxViewSide ||
        !stamp.Setup(frameWidth, frameHeight))
        return false;
    width = frameWidth;
    height = frameHeight;
    // Full-range RGB to BT.601 studio-range YUV, as the encoders' own
    // conversion of RGB pictures does.
    const double r = (background >> 16) & 0xff, g = (background >> 8) & 0xff, b = background & 0xff;
    backY = Level(16 + 0.256788 * r + 0.504129 * g + 0.097906 * b);
    backU = Level(128 - 0.148223 * r - 0.290993 * g + 0.439216 * b);
    backV = Level(128 + 0.439216 * r - 0.367788 * g - 0.071427 * b);
    return true;
}

void FrameComposer::Release() { width = height = 0; }

bool FrameComposer::PicturesCover(const playback::PlaybackEngine& engine, bool quad,
                                  const platform::YuvPlanes& frame) const
{
    std::array<playback::CellRect, playback::kCameras> drawn{};
    std::size_t count = 0;
    for (int camera = 0; camera < playback::kCameras; ++camera) {
        if (!engine.IsShown(camera))
            continue;
        if (!engine.HasPicture(camera))
            return false;
        drawn[count++] =
            playback::FrameCell(frame, quad ? engine.Cells()[camera] : playback::CellRect{0, 0, width, height});
    }
    // Cells that do not overlap and together hold as many pixels as the
    // frame cover it.
    int64_t area = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const playback::CellRect& a = drawn[i];
        area += int64_t{a.Width()} * a.Height();
        for (std::size_t j = i + 1; j < count; ++j) {
            const playback::CellRect& b = drawn[j];
            if (a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom)
                return false;
        }
    }
    return area == int64_t{width} * height;
}

bool FrameComposer::Compose(const playback::PlaybackEngine& engine, const disk::PositionStamp& time,
                            std::span<uint8_t> out)
{
    const platform::YuvPlanes frame = platform::PlanesIn(out, width, height);
    if (!frame.y)
        return false;
    const playback::CellRect whole{0, 0, width, height};
    const bool quad = engine.ViewMode() == playback::PlaybackEngine::kQuadView;
    // The background only where pictures will not cover it (a cell whose
    // picture fails to draw gets it below).
    if (!PicturesCover(engine, quad, frame))
        playback::FillCell(frame, whole, backY, backU, backV);
    for (int camera = 0; camera < playback::kCameras; ++camera) {
        if (!engine.IsShown(camera))
            continue;
        // Only a picture decoded for this position is composed; a camera
        // without one keeps the background, so that nothing of another time
        // shows in its cell.
        if (engine.HasPicture(camera)) {
            const playback::CellRect cell = quad ? engine.Cells()[camera] : whole;
            const bool drawn = engine.PictureIsPlanar(camera)
                                   ? renderer.RenderPlanar(engine.Picture(camera), engine.PictureWidth(),
                                                           engine.PictureHeight(), cell, frame)
                                   : renderer.Render(engine.Picture(camera), engine.PictureWidth(),
                                                     engine.PictureHeight(), cell, frame);
            if (!drawn)
                playback::FillCell(frame, cell, backY, backU, backV);
        }
    }
    char text[64];
    FormatStamp(time, text);
    stamp.Blend(text, frame);
    return true;
}

}  // namespace exporter
