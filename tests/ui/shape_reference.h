#pragma once
// The outline computed the slow, obvious way: a 1 x 1 rectangle united per
// magenta pixel, then the picture's rectangle exclusive-or that region. The
// fast scanline method must give exactly these rectangles.
#include <QImage>
#include <QRegion>

#include <vector>

#include "ui/region_data.h"

namespace ui_test {

inline std::vector<ui::ShapeRect> RectsOf(const QRegion& region)
{
    std::vector<ui::ShapeRect> rects;
    for (const QRect& r : region)
        rects.push_back({r.left(), r.top(), r.right() + 1, r.bottom() + 1});
    return rects;
}

inline std::vector<ui::ShapeRect> ShapeByPixelUnion(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    QRegion magenta;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == 0xFF00FF)
                magenta = magenta.united(QRect(x, y, 1, 1));
    return RectsOf(QRegion(0, 0, image.width(), image.height()).xored(magenta));
}

}  // namespace ui_test
