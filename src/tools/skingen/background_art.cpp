#include "background_art.h"

#include <QBitmap>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "layout.h"
#include "skin_art.h"

namespace skingen {

namespace {

QColor BodyAt(int y)
{
    const double t = static_cast<double>(y) / kBody.height();
    auto mix = [t](int a, int b) { return static_cast<int>(a + (b - a) * t + 0.5); };
    return QColor(mix(colour::kBodyTop.red(), colour::kBodyBottom.red()),
                  mix(colour::kBodyTop.green(), colour::kBodyBottom.green()),
                  mix(colour::kBodyTop.blue(), colour::kBodyBottom.blue()));
}

void Recess(QPainter& p, const QRectF& rect, qreal radius, const QColor& fill)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 22));
    p.drawRoundedRect(rect.translated(0, 1), radius, radius);
    p.setBrush(fill);
    p.setPen(QPen(QColor(10, 12, 15, 200), 1));
    p.drawRoundedRect(rect, radius, radius);
}

void Engraved(QPainter& p, const QRectF& box, const QString& text, int px, Qt::Alignment align = Qt::AlignCenter)
{
    QFont font = SkinFont(px, true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 150));
    p.drawText(box.translated(0, 1), align, text);
    p.setPen(colour::kEngrave);
    p.drawText(box, align, text);
}

void Grille(QPainter& p, const QRectF& area)
{
    p.setPen(Qt::NoPen);
    for (qreal y = area.top() + 3; y < area.bottom() - 2; y += 7)
        for (qreal x = area.left() + 3; x < area.right() - 2; x += 7) {
            p.setBrush(QColor(255, 255, 255, 25));
            p.drawEllipse(QPointF(x + 2, y + 2.6), 1.9, 1.9);
            p.setBrush(QColor(8, 9, 12));
            p.drawEllipse(QPointF(x + 2, y + 2), 1.8, 1.8);
        }
}

// The body: a rounded slab with a crisp two-pixel rim; magenta outside.
}  // namespace

QImage Background()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QImage inside(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    inside.fill(Qt::transparent);
    {
        QPainter mask(&inside);
        mask.setPen(Qt::NoPen);
        mask.setBrush(Qt::black);
        mask.drawRoundedRect(kBody, kBodyRadius, kBodyRadius);
    }
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRegion(QRegion(QBitmap::fromImage(inside.createAlphaMask())));
    for (int y = 0; y < kBody.height(); ++y)
        p.fillRect(QRect(0, y, kBody.width(), 1), BodyAt(y));
    // Title strip, deeper over the right column where the window buttons sit.
    QPainterPath strip;
    strip.moveTo(0, 0);
    strip.lineTo(kBody.width(), 0);
    strip.lineTo(kBody.width(), 44);
    strip.lineTo(664, 44);
    strip.quadTo(656, 44, 656, 36);
    strip.lineTo(656, 28);
    strip.lineTo(0, 28);
    strip.closeSubpath();
    QLinearGradient title(0, 0, 0, 44);
    title.setColorAt(0, QColor(76, 85, 101));
    title.setColorAt(1, QColor(58, 65, 78));
    p.setPen(Qt::NoPen);
    p.setBrush(title);
    p.drawPath(strip);
    QPainterPath edge;
    edge.moveTo(0, 27.5);
    edge.lineTo(656.5, 27.5);
    edge.lineTo(656.5, 36);
    edge.quadTo(656.5, 43.5, 664, 43.5);
    edge.lineTo(kBody.width(), 43.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QColor(22, 25, 30));
    p.drawPath(edge);
    p.setPen(QColor(255, 255, 255, 20));
    p.drawPath(edge.translated(0, 1));

    // Video well: the view covers its inside.
    Recess(p, QRectF(kVideo).adjusted(-3.5, -3.5, 3.5, 3.5), 4, QColor(6, 7, 9));
    p.fillRect(kVideo, QColor(12, 13, 16));
    p.setPen(QColor(40, 44, 52));
    p.setFont(SkinFont(13, true));
    p.drawText(kVideo, Qt::AlignCenter, QStringLiteral("NO RECORDING OPEN"));

    // Right column: capture group label, separators and a grille.
    Engraved(p, QRectF(665, 78, 100, 14), QStringLiteral("CAPTURE"), 9);
    p.setPen(QColor(20, 23, 28));
    p.drawLine(QPointF(668, 193.5), QPointF(765, 193.5));
    p.drawLine(QPointF(668, 243.5), QPointF(765, 243.5));
    p.setPen(QColor(255, 255, 255, 24));
    p.drawLine(QPointF(668, 194.5), QPointF(765, 194.5));
    p.drawLine(QPointF(668, 244.5), QPointF(765, 244.5));
    Engraved(p, QRectF(716, 352, 49, 12), QStringLiteral("VIEW"), 8);
    Grille(p, QRectF(716, 366, 49, 140));

    // Speed plate with the frame of the speed box.
    Recess(p, QRectF(644.5, 514.5, 103, 45), 6, QColor(34, 38, 46));
    p.setPen(QColor(8, 9, 12));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(kSpeedBox).adjusted(-1.5, -1.5, 0.5, 0.5));
    p.fillRect(kSpeedBox, QColor(127, 128, 128));
    Engraved(p, QRectF(647, 543, 97, 13), QStringLiteral("SPEED"), 8);

    // Time panel frame.
    p.setPen(QColor(8, 9, 12));
    p.drawRoundedRect(QRectF(kTimePanel).adjusted(-1.5, -1.5, 1.5, 1.5), 4, 4);

    // Transport plate, sound and volume.
    Recess(p, QRectF(9.5, 544.5, 636, 70), 10, QColor(30, 34, 41));
    Engraved(p, QRectF(54, 588, 140, 12), QStringLiteral("VOLUME"), 8);
    p.setClipping(false);

    // A crisp rim on the outline: dark outside ring, light inside ring.
    QImage ring = image.copy();
    auto isBody = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < kWidth && y < kHeight && qAlpha(inside.pixel(x, y)) != 0;
    };
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            if (!isBody(x, y)) {
                ring.setPixel(x, y, qRgb(255, 0, 255));
                continue;
            }
            const bool edge = !isBody(x - 1, y) || !isBody(x + 1, y) || !isBody(x, y - 1) || !isBody(x, y + 1);
            const bool second = !isBody(x - 2, y) || !isBody(x + 2, y) || !isBody(x, y - 2) || !isBody(x, y + 2);
            if (edge)
                ring.setPixel(x, y, qRgb(9, 10, 13));
            else if (second)
                ring.setPixel(x, y, y < kBody.height() / 2 ? qRgb(104, 115, 134) : qRgb(70, 78, 92));
        }
    return ring;
}

}  // namespace skingen
