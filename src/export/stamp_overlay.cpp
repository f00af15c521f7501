#include "export/stamp_overlay.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>

namespace exporter {

StampOverlay::StampOverlay() = default;
StampOverlay::~StampOverlay() = default;

bool StampOverlay::Setup(int frameWidth, int frameHeight)
{
    if (frameWidth <= 0 || frameHeight <= 0)
        return false;
    int textRows = 32;
    if (QGuiApplication::instance())
        textRows = QFontMetrics(QGuiApplication::font()).height();
    // The white text starts at row 10; a few rows under it for descenders.
    const int wanted = std::clamp(10 + textRows + 6, 2, frameHeight);
    const int wantedRows = std::min(frameHeight, wanted + (wanted & 1));
    if (frameWidth == width && wantedRows == rows)
        return true;
    width = frameWidth;
    rows = wantedRows;
    layer = std::make_unique<QImage>(width, rows, QImage::Format_ARGB32_Premultiplied);
    alpha.assign(std::size_t(width) * rows, 0);
    luma.assign(alpha.size(), 0);
    chromaAlpha.assign(std::size_t(platform::ChromaSide(width)) * platform::ChromaSide(rows), 0);
    shown.clear();
    left = right = top = bottom = 0;
    return !layer->isNull();
}

void StampOverlay::Render(const char* text)
{
    shown = text;
    left = right = top = bottom = 0;
    layer->fill(Qt::transparent);
    if (QGuiApplication::instance()) {
        QPainter painter(layer.get());
        const QString line = QString::fromLatin1(text);
        const QPoint points[] = {{9, 9}, {10, 10}};
        const QColor colours[] = {Qt::black, Qt::white};
        for (int i = 0; i < 2; ++i) {
            painter.setPen(colours[i]);
            painter.drawText(QRect(points[i].x(), points[i].y(), width, rows), Qt::AlignLeft | Qt::AlignTop, line);
        }
    }
    left = width;
    top = rows;
    for (int y = 0; y < rows; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(layer->constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb p = row[x];
            const int a = qAlpha(p);
            const std::size_t i = std::size_t(y) * width + x;
            alpha[i] = uint8_t(a);
            // Premultiplied full-range RGB to studio-range luma, times 255:
            // 16 a + 255 (0.256788 r + 0.504129 g + 0.097906 b).
            luma[i] = uint16_t(
                std::min(65535.0, 16.0 * a + 65.481 * qRed(p) + 128.553 * qGreen(p) + 24.966 * qBlue(p) + 0.5));
            if (a) {
                left = std::min(left, x);
                right = std::max(right, x + 1);
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
            }
        }
    }
    if (right == 0) {
        left = top = 0;
        return;
    }
    // Chroma pixels cover pixel pairs: widen to even edges.
    left &= ~1;
    top &= ~1;
    const int cw = platform::ChromaSide(width);
    for (int cy = top / 2; cy < platform::ChromaSide(bottom); ++cy)
        for (int cx = left / 2; cx < platform::ChromaSide(right); ++cx) {
            int sum = 0, n = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const int x = 2 * cx + dx, y = 2 * cy + dy;
                    if (x < width && y < rows) {
                        sum += alpha[std::size_t(y) * width + x];
                        ++n;
                    }
                }
            chromaAlpha[std::size_t(cy) * cw + cx] = uint8_t(n ? (sum + n / 2) / n : 0);
        }
}

void StampOverlay::Blend(const char* text, const platform::YuvPlanes& frame)
{
    if (!frame.y || frame.width != width || frame.height < rows || !layer || layer->isNull())
        return;
    if (shown != text)
        Render(text);
    for (int y = top; y < bottom; ++y) {
        uint8_t* out = frame.y + std::ptrdiff_t(y) * frame.width;
        const std::size_t at = std::size_t(y) * width;
        for (int x = left; x < right; ++x) {
            const int a = alpha[at + x];
            out[x] = uint8_t((luma[at + x] + out[x] * (255 - a) + 127) / 255);
        }
    }
    const int cw = platform::ChromaSide(width);
    for (int cy = top / 2; cy < platform::ChromaSide(bottom); ++cy) {
        uint8_t* u = frame.u + std::ptrdiff_t(cy) * frame.chromaWidth;
        uint8_t* v = frame.v + std::ptrdiff_t(cy) * frame.chromaWidth;
        for (int cx = left / 2; cx < platform::ChromaSide(right); ++cx) {
            const int a = chromaAlpha[std::size_t(cy) * cw + cx];
            u[cx] = uint8_t((128 * a + u[cx] * (255 - a) + 127) / 255);
            v[cx] = uint8_t((128 * a + v[cx] * (255 - a) + 127) / 255);
        }
    }
}

}  // namespace exporter
