// TBitmap drawing with Qt: nearest-neighbour stretching (rows and columns
// are dropped or repeated, never blended) and the magenta colour key.
#include <QImage>
#include <QPainter>

#include <cstring>

#include "picture/tbitmap.h"

namespace picture {

bool TBitmap::FromImage(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    if (!Create(image.width(), image.height(), 24))
        return false;
    const auto stride = static_cast<std::size_t>(DibStride(image.width(), 24));
    // Row padding too: a saved file must not carry stale memory.
    std::memset(Pixels(), 0, stride * static_cast<std::size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y) {
        std::uint8_t* row = Pixels() + stride * static_cast<std::size_t>(image.height() - 1 - y);
        const uchar* src = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            row[x * 3 + 0] = src[x * 3 + 2];
            row[x * 3 + 1] = src[x * 3 + 1];
            row[x * 3 + 2] = src[x * 3 + 0];
        }
    }
    return true;
}

QImage TBitmap::ToImage() const
{
    if (!pixels_ || width_ <= 0 || height_ <= 0)
        return {};
    const int bits = infoHeader_.bitsPerPixel;
    const auto stride = static_cast<qsizetype>(DibStride(width_, bits));
    QImage::Format format = QImage::Format_Invalid;
    if (bits == 24)
        format = QImage::Format_BGR888;
    else if (bits == 32)
        format = QImage::Format_RGB32;
    else if (bits == 8)
        format = QImage::Format_Indexed8;
    else
        return {};
    // A view of our buffer; copied below so the result owns its pixels.
    QImage view(pixels_.get(), width_, height_, stride, format);
    if (bits == 8) {
        QList<QRgb> colours(256);
        for (int i = 0; i < 256; ++i)
            colours[i] = qRgb(palette_[i].red, palette_[i].green, palette_[i].blue);
        view.setColorTable(colours);
    }
    const bool bottomUp = infoHeader_.height > 0;
    return bottomUp ? view.mirrored(false, true) : view.copy();
}

int TBitmap::Draw(QPainter& painter, int x, int y, int w, int h) const
{
    const QImage image = ToImage();
    if (image.isNull())
        return 0;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRect(x, y, w, h), image);
    painter.restore();
    return 1;
}

int TBitmap::Draw(QPainter& painter, int x, int y) const { return Draw(painter, x, y, width_, height_); }

int TBitmap::Draw(QImage& target, int x, int y, int w, int h) const
{
    QPainter painter(&target);
    return Draw(painter, x, y, w, h);
}

int TBitmap::DrawTransparent(QPainter& painter, int x, int y, int w, int h) const
{
    const QImage image = ToImage();
    if (image.isNull() || w <= 0 || h <= 0)
        return 0;
    // Stretch first, then key: the key applies to the stretched picture.
    QImage keyed =
        image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::FastTransformation).convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < keyed.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(row));
        for (int col = 0; col < keyed.width(); ++col)
            if ((line[col] & 0xFFFFFF) == 0xFF00FF)
                line[col] = 0;
    }
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QPoint(x, y), keyed);
    painter.restore();
    return 1;
}

int TBitmap::DrawTransparent(QPainter& painter, int x, int y) const
{
    return DrawTransparent(painter, x, y, width_, height_);
}

int TBitmap::DrawTransparent(QImage& target, int x, int y, int w, int h) const
{
    QPainter painter(&target);
    return DrawTransparent(painter, x, y, w, h);
}

}  // namespace picture
