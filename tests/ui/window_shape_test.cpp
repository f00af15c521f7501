// The window outline: the exact window.rgn bytes, the fast method against
// the per-pixel one, the cache and its failures.
#include <gtest/gtest.h>

#include <QPainter>
#include <QRandomGenerator>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "shape_reference.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "ui/region_data.h"
#include "ui/window_shape.h"
#include "ui_test_support.h"

namespace {

using testing_support::ReadBytes;
using testing_support::WriteBytes;

using testing_support::TempDir;
using ui::ShapeRect;
using ui_test::kMagenta;

std::vector<std::uint8_t> Le32(std::initializer_list<std::int32_t> values)
{
    std::vector<std::uint8_t> out;
    for (std::int32_t v : values)
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> shift));
    return out;
}

TEST(WindowShape, BackgroundWithoutMagentaIsOneRectangleInTheFile)
{
    TempDir dir;
    ASSERT_TRUE(ui_test::WriteBmp(dir.File("backgr.bmp"), ui_test::Filled(7, 5, 0xFF102030)));
    ui_test::FakeWindow window;
    ASSERT_TRUE(ui::MakeShape(dir.Path().c_str(), "backgr.bmp", &window));
    EXPECT_EQ(ReadBytes(dir.File("window.rgn")), Le32({32, 1, 1, 16, 0, 0, 7, 5, 0, 0, 7, 5}));
    EXPECT_EQ(window.shape, QRegion(0, 0, 7, 5));
}

TEST(WindowShape, MagentaLeftColumnStartsEveryRowAtOne)
{
    TempDir dir;
    QImage image = ui_test::Filled(6, 4, 0xFF808080);
    for (int y = 0; y < 4; ++y)
        image.setPixel(0, y, kMagenta);
    ASSERT_TRUE(ui_test::WriteBmp(dir.File("backgr.bmp"), image));
    ui_test::FakeWindow window;
    ASSERT_TRUE(ui::MakeShape(dir.Path().c_str(), "backgr.bmp", &window));
    EXPECT_EQ(ReadBytes(dir.File("window.rgn")), Le32({32, 1, 1, 16, 1, 0, 6, 4, 1, 0, 6, 4}));

    // A hole and a notch: bands split where the runs differ.
    image = ui_test::Filled(6, 4, 0xFF808080);
    image.setPixel(2, 1, kMagenta);
    image.setPixel(5, 3, kMagenta);
    const std::vector<ShapeRect> expected = {{0, 0, 6, 1}, {0, 1, 2, 2}, {3, 1, 6, 2}, {0, 2, 6, 3}, {0, 3, 5, 4}};
    EXPECT_EQ(ui::ShapeFromImage(image), expected);
}

TEST(WindowShape, ScanlineBandsEqualThePerPixelUnion)
{
    // Rounded outlines, holes, isolated pixels and all-magenta rows.
    QImage image(120, 90, QImage::Format_RGB32);
    image.fill(kMagenta);
    {
        QPainter p(&image);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 50, 60));
        p.drawRoundedRect(QRect(3, 4, 110, 80), 17, 17);
        p.setBrush(QColor(255, 0, 255));
        p.drawEllipse(QRect(30, 30, 25, 19));
    }
    QRandomGenerator random(7);
    for (int i = 0; i < 300; ++i)
        image.setPixel(random.bounded(120), random.bounded(90), i % 2 ? kMagenta : 0xFF000000);
    for (int x = 0; x < 120; ++x)
        image.setPixel(x, 60, kMagenta);
    EXPECT_EQ(ui::ShapeFromImage(image), ui_test::ShapeByPixelUnion(image));
    EXPECT_TRUE(ui::IsBanded(ui::ShapeFromImage(image)));

    EXPECT_TRUE(ui::ShapeFromImage(ui_test::Filled(4, 4, kMagenta)).empty());
}

TEST(WindowShape, OurSkinBackgroundGivesThePerPixelShape)
{
    picture::TBitmap background;
    ASSERT_TRUE(background.Load(QUILLON_SOURCE_DIR "/skin/bmp", "backgr.bmp"));
    ASSERT_EQ(background.Width(), 925);
    ASSERT_EQ(background.Height(), 640);
    const auto fast = ui::ShapeFromImage(background.ToImage());
    EXPECT_EQ(fast, ui_test::ShapeByPixelUnion(background.ToImage()));
    // Not rectangular, and cacheable in the classic file size.
    EXPECT_GT(fast.size(), 4u);
    EXPECT_LE(ui::EncodeRegionData(fast).size(), ui::kClassicRegionFileBytes);
}

TEST(WindowShape, SecondStartReadsTheCacheNotTheBackground)
{
    TempDir dir;
    QImage image = ui_test::Filled(8, 8, 0xFF336699);
    image.setPixel(0, 0, kMagenta);
    ASSERT_TRUE(ui_test::WriteBmp(dir.File("backgr.bmp"), image));
    const ui::ShapeResult first = ui::LoadShape(dir.Path(), "backgr.bmp");
    ASSERT_TRUE(first.ok);
    EXPECT_FALSE(first.fromCache);
    EXPECT_TRUE(first.cacheWritten);

    // Without the background the cache alone gives the same outline.
    std::filesystem::remove(dir.File("backgr.bmp"));
    ui_test::FakeWindow window;
    ASSERT_TRUE(ui::MakeShape(dir.Path().c_str(), "backgr.bmp", &window));
    EXPECT_EQ(window.shape, ui::RegionFromRects(first.rects));
    const ui::ShapeResult second = ui::LoadShape(dir.Path(), "backgr.bmp");
    EXPECT_TRUE(second.fromCache);
    EXPECT_EQ(second.rects, first.rects);
}

// No file of the skin directory but the ones it started with.
std::vector<std::string> Names(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WindowShape, RefusedCacheIsComputedAgainAndRewritten)
{
    TempDir dir;
    QImage image = ui_test::Filled(8, 8, 0xFF336699);
    image.setPixel(7, 7, kMagenta);
    ASSERT_TRUE(ui_test::WriteBmp(dir.File("backgr.bmp"), image));
    const std::vector<ShapeRect> expected = ui::ShapeFromImage(image);
    const std::vector<std::vector<std::uint8_t>> bad = {
        {},                                                        // 0 bytes
        Le32({32, 1, 1, 16, 0, 0, 8, 8}),                          // count beyond the data
        Le32({40, 1, 1, 16, 0, 0, 8, 8, 0, 0, 8, 8}),              // header size
        Le32({32, 2, 1, 16, 0, 0, 8, 8, 0, 0, 8, 8}),              // type
        Le32({32, 1, -1, 16, 0, 0, 8, 8, 0, 0, 8, 8}),             // negative count
        Le32({32, 1, 0x10000000, 0, 0, 0, 8, 8, 0, 0, 8, 8}),      // count overflowing bytes
        Le32({32, 1, 1, 16, 0, 0, 8, 8, 5, 0, 2, 8}),              // empty rectangle
        Le32({32, 1, 2, 32, 0, 0, 8, 8, 0, 4, 8, 8, 0, 0, 8, 4}),  // bands out of order
        Le32({32, 1, 2, 32, 0, 0, 8, 8, 0, 0, 5, 8, 3, 0, 8, 8}),  // overlap in a band
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        WriteBytes(dir.File("window.rgn"), bad[i]);
        const ui::ShapeResult shape = ui::LoadShape(dir.Path(), "backgr.bmp");
        EXPECT_TRUE(shape.ok) << i;
        EXPECT_TRUE(shape.cacheRefused) << i;
        EXPECT_TRUE(shape.cacheWritten) << i;
        EXPECT_NE(shape.problem.find("window.rgn refused"), std::string::npos) << shape.problem;
        EXPECT_EQ(shape.rects, expected) << i;
        EXPECT_EQ(ReadBytes(dir.File("window.rgn")), ui::EncodeRegionData(expected)) << i;
        // The next start reads the mended cache.
        EXPECT_TRUE(ui::LoadShape(dir.Path(), "backgr.bmp").fromCache) << i;
    }

    // The same through MakeShape, onto a window; and a FIFO in the cache's
    // place is refused at once, never opened for a wait.
    std::filesystem::remove(dir.File("window.rgn"));
    ASSERT_EQ(::mkfifo(dir.File("window.rgn").c_str(), 0644), 0);
    ui_test::FakeWindow window;
    ASSERT_TRUE(ui::MakeShape(dir.Path().c_str(), "backgr.bmp", &window));
    EXPECT_EQ(window.shapes, 1);
    EXPECT_EQ(window.shape, ui::RegionFromRects(expected));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("window.rgn")));
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"backgr.bmp", "window.rgn"}));
}

TEST(WindowShape, UnwritableCacheStillShapesTheWindowAndSaysWhy)
{
    TempDir dir;
    QImage image = ui_test::Filled(10, 6, 0xFF445566);
    image.setPixel(9, 0, kMagenta);
    ASSERT_TRUE(ui_test::WriteBmp(dir.File("backgr.bmp"), image));
    // A directory where window.rgn goes: refused as a cache, and the new one
    // can't be renamed over it (root writes anywhere, so a read-only mode
    // proves nothing here).
    std::filesystem::create_directories(dir.File("window.rgn/inside"));
    const ui::ShapeResult shape = ui::LoadShape(dir.Path(), "backgr.bmp");
    EXPECT_TRUE(shape.ok);
    EXPECT_TRUE(shape.cacheRefused);
    EXPECT_FALSE(shape.cacheWritten);
    EXPECT_EQ(shape.problem.rfind("cannot write " + dir.File("window.rgn") + ": ", 0), 0u) << shape.problem;
    ui_test::FakeWindow window;
    ASSERT_TRUE(ui::MakeShape(dir.Path().c_str(), "backgr.bmp", &window));
    EXPECT_EQ(window.shapes, 1);
    EXPECT_EQ(window.shape, ui::RegionFromRects(ui::ShapeFromImage(image)));
    // No temporary file is left behind.
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"backgr.bmp", "window.rgn"}));

    if (::geteuid() != 0) {
        TempDir readOnly;
        ASSERT_TRUE(ui_test::WriteBmp(readOnly.File("backgr.bmp"), image));
        std::filesystem::permissions(readOnly.Path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::remove);
        const ui::ShapeResult shape = ui::LoadShape(readOnly.Path(), "backgr.bmp");
        std::filesystem::permissions(readOnly.Path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        EXPECT_TRUE(shape.ok);
        EXPECT_FALSE(shape.cacheWritten);
        EXPECT_EQ(shape.problem, "");
    }
}

TEST(WindowShape, MissingBackgroundGivesNoShapeAndNoCache)
{
    TempDir dir;
    ui_test::FakeWindow window;
    EXPECT_FALSE(ui::MakeShape(dir.Path().c_str(), "backgr.bmp", &window));
    EXPECT_FALSE(ui::MakeShape(nullptr, "backgr.bmp", &window));
    EXPECT_EQ(window.shapes, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("window.rgn")));
}

TEST(WindowShape, ShapesBeyondTheClassicLimitAreCachedWholeOrKeptInMemory)
{
    TempDir dir;
    // Every other pixel of a row magenta: width/2 runs per row, rows alike.
    auto stripes = [](int width, int height, bool checker) {
        QImage image = ui_test::Filled(width, height, 0xFF202020);
        for (int y = 0; y < height; ++y)
            for (int x = (checker ? y % 2 : 0); x < width; x += 2)
                image.setPixel(x, y, kMagenta);
        return image;
    };
    // 1200 rectangles: far over 8192 bytes, written and read back whole.
    QImage big = stripes(40, 60, true);
    ASSERT_TRUE(ui_test::WriteBmp(dir.File("backgr.bmp"), big));
    const ui::ShapeResult written = ui::LoadShape(dir.Path(), "backgr.bmp");
    ASSERT_TRUE(written.ok);
    EXPECT_EQ(written.rects.size(), 1200u);
    EXPECT_TRUE(written.cacheWritten);
    EXPECT_EQ(ReadBytes(dir.File("window.rgn")).size(), 32u + 16u * 1200u);
    const ui::ShapeResult read = ui::LoadShape(dir.Path(), "backgr.bmp");
    EXPECT_TRUE(read.fromCache);
    EXPECT_EQ(read.rects, written.rects);

    // Past the largest cache file: the shape is used, the file not written.
    TempDir huge;
    ASSERT_TRUE(ui_test::WriteBmp(huge.File("backgr.bmp"), stripes(600, 240, true)));
    const ui::ShapeResult inMemory = ui::LoadShape(huge.Path(), "backgr.bmp");
    EXPECT_TRUE(inMemory.ok);
    EXPECT_EQ(inMemory.rects.size(), 300u * 240u);
    EXPECT_FALSE(inMemory.cacheWritten);
    EXPECT_FALSE(std::filesystem::exists(huge.File("window.rgn")));
}

TEST(RegionData, EncodeDecodeRoundTripAndBound)
{
    const std::vector<ShapeRect> rects = {{2, 0, 9, 3}, {1, 3, 4, 5}, {6, 3, 10, 5}};
    const auto bytes = ui::EncodeRegionData(rects);
    ASSERT_EQ(bytes.size(), 32u + 48u);
    const auto header = Le32({32, 1, 3, 48, 1, 0, 10, 5});
    EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
    std::vector<ShapeRect> back;
    ASSERT_TRUE(ui::DecodeRegionData(bytes, back));
    EXPECT_EQ(back, rects);
    // An empty shape: no rectangles, an empty bound.
    EXPECT_EQ(ui::EncodeRegionData({}), Le32({32, 1, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
