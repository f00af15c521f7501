// Our own skin as shipped: every picture the program loads, readable by a
// BMP reader nobody here wrote, sized and placed to fit the window, and
// Tooltip.ini with a text for every line.
#include <gtest/gtest.h>

#include <QImage>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "picture/tbitmap.h"
#include "ui/main_skin.h"

namespace {

const std::string kSkin = QUILLON_SOURCE_DIR "/skin/bmp";

QImage Load(const std::string& file)
{
    picture::TBitmap bitmap;
    if (!bitmap.Load(kSkin.c_str(), file.c_str()))
        return {};
    return bitmap.ToImage().convertToFormat(QImage::Format_RGB32);
}

bool IsMagenta(QRgb pixel) { return (pixel & 0xFFFFFF) == 0xFF00FF; }

std::string Output(const std::string& command)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get()))
        out += buffer;
    return out;
}

std::vector<std::string> AllPictureNames()
{
    std::vector<std::string> names = {"backgr.bmp",        "Thumb-up.bmp",    "Time-Axis.bmp", "Vol-Axis.bmp",
                                      "segment_begin.bmp", "segment_end.bmp", "time_back.bmp"};
    for (const auto& b : ui::MainSkinButtons())
        for (const char* file : b.pictures)
            if (file)
                names.emplace_back(file);
    return names;
}

TEST(OurSkin, EveryPictureIsABmpThatImageMagickReadsAtOurSize)
{
    const auto names = AllPictureNames();
    EXPECT_EQ(names.size(), 93u);
    std::string command = "cd '" + kSkin + "' && identify -format '%m %wx%h\\n'";
    for (const auto& name : names)
        command += " '" + name + "'";
    const std::string out = Output(command + " 2>&1");
    std::size_t lines = 0;
    for (std::size_t at = 0; at < out.size() && lines < names.size(); at = out.find('\n', at) + 1, ++lines) {
        const QImage ours = Load(names[lines]);
        const std::string expected = "BMP3 " + std::to_string(ours.width()) + "x" + std::to_string(ours.height());
        EXPECT_EQ(out.substr(at, out.find('\n', at) - at), expected) << names[lines];
    }
    EXPECT_EQ(lines, names.size());
}

TEST(OurSkin, BackgroundLeavesRoomAndHasAShapedOutline)
{
    const QImage background = Load("backgr.bmp");
    ASSERT_EQ(background.size(), QSize(925, 640));
    for (QPoint corner : {QPoint(0, 0), QPoint(924, 0), QPoint(0, 639), QPoint(924, 639)})
        EXPECT_TRUE(IsMagenta(background.pixel(corner)));
    // Inside the outline wherever the program draws: video view, time panel
    // and speed box.
    for (QRect r :
         {QRect(QPoint(8, 31), QPoint(647, 510)), QRect(470, 512, 172, 26), QRect(QPoint(682, 519), QPoint(709, 537))})
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                ASSERT_FALSE(IsMagenta(background.pixel(x, y))) << x << "," << y;
    const QImage timeBack = Load("time_back.bmp");
    EXPECT_EQ(timeBack.size(), QSize(172, 26));
}

TEST(OurSkin, ButtonsFitTheOutlineDoNotOverlapAndShowTheirStates)
{
    const QImage background = Load("backgr.bmp");
    const auto& table = ui::MainSkinButtons();
    std::vector<QRect> placed;
    for (const auto& b : table) {
        const QImage up = Load(b.pictures[0]);
        ASSERT_FALSE(up.isNull()) << b.pictures[0];
        const QRect rect(QPoint(b.x, b.y), up.size());
        // Every drawn pixel lies on the window, and the button is no blank.
        int drawn = 0;
        for (int y = 0; y < up.height(); ++y)
            for (int x = 0; x < up.width(); ++x)
                if (!IsMagenta(up.pixel(x, y))) {
                    ++drawn;
                    ASSERT_FALSE(IsMagenta(background.pixel(b.x + x, b.y + y))) << b.pictures[0];
                }
        // Buttons are solid faces; the logos are lettering.
        EXPECT_GT(drawn, up.width() * up.height() / (b.pictures[1] ? 2 : 10)) << b.pictures[0];
        for (const QRect& other : placed)
            EXPECT_FALSE(rect.intersects(other)) << b.pictures[0];
        placed.push_back(rect);

        std::set<std::string> looks;
        for (const char* file : b.pictures) {
            if (!file)
                continue;
            const QImage picture = Load(file);
            EXPECT_EQ(picture.size(), up.size()) << file;
            looks.insert(std::string(reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes()));
        }
        EXPECT_EQ(looks.size(), b.pictures[1] ? 4u : 1u) << b.pictures[0];
    }
}

TEST(OurSkin, SlidersShareTheirThumbAndStayOutOfTheButtonsWay)
{
    const QImage thumb = Load("Thumb-up.bmp");
    const QImage timeAxis = Load("Time-Axis.bmp");
    const QImage volumeAxis = Load("Vol-Axis.bmp");
    ASSERT_FALSE(thumb.isNull());
    EXPECT_EQ(thumb.height(), timeAxis.height());
    EXPECT_EQ(thumb.height(), volumeAxis.height());
    const QRect time(QPoint(17, 519), timeAxis.size());
    const QRect volume(QPoint(54, 567), volumeAxis.size());
    EXPECT_LT(time.right(), 470);  // left of the time panel
    for (const auto& b : ui::MainSkinButtons()) {
        const QRect rect(QPoint(b.x, b.y), Load(b.pictures[0]).size());
        EXPECT_FALSE(rect.intersects(time)) << b.name;
        EXPECT_FALSE(rect.intersects(volume)) << b.name;
    }
    for (const char* mark : {"segment_begin.bmp", "segment_end.bmp"})
        EXPECT_LE(Load(mark).height(), timeAxis.height()) << mark;
}

TEST(OurSkin, TooltipIniHasATextForEveryLine)
{
    std::ifstream in(QUILLON_SOURCE_DIR "/skin/Tooltip.ini", std::ios::binary);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        ++count;
        EXPECT_FALSE(line.empty()) << count;
        EXPECT_EQ(line.find('\r'), std::string::npos) << count;
        EXPECT_LT(line.size(), 256u) << count;
    }
    EXPECT_EQ(count, 28);
}

}  // namespace
