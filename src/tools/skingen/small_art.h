#pragma once
// The smaller pictures: slider axes, thumb, segment marks, time panel and
// the two logos.
#include <QImage>
#include <QRect>

namespace skingen {

// The axis at rect, drawn over the background there (axes are opaque).
QImage Axis(const QImage& background, const QRect& rect, bool volume);
QImage ThumbLayer();
QImage MarkLayer(bool begin);
QImage TimeBack();
// The title logo, or the product logo of the transport plate.
QImage Logo(QSize size, bool product);

}  // namespace skingen
