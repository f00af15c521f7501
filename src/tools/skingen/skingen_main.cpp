// quillon-skingen: draws the program's own skin and writes it as BMP files
// into a directory (the repository keeps its output in skin/bmp).
//   quillon-skingen OUTDIR
#include <QBitmap>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "export/tbitmap.h"
#include "icons.h"
#include "skin_art.h"

namespace {

using namespace skingen;

constexpr int kWidth = 925;
constexpr int kHeight = 640;
const QRect kBody(0, 0, 784, 624);
constexpr int kBodyRadius = 18;
const QRect kVideo(8, 31, 640, 480);
const QRect kTimePanel(470, 512, 172, 26);
const QRect kSpeedBox(682, 519, 28, 19);
const QRect kTimeAxis(17, 519, 440, 16);
const QRect kVolumeAxis(54, 567, 140, 16);
constexpr QSize kThumb(13, 16);
constexpr QSize kMark(11, 16);

std::string outDir;
int failures = 0;

void Save(const QImage& source, const char* name)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    TBitmap bitmap;
    if (!bitmap.Create(image.width(), image.height(), 24)) {
        ++failures;
        return;
    }
    const auto stride = static_cast<std::size_t>(BmpStride(image.width(), 24));
    for (int y = 0; y < image.height(); ++y) {
        // Bottom-up rows, blue first.
        std::uint8_t* row = bitmap.Pixels() + stride * static_cast<std::size_t>(image.height() - 1 - y);
        const uchar* src = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            row[x * 3 + 0] = src[x * 3 + 2];
            row[x * 3 + 1] = src[x * 3 + 1];
            row[x * 3 + 2] = src[x * 3 + 0];
        }
    }
    const std::string path = outDir + "/" + name;
    if (!bitmap.SaveBmp(path.c_str(), false)) {
        std::fprintf(stderr, "quillon-skingen: cannot write %s\n", path.c_str());
        ++failures;
    }
}

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

struct ButtonArt {
    const char* prefix;  // files prefix-up/-on/-dw/-un.bmp
    QRect rect;
    QPainterPath shape;  // in the picture's coordinates
    std::function<void(QPainter&, const QRectF&, const QColor&, Look)> icon;
};

QPainterPath Circle(QSize size, qreal diameter)
{
    QPainterPath path;
    path.addEllipse(QRectF((size.width() - diameter) / 2.0 + 0.5, (size.height() - diameter) / 2.0 + 0.5,
                           diameter - 1.0, diameter - 1.0 - 1.5));
    return path;
}

QPainterPath Rounded(QSize size, qreal radius, qreal leftInset = 0)
{
    return RoundedPath(QRectF(0.5 + leftInset, 0.5, size.width() - 1.0 - leftInset, size.height() - 2.5), radius);
}

using SimpleIcon = void (*)(QPainter&, const QRectF&, const QColor&);

auto Icon(SimpleIcon draw)
{
    return [draw](QPainter& p, const QRectF& box, const QColor& ink, Look) { draw(p, box, ink); };
}

// Icon at the left, caption filling the rest.
auto Labelled(SimpleIcon draw, QString caption, int iconWidth, int px)
{
    return [draw, caption, iconWidth, px](QPainter& p, const QRectF& box, const QColor& ink, Look) {
        draw(p, QRectF(box.left() + 4, box.top(), iconWidth, box.height() - 1), ink);
        icons::Caption(p, QRectF(box.left() + 4 + iconWidth, box.top(), box.width() - iconWidth - 10, box.height() - 1),
                       ink, caption, px);
    };
}

std::vector<ButtonArt> Buttons()
{
    std::vector<ButtonArt> art;
    auto add = [&](const char* prefix, QRect rect, QPainterPath shape, auto icon) {
        art.push_back({prefix, rect, std::move(shape), icon});
    };
    const QSize view(64, 37);
    const char* views[] = {"4ch", "ch1", "ch2", "ch3", "ch4"};
    const int viewTops[] = {316, 357, 397, 437, 477};
    for (int i = 0; i < 5; ++i)
        add(views[i], QRect(QPoint(647, viewTops[i]), view), Rounded(view, 5, 2),
            [i](QPainter& p, const QRectF& box, const QColor& ink, Look) {
                icons::Screen(p, box.adjusted(1, 0, 0, -1), ink, i);
            });
    add("Exit", QRect(697, 17, 22, 20), Rounded({22, 20}, 4), Icon(icons::Close));
    add("Small", QRect(674, 17, 22, 20), Rounded({22, 20}, 4), Icon(icons::Minimize));
    add("folder", QRect(716, 294, 49, 54), Rounded({49, 54}, 6),
        [](QPainter& p, const QRectF& box, const QColor& ink, Look) {
            icons::Disk(p, QRectF(box.left(), box.top() + 3, box.width(), 30), ink);
            icons::Caption(p, QRectF(box.left(), box.top() + 32, box.width(), 14), ink, QStringLiteral("DISK"), 9);
        });
    add("list", QRect(693, 246, 72, 44), Rounded({72, 44}, 6), Labelled(icons::List, QStringLiteral("LIST"), 24, 10));
    add("Snap", QRect(665, 96, 100, 44), Rounded({100, 44}, 6), Labelled(icons::Camera, QStringLiteral("SNAP"), 32, 11));
    add("Print", QRect(665, 147, 100, 44), Rounded({100, 44}, 6),
        Labelled(icons::Printer, QStringLiteral("PRINT"), 32, 11));
    add("segment", QRect(673, 197, 92, 21), Rounded({92, 21}, 4),
        Labelled(icons::Brackets, QStringLiteral("MARK"), 20, 9));
    add("cut", QRect(673, 219, 92, 23), Rounded({92, 23}, 4), Labelled(icons::Export, QStringLiteral("EXPORT"), 20, 9));
    add("play1", QRect(216, 558, 40, 40), Circle({40, 40}, 38), Icon(icons::StepBack));
    add("play2", QRect(265, 554, 44, 48), Circle({44, 48}, 44), Icon(icons::Reverse));
    add("play3", QRect(312, 549, 50, 58), Circle({50, 58}, 50), Icon(icons::Pause));
    add("play4", QRect(365, 554, 44, 48), Circle({44, 48}, 44), Icon(icons::Play));
    add("play5", QRect(416, 558, 40, 40), Circle({40, 40}, 38), Icon(icons::StepForward));
    add("SpDw", QRect(647, 515, 32, 26), Rounded({32, 26}, 5, 1), Icon(icons::Minus));
    add("SpUp", QRect(712, 515, 32, 26), Rounded({32, 26}, 5), Icon(icons::Plus));
    add("Vol", QRect(17, 550, 36, 44), Circle({36, 44}, 34),
        [](QPainter& p, const QRectF& box, const QColor& ink, Look look) {
            icons::Speaker(p, box, ink, look == kDown);
        });
    return art;
}

void SaveButtons(const QImage& background)
{
    static const char* suffix[4] = {"-up.bmp", "-dw.bmp", "-on.bmp", "-un.bmp"};  // by Look
    for (const ButtonArt& b : Buttons()) {
        std::array<QImage, 4> layers;
        for (int look = 0; look < 4; ++look) {
            const auto l = static_cast<Look>(look);
            layers[static_cast<std::size_t>(look)] =
                ButtonLayer(b.rect.size(), b.shape, l,
                            [&](QPainter& p, const QRectF& box, const QColor& ink) { b.icon(p, box, ink, l); });
        }
        const auto keyed = KeyedButton(background, b.rect, layers);
        for (int look = 0; look < 4; ++look)
            Save(keyed[static_cast<std::size_t>(look)], (std::string(b.prefix) + suffix[look]).c_str());
    }
}

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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillon-skingen OUTDIR\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    outDir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);

    const QImage background = Background();
    Save(background, "backgr.bmp");
    SaveButtons(background);

    const QImage timeAxis = Axis(background, kTimeAxis, false);
    const QImage volumeAxis = Axis(background, kVolumeAxis, true);
    Save(timeAxis, "Time-Axis.bmp");
    Save(volumeAxis, "Vol-Axis.bmp");
    // Thumb and marks are keyed over the groove that they ride on.
    const QRect grooveSlice(200, 0, kThumb.width(), kThumb.height());
    Save(KeyedOver(timeAxis.copy(grooveSlice), ThumbLayer()), "Thumb-up.bmp");
    const QRect markSlice(200, 0, kMark.width(), kMark.height());
    Save(KeyedOver(timeAxis.copy(markSlice), MarkLayer(true)), "segment_begin.bmp");
    Save(KeyedOver(timeAxis.copy(markSlice), MarkLayer(false)), "segment_end.bmp");

    const QRect logoRect(12, 3, 200, 24);
    Save(KeyedOver(background.copy(logoRect), Logo(logoRect.size(), false)), "logo.bmp");
    const QRect productRect(507, 549, 132, 56);
    Save(KeyedOver(background.copy(productRect), Logo(productRect.size(), true)), "product.bmp");
    Save(TimeBack(), "time_back.bmp");

    // The outline follows the background: a stale cache would keep the old one.
    std::filesystem::remove(outDir + "/window.rgn", ec);
    return failures == 0 ? 0 : 1;
}
