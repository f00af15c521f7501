#include "skin_art.h"

#include <QLinearGradient>
#include <QPainter>

namespace skingen {

namespace {

constexpr QRgb kMagenta = 0xFFFF00FF;

struct Face {
    QColor top;
    QColor bottom;
    QColor outline;
    qreal outlineWidth;
    QColor ink;
    QPointF iconShift;
};

Face FaceOf(Look look)
{
    switch (look) {
    case kHover: return {QColor(94, 106, 126), QColor(56, 63, 76), colour::kAccent, 1.5, colour::kInkHover, {0, 0}};
    case kDown: return {QColor(22, 44, 52), QColor(34, 76, 88), colour::kAccent, 1.5, colour::kInkDown, {1, 1}};
    case kDisabled:
        return {QColor(54, 58, 66), QColor(50, 54, 62), QColor(28, 30, 34), 1.0, colour::kInkDisabled, {0, 0}};
    case kUp:
    default: return {QColor(82, 92, 109), QColor(45, 51, 62), colour::kOutline, 1.0, colour::kInk, {0, 0}};
    }
}

}  // namespace

QPainterPath RoundedPath(const QRectF& rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QFont SkinFont(int px, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(px);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QImage ButtonLayer(QSize size, const QPainterPath& shape, Look look, const IconPainter& icon)
{
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing);
    const Face face = FaceOf(look);
    const QRectF box = shape.boundingRect();

    // A soft drop shadow below the face keeps it off the panel.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, look == kDown ? 40 : 70));
    p.drawPath(shape.translated(0, 1.5));

    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, face.top);
    fill.setColorAt(1, face.bottom);
    p.setBrush(fill);
    p.setPen(QPen(face.outline, face.outlineWidth));
    p.drawPath(shape);

    // Light from above: a thin highlight just inside the top edge.
    if (look != kDisabled && look != kDown) {
        p.save();
        p.setClipPath(shape);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, 46), 1.0));
        p.drawPath(shape.translated(0, 1.0));
        p.restore();
    }
    if (icon) {
        p.save();
        p.translate(face.iconShift);
        icon(p, box, face.ink);
        p.restore();
    }
    return layer;
}

QImage KeyedOver(const QImage& under, const QImage& layer)
{
    QImage out = under.convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&out);
        p.drawImage(0, 0, layer);
    }
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        const auto* alpha = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (qAlpha(alpha[x]) == 0)
                line[x] = kMagenta;
            else if ((line[x] & 0xFFFFFF) == 0xFF00FF)
                line[x] = qRgb(254, 0, 254);  // art never turns transparent by chance
        }
    }
    return out;
}

std::array<QImage, 4> KeyedButton(const QImage& background, const QRect& rect, const std::array<QImage, 4>& layers)
{
    // Footprint: every pixel that any look touches.
    QImage footprint(rect.size(), QImage::Format_ARGB32_Premultiplied);
    footprint.fill(Qt::transparent);
    for (const QImage& layer : layers)
        for (int y = 0; y < rect.height(); ++y) {
            auto* f = reinterpret_cast<QRgb*>(footprint.scanLine(y));
            const auto* l = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
            for (int x = 0; x < rect.width(); ++x)
                if (qAlpha(l[x]) != 0)
                    f[x] = 0xFF000000;
        }
    const QImage under = background.copy(rect);
    std::array<QImage, 4> out;
    for (std::size_t i = 0; i < layers.size(); ++i) {
        QImage composed = KeyedOver(under, layers[i]);
        // Inside the footprint the background shows where this look is clear.
        for (int y = 0; y < rect.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(composed.scanLine(y));
            const auto* f = reinterpret_cast<const QRgb*>(footprint.constScanLine(y));
            const auto* u = reinterpret_cast<const QRgb*>(under.constScanLine(y));
            for (int x = 0; x < rect.width(); ++x)
                if (qAlpha(f[x]) != 0 && line[x] == kMagenta)
                    line[x] = u[x] | 0xFF000000;
        }
        out[i] = composed;
    }
    return out;
}

}  // namespace skingen
