#pragma once
// Drawing kit of the skin generator: the colours, the button faces in their
// four looks, and the step that turns anti-aliased art into magenta-keyed
// pictures that sit seamlessly on the background.
#include <QColor>
#include <QImage>
#include <QPainterPath>

#include <array>
#include <functional>

class QPainter;

namespace skingen {

namespace colour {
inline const QColor kInk(223, 229, 238);
inline const QColor kInkHover(255, 255, 255);
inline const QColor kInkDown(143, 240, 251);
inline const QColor kInkDisabled(100, 106, 116);
inline const QColor kAccent(53, 194, 214);
inline const QColor kOutline(13, 15, 19);
inline const QColor kBodyTop(62, 69, 82);
inline const QColor kBodyBottom(33, 37, 45);
inline const QColor kEngrave(140, 150, 166);
}  // namespace colour

enum Look { kUp = 0, kDown = 1, kHover = 2, kDisabled = 3 };

// Draws an icon into box in the given ink.
using IconPainter = std::function<void(QPainter& painter, const QRectF& box, const QColor& ink)>;

QPainterPath RoundedPath(const QRectF& rect, qreal radius);

// A button face on a transparent layer of size.
QImage ButtonLayer(QSize size, const QPainterPath& shape, Look look, const IconPainter& icon);

// The four looks of a button at rect, keyed: pixels that none of the looks
// touch are magenta; the others are the look over the background there, so
// every look covers exactly the same pixels.
std::array<QImage, 4> KeyedButton(const QImage& background, const QRect& rect, const std::array<QImage, 4>& layers);

// One keyed picture of layer over what lies under it (opaque).
QImage KeyedOver(const QImage& under, const QImage& layer);

// Text of the skin: DejaVu Sans, bold when asked, pixel size px.
QFont SkinFont(int px, bool bold);

}  // namespace skingen
