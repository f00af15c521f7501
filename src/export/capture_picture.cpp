// The composition behind snapshots and printing: the shown cameras scaled
// into the view's layout over a background colour, with the time stamp.
#include "export/snapshot.h"

#include <QColor>
#include <QGuiApplication>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/window_surface.h"
#include "playback/playback_engine.h"
#include "playback/surface_renderer.h"

namespace capture {

namespace {

// Larger than any view; keeps a bad size from sizing the buffers.
constexpr int32_t kMaxViewSide = 8192;

// Black shadow to the top and left, white text on it: readable on any picture.
void DrawStamp(QImage& image, int x, int y, const char* text)
{
    // Fonts need the GUI application; without one there is no stamp.
    if (!QGuiApplication::instance())
        return;
    QPainter painter(&image);
    const QString line = QString::fromLatin1(text);
    // The text's top-left corner at the point, as the platform's text call places it.
    const auto at = [&](int px, int py, const QColor& colour) {
        painter.setPen(colour);
        painter.drawText(QRect(px, py, image.width(), image.height()), Qt::AlignLeft | Qt::AlignTop, line);
    };
    at(x + 4, y + 4, Qt::black);
    at(x + 5, y + 4, Qt::black);
    at(x + 4, y + 5, Qt::black);
    at(x + 5, y + 5, Qt::white);
}

}  // namespace

std::size_t DibStride(int width, int bitsPerPixel)
{
    return ((static_cast<std::size_t>(width) * bitsPerPixel + 31) / 32) * 4;
}

int CapturePicture(const playback::PlaybackEngine& engine, std::span<uint8_t> out, uint32_t background,
                   std::size_t stride)
{
    const int32_t width = engine.WindowWidth();
    const int32_t height = engine.WindowHeight();
    if (width <= 0 || height <= 0 || width > kMaxViewSide || height > kMaxViewSide)
        return 0;
    const std::size_t rowBytes = std::size_t(width) * 3;
    if (stride == 0)
        stride = rowBytes;
    if (stride < rowBytes || out.size() < stride * (height - 1) + rowBytes)
        return 0;

    platform::WindowSurface composition(width, height);
    playback::SurfaceRenderer renderer;
    if (renderer.Create(&composition) != 0)
        return 0;
    composition.Draw().Image().fill(static_cast<uint>(0xff000000u | background));

    const bool quad = engine.ViewMode() == playback::PlaybackEngine::kQuadView;
    bool stamped = false;
    for (int camera = 0; camera < playback::kCameras; ++camera) {
        if (!engine.IsShown(camera))
            continue;
        const playback::CellRect cell = quad ? engine.Cells()[camera] : playback::CellRect{0, 0, width, height};
        // A camera without video has no picture to compose (its buffer was
        // never decoded): its cell keeps the background, as does a
        // malformed picture or an empty cell.
        if (engine.HasVideo(camera))
            renderer.Present(engine.Picture(camera), engine.PictureWidth(), engine.PictureHeight(), cell);
        if (!stamped) {
            const disk::RecordTime t = engine.PositionTime();
            char text[64];
            std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                          t.minute, t.second);
            auto context = composition.Draw();
            DrawStamp(context.Image(), cell.left, cell.top, text);
            stamped = true;
        }
    }

    // RGB32 pixels are 0xffRRGGBB words: bytes blue, green, red, alpha.
    auto context = composition.Draw();
    const QImage& image = context.Image();
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = image.constScanLine(y);
        uint8_t* to = out.data() + stride * y;
        for (int x = 0; x < width; ++x) {
            to[3 * x] = from[4 * x];
            to[3 * x + 1] = from[4 * x + 1];
            to[3 * x + 2] = from[4 * x + 2];
        }
        std::fill(to + rowBytes, to + std::min(stride, out.size() - stride * y), uint8_t {0});
    }
    return 1;
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

}  // namespace capture
