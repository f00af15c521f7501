// Part of a picture enlarged over the one-camera view. The picture is
// converted to RGB once at its own size (libswscale, as every picture), then
// each screen pixel takes its picture pixel through per-column and per-row
// tables: no scaler per zoom step, and the part seen can move by less than
// a picture pixel.
#include "playback/surface_renderer.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/mem.h>
}
#include "platform/window_surface.h"

namespace playback {

namespace {

constexpr int32_t kMaxSide = 8192;
constexpr std::size_t kRowPadding = 256;  // libswscale may write a little past a row

int32_t RgbStride(int32_t width) { return (width * 4 + 63) & ~63; }

// Two channels of a 0xAARRGGBB pixel at a time, weights out of 256.
inline uint32_t Blend(uint32_t a, uint32_t b, uint32_t w)
{
    const uint32_t rb = ((a & 0x00FF00FFu) * (256 - w) + (b & 0x00FF00FFu) * w) >> 8;
    const uint32_t g = (((a >> 8) & 0x00FF00FFu) * (256 - w) + ((b >> 8) & 0x00FF00FFu) * w) >> 8;
    return (rb & 0x00FF00FFu) | ((g & 0x00FF00FFu) << 8);
}

}  // namespace

bool SurfaceRenderer::ReservePictureRgb(int32_t width, int32_t height)
{
    const std::size_t needed = std::size_t(RgbStride(width)) * height + kRowPadding;
    if (needed <= pictureRgbBytes)
        return true;
    pictureRgb.reset(static_cast<uint8_t*>(av_malloc(needed)));
    pictureRgbBytes = pictureRgb ? needed : 0;
    return pictureRgb != nullptr;
}

// Target pixel t shows the picture at start + (t + 0.5) * span / targetSize:
// the pixel that holds that point, or the two whose centres surround it.
void SurfaceRenderer::MapAxis(Axis& axis, int32_t targetSize, int32_t pictureSize, double start, double span,
                              bool smooth)
{
    if (axis.first.size() < std::size_t(targetSize)) {
        axis.first.resize(std::size_t(targetSize));
        axis.second.resize(std::size_t(targetSize));
        axis.weight.resize(std::size_t(targetSize));
    }
    const double step = span / targetSize;
    for (int32_t t = 0; t < targetSize; ++t) {
        const double at = start + (t + 0.5) * step;
        if (!smooth) {
            axis.first[t] = std::clamp(static_cast<int32_t>(std::floor(at)), 0, pictureSize - 1);
            continue;
        }
        const double centre = at - 0.5;
        const double below = std::floor(centre);
        const auto i = static_cast<int32_t>(below);
        axis.first[t] = std::clamp(i, 0, pictureSize - 1);
        axis.second[t] = std::clamp(i + 1, 0, pictureSize - 1);
        axis.weight[t] = static_cast<uint32_t>(std::lround((centre - below) * 256.0));
    }
}

int SurfaceRenderer::PresentZoomed(std::span<const uint8_t> picture, int32_t width, int32_t height, CellRect target,
                                   const ViewZoom& zoom)
{
    if (zoom.Whole() || picture.empty())
        return Present(picture, width, height, target);
    if (!window || target.Width() <= 0 || target.Height() <= 0 || target.Width() > kMaxSide ||
        target.Height() > kMaxSide)
        return 0;
    if (width < 2 || width % 2 != 0 || height < 2 || width > kMaxSide || height > kMaxSide ||
        int64_t{width} * height * 2 > static_cast<int64_t>(picture.size()))
        return 0;
    const int32_t stride = RgbStride(width);
    if (!ReservePictureRgb(width, height) ||
        !Convert(picture, width, height, CellRect{0, 0, width, height}, pictureRgb.get(), stride))
        return 0;
    const double factor = std::min(zoom.factor, ViewZoom::kMaxFactor);
    MapAxis(columns, target.Width(), width, zoom.left * width, width / factor, zoom.smooth);
    MapAxis(rows, target.Height(), height, zoom.top * height, height / factor, zoom.smooth);

    const QRect wanted(target.left, target.top, target.Width(), target.Height());
    auto context = window->Draw(wanted);
    QImage& image = context.Image();
    const QRect visible = wanted & image.rect();
    const int x0 = visible.left() - target.left;
    const int x1 = x0 + visible.width();
    const auto pitch = static_cast<std::size_t>(image.bytesPerLine());
    auto source = [&](int32_t row) {
        return reinterpret_cast<const uint32_t*>(pictureRgb.get() + std::size_t(stride) * row);
    };
    for (int y = 0; y < visible.height(); ++y) {
        const int ty = visible.top() - target.top + y;
        auto* out = reinterpret_cast<uint32_t*>(image.bits() + pitch * (visible.top() + y)) + visible.left();
        const uint32_t* upper = source(rows.first[ty]);
        if (!zoom.smooth) {
            for (int tx = x0; tx < x1; ++tx)
                out[tx - x0] = upper[columns.first[tx]] | 0xFF000000u;
            continue;
        }
        const uint32_t* lower = source(rows.second[ty]);
        const uint32_t wy = rows.weight[ty];
        for (int tx = x0; tx < x1; ++tx) {
            const int32_t a = columns.first[tx], b = columns.second[tx];
            const uint32_t wx = columns.weight[tx];
            out[tx - x0] = Blend(Blend(upper[a], upper[b], wx), Blend(lower[a], lower[b], wx), wy) | 0xFF000000u;
        }
    }
    return 1;
}

}  // namespace playback
