#include "icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include "skin_art.h"

namespace skingen::icons {

namespace {

QPen Line(const QColor& ink, qreal width)
{
    QPen pen(ink, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// A centred square of side s inside box.
QRectF Square(const QRectF& box, qreal s) { return QRectF(box.center().x() - s / 2, box.center().y() - s / 2, s, s); }

void Triangle(QPainter& p, QPointF tip, qreal height, qreal halfWidth, bool right, const QColor& ink)
{
    const qreal back = right ? tip.x() - height : tip.x() + height;
    QPolygonF t({tip, QPointF(back, tip.y() - halfWidth), QPointF(back, tip.y() + halfWidth)});
    p.setPen(Line(ink, 1.2));
    p.setBrush(ink);
    p.drawPolygon(t);
}

}  // namespace

void Close(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QRectF s = Square(box, 8);
    p.setPen(Line(ink, 1.8));
    p.drawLine(s.topLeft(), s.bottomRight());
    p.drawLine(s.topRight(), s.bottomLeft());
}

void Minimize(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QRectF s = Square(box, 8);
    p.setPen(Line(ink, 1.8));
    p.drawLine(QPointF(s.left(), s.bottom()), s.bottomRight());
}

void Camera(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QRectF body(box.center().x() - 11, box.center().y() - 6, 22, 15);
    p.setPen(Line(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body, 3, 3);
    p.drawLine(QPointF(body.left() + 6, body.top()), QPointF(body.left() + 8, body.top() - 3));
    p.drawLine(QPointF(body.left() + 8, body.top() - 3), QPointF(body.left() + 14, body.top() - 3));
    p.drawLine(QPointF(body.left() + 14, body.top() - 3), QPointF(body.left() + 16, body.top()));
    p.drawEllipse(QPointF(body.center().x(), body.center().y() + 0.5), 4.2, 4.2);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(body.right() - 3.5, body.top() + 3.5), 1.1, 1.1);
}

void Printer(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    p.setPen(Line(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(c.x() - 6, c.y() - 10, 12, 6));                // paper in
    p.drawRoundedRect(QRectF(c.x() - 11, c.y() - 4, 22, 10), 2, 2);  // body
    p.setBrush(ink.darker(400));
    p.drawRect(QRectF(c.x() - 6, c.y() + 2, 12, 8));  // paper out
    p.setPen(Line(ink, 1.0));
    p.drawLine(QPointF(c.x() - 3.5, c.y() + 5), QPointF(c.x() + 3.5, c.y() + 5));
    p.drawLine(QPointF(c.x() - 3.5, c.y() + 7.5), QPointF(c.x() + 2, c.y() + 7.5));
}

void Brackets(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    p.setPen(Line(ink, 1.6));
    p.drawPolyline(QPolygonF({QPointF(c.x() - 3, c.y() - 5), QPointF(c.x() - 6, c.y() - 5),
                              QPointF(c.x() - 6, c.y() + 5), QPointF(c.x() - 3, c.y() + 5)}));
    p.drawPolyline(QPolygonF({QPointF(c.x() + 3, c.y() - 5), QPointF(c.x() + 6, c.y() - 5),
                              QPointF(c.x() + 6, c.y() + 5), QPointF(c.x() + 3, c.y() + 5)}));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(c, 1.4, 1.4);
}

void Export(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    p.setPen(Line(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    // A film frame with an arrow leaving it.
    p.drawRect(QRectF(c.x() - 7, c.y() - 5, 9, 10));
    p.drawLine(QPointF(c.x() - 1, c.y()), QPointF(c.x() + 7, c.y()));
    p.drawPolyline(
        QPolygonF({QPointF(c.x() + 4, c.y() - 3), QPointF(c.x() + 7, c.y()), QPointF(c.x() + 4, c.y() + 3)}));
}

void List(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    for (int i = -1; i <= 1; ++i) {
        const qreal y = c.y() + i * 5.5;
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(QPointF(c.x() - 8, y), 1.6, 1.6);
        p.setPen(Line(ink, 1.8));
        p.drawLine(QPointF(c.x() - 4, y), QPointF(c.x() + 9, y));
    }
}

void Disk(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    const QRectF body(c.x() - 12, c.y() - 8, 24, 16);
    p.setPen(Line(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body, 2.5, 2.5);
    p.drawEllipse(QPointF(c.x() - 2, c.y() - 0.5), 5, 5);
    p.drawLine(QPointF(c.x() - 2, c.y() - 0.5), QPointF(c.x() + 6, c.y() + 4.5));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(body.right() - 3.5, body.bottom() - 3), 1.2, 1.2);
}

void StepBack(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    p.setPen(Line(ink, 2.4));
    p.drawLine(QPointF(c.x() - 6, c.y() - 6), QPointF(c.x() - 6, c.y() + 6));
    Triangle(p, QPointF(c.x() - 3.5, c.y()), 10, 6, false, ink);
}

void Reverse(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    Triangle(p, QPointF(c.x() - 7, c.y()), 13, 8, false, ink);
}

void Pause(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(c.x() - 7, c.y() - 9, 5, 18), 1.2, 1.2);
    p.drawRoundedRect(QRectF(c.x() + 2, c.y() - 9, 5, 18), 1.2, 1.2);
}

void Play(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    Triangle(p, QPointF(c.x() + 7.5, c.y()), 13, 8, true, ink);
}

void StepForward(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    Triangle(p, QPointF(c.x() + 3.5, c.y()), 10, 6, true, ink);
    p.setPen(Line(ink, 2.4));
    p.drawLine(QPointF(c.x() + 6, c.y() - 6), QPointF(c.x() + 6, c.y() + 6));
}

void Minus(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    p.setPen(Line(ink, 2.2));
    p.drawLine(QPointF(c.x() - 5, c.y()), QPointF(c.x() + 5, c.y()));
}

void Plus(QPainter& p, const QRectF& box, const QColor& ink)
{
    const QPointF c = box.center();
    p.setPen(Line(ink, 2.2));
    p.drawLine(QPointF(c.x() - 5, c.y()), QPointF(c.x() + 5, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - 5), QPointF(c.x(), c.y() + 5));
}

void Speaker(QPainter& p, const QRectF& box, const QColor& ink, bool on)
{
    const QPointF c = box.center() + QPointF(-4, 0);
    QPolygonF cone({QPointF(c.x() - 7, c.y() - 3.5), QPointF(c.x() - 3, c.y() - 3.5), QPointF(c.x() + 2, c.y() - 8),
                    QPointF(c.x() + 2, c.y() + 8), QPointF(c.x() - 3, c.y() + 3.5), QPointF(c.x() - 7, c.y() + 3.5)});
    p.setPen(Line(ink, 1.2));
    p.setBrush(ink);
    p.drawPolygon(cone);
    p.setBrush(Qt::NoBrush);
    if (on) {
        p.setPen(Line(ink, 1.7));
        p.drawArc(QRectF(c.x() - 2, c.y() - 5, 10, 10), -50 * 16, 100 * 16);
        p.drawArc(QRectF(c.x() - 4, c.y() - 9, 18, 18), -50 * 16, 100 * 16);
    } else {
        p.setPen(Line(ink, 1.7));
        p.drawLine(QPointF(c.x() + 6, c.y() - 4), QPointF(c.x() + 12, c.y() + 4));
        p.drawLine(QPointF(c.x() + 12, c.y() - 4), QPointF(c.x() + 6, c.y() + 4));
    }
}

void Screen(QPainter& p, const QRectF& box, const QColor& ink, int camera)
{
    const QPointF c = box.center();
    const QRectF screen(c.x() - 12, c.y() - 9, 24, 18);
    p.setPen(Line(ink, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(screen, 2.5, 2.5);
    if (camera == 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        const qreal w = 8.5;
        const qreal h = 5.5;
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 2; ++col)
                p.drawRect(QRectF(screen.left() + 3 + col * (w + 1), screen.top() + 3 + row * (h + 1), w, h));
        return;
    }
    p.setPen(ink);
    p.setFont(SkinFont(13, true));
    p.drawText(screen.adjusted(0, 0, 0, 1), Qt::AlignCenter, QString::number(camera));
}

void Caption(QPainter& p, const QRectF& box, const QColor& ink, const QString& text, int px)
{
    p.setPen(ink);
    QFont font = SkinFont(px, true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    p.setFont(font);
    p.drawText(box, Qt::AlignCenter, text);
}

}  // namespace skingen::icons
