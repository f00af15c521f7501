#pragma once
// The smaller pictures: slider axes, thumb, segment marks, time panel, the
// two logos and the program's icon.
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
// The application and window icon: the quad screen on a piece of the body,
// kAppIconSize square, transparent around.
inline constexpr int kAppIconSize = 128;
QImage AppIcon();

}  // namespace skingen
