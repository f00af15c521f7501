// quillon-skingen: draws the program's own skin and writes it as BMP files,
// with the program's icon as quillon.png, into a directory (the repository
// keeps its output in skin/bmp).
//   quillon-skingen OUTDIR
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "background_art.h"
#include "icons.h"
#include "layout.h"
#include "picture/tbitmap.h"
#include "skin_art.h"
#include "small_art.h"

namespace {

using namespace skingen;

std::string outDir;
int failures = 0;

void Save(const QImage& source, const char* name)
{
    picture::TBitmap bitmap;
    if (!bitmap.FromImage(source)) {
        ++failures;
        return;
    }
    const std::string path = outDir + "/" + name;
    if (!bitmap.SaveBmp(path.c_str(), false)) {
        std::fprintf(stderr, "quillon-skingen: cannot write %s\n", path.c_str());
        ++failures;
    }
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
    add("Snap", QRect(665, 96, 100, 44), Rounded({100, 44}, 6),
        Labelled(icons::Camera, QStringLiteral("SNAP"), 32, 11));
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
    // The icon keeps its transparency: PNG, not one of the skin's BMPs.
    const std::string iconPath = outDir + "/quillon.png";
    if (!AppIcon().save(QString::fromStdString(iconPath), "PNG")) {
        std::fprintf(stderr, "quillon-skingen: cannot write %s\n", iconPath.c_str());
        ++failures;
    }

    // The outline follows the background: a stale cache would keep the old one.
    std::filesystem::remove(outDir + "/window.rgn", ec);
    return failures == 0 ? 0 : 1;
}