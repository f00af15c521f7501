#include "small_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "icons.h"
#include "layout.h"
#include "skin_art.h"

namespace skingen {

// Both axes share one groove profile, so that one thumb fits both.
QImage Axis(const QImage& background, const QRect& rect, bool volume)
{
    QImage axis = background.copy(rect).convertToFormat(QImage::Format_RGB32);
    QPainter p(&axis);
    p.setRenderHint(QPainter::Antialiasing);
    if (volume) {
        // A rising wedge under the groove says louder to the right.
        QPolygonF wedge({QPointF(2, 13.5), QPointF(rect.width() - 2, 13.5), QPointF(rect.width() - 2, 10.5)});
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(53, 194, 214, 70));
        p.drawPolygon(wedge);
    } else {
        p.setPen(QColor(255, 255, 255, 30));
        for (int x = 8; x < rect.width() - 4; x += 20)
            p.drawLine(QPointF(x + 0.5, 12.5), QPointF(x + 0.5, 14.5));
    }
    QRectF groove(1.5, 5.5, rect.width() - 3, 5);
    p.setPen(QColor(255, 255, 255, 28));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(groove.translated(0, 1), 2.5, 2.5);
    p.setPen(QColor(6, 7, 9));
    p.setBrush(QColor(14, 16, 20));
    p.drawRoundedRect(groove, 2.5, 2.5);
    return axis;
}

QImage ThumbLayer()
{
    QImage layer(kThumb, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF knob(0.5, 0.5, kThumb.width() - 1.0, kThumb.height() - 1.0);
    QLinearGradient fill(knob.topLeft(), knob.bottomLeft());
    fill.setColorAt(0, QColor(236, 240, 246));
    fill.setColorAt(1, QColor(150, 160, 176));
    p.setPen(QColor(12, 14, 18));
    p.setBrush(fill);
    p.drawRoundedRect(knob, 3, 3);
    p.setPen(QPen(colour::kAccent, 2));
    p.drawLine(QPointF(kThumb.width() / 2.0, 4), QPointF(kThumb.width() / 2.0, kThumb.height() - 4));
    return layer;
}

QImage MarkLayer(bool begin)
{
    QImage layer(kMark, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor c = begin ? QColor(88, 214, 130) : QColor(255, 112, 92);
    const qreal mid = kMark.width() / 2.0;
    // A pennant on a staff; the staff stands on the mark's offset.
    p.setPen(QPen(c.darker(300), 1));
    p.setBrush(c);
    p.drawRect(QRectF(mid - 1, 0.5, 2, kMark.height() - 1.0));
    QPolygonF flag = begin ? QPolygonF({QPointF(mid, 0.5), QPointF(kMark.width() - 0.5, 4), QPointF(mid, 7.5)})
                           : QPolygonF({QPointF(mid, 0.5), QPointF(0.5, 4), QPointF(mid, 7.5)});
    p.drawPolygon(flag);
    return layer;
}

QImage TimeBack()
{
    QImage image(kTimePanel.size(), QImage::Format_RGB32);
    image.fill(QColor(8, 9, 12));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient lcd(0, 0, 0, kTimePanel.height());
    lcd.setColorAt(0, QColor(222, 233, 240));
    lcd.setColorAt(1, QColor(186, 206, 218));
    p.setPen(QPen(QColor(8, 9, 12), 1));
    p.setBrush(lcd);
    p.drawRoundedRect(QRectF(0.5, 0.5, kTimePanel.width() - 1.0, kTimePanel.height() - 1.0), 3, 3);
    p.setPen(QColor(255, 255, 255, 120));
    p.drawLine(QPointF(3, 1.5), QPointF(kTimePanel.width() - 3, 1.5));
    return image;
}

QImage Logo(QSize size, bool product)
{
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing);
    if (!product) {
        // A quill: a curved vane with its shaft, in the accent colour.
        QPainterPath vane;
        vane.moveTo(3, 21);
        vane.cubicTo(6, 12, 12, 5, 21, 2);
        vane.cubicTo(18, 10, 13, 17, 5, 20);
        vane.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(colour::kAccent);
        p.drawPath(vane);
        p.setPen(QPen(QColor(20, 60, 70), 1.1));
        p.drawLine(QPointF(2, 22), QPointF(17, 6));
        p.setFont(SkinFont(16, true));
        p.setPen(QColor(0, 0, 0, 140));
        p.drawText(QRectF(27, 1, 100, 22), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quillon"));
        p.setPen(QColor(236, 240, 246));
        p.drawText(QRectF(27, 0, 100, 22), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quillon"));
        QFont small = SkinFont(9, true);
        small.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
        p.setFont(small);
        p.setPen(colour::kEngrave);
        p.drawText(QRectF(98, 3, 100, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("PLAYBACK"));
        return layer;
    }
    QFont big = SkinFont(20, true);
    big.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(big);
    p.setPen(QColor(0, 0, 0, 150));
    p.drawText(QRectF(0, 9, size.width(), 26), Qt::AlignCenter, QStringLiteral("QUILLON"));
    p.setPen(QColor(214, 221, 232));
    p.drawText(QRectF(0, 8, size.width(), 26), Qt::AlignCenter, QStringLiteral("QUILLON"));
    QFont small = SkinFont(8, true);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    p.setFont(small);
    p.setPen(colour::kAccent);
    p.drawText(QRectF(0, 34, size.width(), 14), Qt::AlignCenter, QStringLiteral("RECORDER PLAYER"));
    return layer;
}

QImage AppIcon()
{
    QImage icon(kAppIconSize, kAppIconSize, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF slab(4.5, 4.5, kAppIconSize - 9.0, kAppIconSize - 9.0);
    QLinearGradient body(slab.topLeft(), slab.bottomLeft());
    body.setColorAt(0, colour::kBodyTop);
    body.setColorAt(1, colour::kBodyBottom);
    p.setPen(QPen(colour::kOutline, 3));
    p.setBrush(body);
    p.drawRoundedRect(slab, 22, 22);
    p.setPen(QPen(QColor(104, 115, 134), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(slab.adjusted(3, 3, -3, -3), 19, 19);
    // The quad view's button picture, four times its size.
    constexpr qreal kScale = 4;
    p.scale(kScale, kScale);
    icons::Screen(p, QRectF(0, 0, kAppIconSize / kScale, kAppIconSize / kScale), colour::kAccent, 0);
    return icon;
}

}  // namespace skingen
