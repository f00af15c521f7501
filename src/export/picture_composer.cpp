#include "export/picture_composer.h"

#include <QColor>
#include <QGuiApplication>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/pixel_packer.h"
#include "platform/window_surface.h"
#include "playback/playback_engine.h"
#include "playback/surface_renderer.h"

namespace exporter {

namespace {

// Larger than any view; keeps a bad size from sizing the buffers.
constexpr int32_t kMaxViewSide = 8192;

// The text's top-left corner at each point, as the platform's text call
// places it; the last colour ends on top.
void DrawStamp(QImage& image, const char* text, std::span<const QPoint> points, std::span<const QColor> colours)
{
    // Fonts need the GUI application; without one there is no stamp.
    if (!QGuiApplication::instance())
        return;
    QPainter painter(&image);
    const QString line = QString::fromLatin1(text);
    for (std::size_t i = 0; i < points.size(); ++i) {
        painter.setPen(colours[i]);
        painter.drawText(QRect(points[i].x(), points[i].y(), image.width(), image.height()),
                         Qt::AlignLeft | Qt::AlignTop, line);
    }
}

}  // namespace

void FormatStamp(const disk::PositionStamp& stamp, char (&text)[64]) { stamp.Format(text, disk::StampStyle::List); }

PictureComposer::PictureComposer() : packer(std::make_unique<platform::PixelPacker>()) {}
PictureComposer::~PictureComposer() = default;

bool PictureComposer::Setup(int32_t width, int32_t height, uint32_t backgroundColour)
{
    if (width <= 0 || height <= 0 || width > kMaxViewSide || height > kMaxViewSide)
        return false;
    if (surface && surface->Width() == width && surface->Height() == height) {
        background = backgroundColour;
        return true;
    }
    Release();
    auto made = std::make_unique<platform::WindowSurface>(width, height);
    auto scaler = std::make_unique<playback::SurfaceRenderer>();
    if (scaler->Create(made.get()) != 0)
        return false;
    surface = std::move(made);
    renderer = std::move(scaler);
    background = backgroundColour;
    Fill(background);
    return true;
}

void PictureComposer::Release()
{
    renderer.reset();
    surface.reset();
}

void PictureComposer::Fill(uint32_t background)
{
    if (surface)
        surface->Draw().Image().fill(static_cast<uint>(0xff000000u | background));
}

void PictureComposer::FillCell(const playback::CellRect& cell)
{
    auto context = surface->Draw();
    QImage& image = context.Image();
    const int left = std::clamp(cell.left, 0, image.width());
    const int right = std::clamp(cell.right, left, image.width());
    const int top = std::clamp(cell.top, 0, image.height());
    const int bottom = std::clamp(cell.bottom, top, image.height());
    const uint32_t pixel = 0xff000000u | background;
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
        std::fill(row + left, row + right, pixel);
    }
}

void PictureComposer::Compose(const playback::PlaybackEngine& engine, const disk::PositionStamp& time, Stamp stamp)
{
    if (!surface)
        return;
    char text[64];
    FormatStamp(time, text);
    const bool quad = engine.ViewMode() == playback::PlaybackEngine::kQuadView;
    bool stamped = false;
    for (int camera = 0; camera < playback::kCameras; ++camera) {
        if (!engine.IsShown(camera))
            continue;
        const playback::CellRect cell =
            quad ? engine.Cells()[camera] : playback::CellRect{0, 0, surface->Width(), surface->Height()};
        // Only a picture decoded for this position is composed. A camera
        // without one (no video, a frame that could not be read or decoded,
        // a lost second) gets the background, so that nothing of another
        // time stays in its cell and the stamp is drawn on a clean cell.
        // A planar picture is one an export read: it is composed by the
        // export's frames, never here.
        if (engine.HasPicture(camera) && !engine.PictureIsPlanar(camera)) {
            renderer->Present(engine.Picture(camera), engine.PictureWidth(), engine.PictureHeight(), cell);
        } else {
            FillCell(cell);
        }
        if (stamp == Stamp::FirstCamera && !stamped) {
            const int x = cell.left, y = cell.top;
            const QPoint points[] = {{x + 4, y + 4}, {x + 5, y + 4}, {x + 4, y + 5}, {x + 5, y + 5}};
            const QColor colours[] = {Qt::black, Qt::black, Qt::black, Qt::white};
            auto context = surface->Draw();
            DrawStamp(context.Image(), text, points, colours);
            stamped = true;
        }
    }
    if (stamp == Stamp::FrameCorner) {
        const QPoint points[] = {{9, 9}, {10, 10}};
        const QColor colours[] = {Qt::black, Qt::white};
        auto context = surface->Draw();
        DrawStamp(context.Image(), text, points, colours);
    }
}

bool PictureComposer::CopyOut(std::span<uint8_t> out, std::size_t stride, bool bottomUp) const
{
    if (!surface)
        return false;
    const int width = surface->Width();
    const int height = surface->Height();
    const std::size_t rowBytes = std::size_t(width) * 3;
    if (stride == 0)
        stride = rowBytes;
    if (stride < rowBytes || out.size() < stride * (height - 1) + rowBytes)
        return false;
    // RGB32 pixels are 0xffRRGGBB words: bytes blue, green, red, alpha.
    auto context = surface->Draw();
    const QImage& image = context.Image();
    uint8_t* const first = bottomUp ? out.data() + stride * (height - 1) : out.data();
    const int step = bottomUp ? -static_cast<int>(stride) : static_cast<int>(stride);
    if (!packer->Pack(image.constBits(), static_cast<int>(image.bytesPerLine()), first, step, width, height))
        return false;
    if (stride > rowBytes)
        for (int y = 0; y < height; ++y)
            std::fill(out.data() + stride * y + rowBytes, out.data() + std::min(stride * (y + 1), out.size()),
                      uint8_t{0});
    return true;
}

}  // namespace exporter
