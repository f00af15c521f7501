#include "ui/skin_picture.h"

#include <QPainter>

namespace ui {

bool SkinPicture::Load(const char* directory, const char* file)
{
    Reset();
    auto loaded = std::make_unique<picture::TBitmap>();
    if (!loaded->Load(directory, file))
        return false;
    QImage image = loaded->ToImage();
    if (image.isNull())
        return false;
    opaque = image.convertToFormat(QImage::Format_RGB32);
    keyed = opaque.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int row = 0; row < keyed.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(row));
        for (int col = 0; col < keyed.width(); ++col)
            if ((line[col] & 0xFFFFFF) == 0xFF00FF)
                line[col] = 0;
    }
    bitmap = std::move(loaded);
    return true;
}

void SkinPicture::Reset()
{
    bitmap.reset();
    opaque = QImage();
    keyed = QImage();
}

void SkinPicture::DrawTransparent(QPainter& painter, int x, int y) const
{
    if (!bitmap)
        return;
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QPoint(x, y), keyed);
}

void SkinPicture::Draw(QPainter& painter, int x, int y) const
{
    if (!bitmap)
        return;
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(x, y), opaque);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

}  // namespace ui
