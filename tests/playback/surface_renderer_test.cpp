#include "platform/window_surface.h"
#include "playback/video_presenter.h"
#include "playback/view_layout.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using playback::CellRect;
using playback::QuadCells;
using playback::SurfaceRenderer;
using playback::VideoPresenter;

namespace {

constexpr QRgb kNoPicture = 0xff640000u;
constexpr QRgb kUntouched = 0xff123456u;

struct Yuv {
    uint8_t y, u, v;
};
// BT.601 studio-range values of full-range colours.
constexpr Yuv kWhite{235, 128, 128};
constexpr Yuv kBlack{16, 128, 128};
constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kGreen{145, 54, 34};
constexpr Yuv kBlue{41, 240, 110};
constexpr Yuv kGrey{126, 128, 128};  // about RGB(128, 128, 128)

// A YUY2 picture of one colour, with corner marks: a white block top left
// and a black block bottom right, each an eighth of each side.
std::vector<uint8_t> Picture(int width, int height, Yuv fill)
{
    std::vector<uint8_t> p(std::size_t(width) * height * 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += 2) {
            Yuv c = fill;
            if (x < width / 8 && y < height / 8)
                c = kWhite;
            if (x >= width - width / 8 && y >= height - height / 8)
                c = kBlack;
            uint8_t* q = &p[(std::size_t(y) * width + x) * 2];
            q[0] = c.y;
            q[1] = c.u;
            q[2] = c.y;
            q[3] = c.v;
        }
    return p;
}

void Prefill(platform::WindowSurface& window)
{
    auto context = window.Draw();
    context.Image().fill(kUntouched);
}

bool Near(QRgb got, int r, int g, int b, int tolerance = 6)
{
    return std::abs(qRed(got) - r) <= tolerance && std::abs(qGreen(got) - g) <= tolerance &&
           std::abs(qBlue(got) - b) <= tolerance && qAlpha(got) == 255;
}

::testing::AssertionResult Colour(const QImage& image, int x, int y, int r, int g, int b)
{
    const QRgb got = image.pixel(x, y);
    if (Near(got, r, g, b))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << std::hex << got
                                         << ", expected about " << std::dec << r << "," << g << "," << b;
}

// Checks that the cell shows the test picture stretched onto it: the body
// colour in the middle, white just inside the top-left corner, black just
// inside the bottom-right one.
void ExpectPictureIn(const QImage& image, const CellRect& cell, int r, int g, int b)
{
    EXPECT_TRUE(Colour(image, (cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2, r, g, b));
    EXPECT_TRUE(Colour(image, cell.left + 2, cell.top + 2, 255, 255, 255));
    EXPECT_TRUE(Colour(image, cell.right - 3, cell.bottom - 3, 0, 0, 0));
    // The marks end where an eighth of the cell ends, whatever the picture size.
    EXPECT_TRUE(Colour(image, cell.left + cell.Width() / 8 + 3, cell.top + 2, r, g, b));
}

}  // namespace

TEST(QuadCells, QuartersTruncatedForOddSizes)
{
    const auto cells = QuadCells(640, 480);
    EXPECT_EQ(cells[0], (CellRect{0, 0, 320, 240}));
    EXPECT_EQ(cells[1], (CellRect{320, 0, 640, 240}));
    EXPECT_EQ(cells[2], (CellRect{0, 240, 320, 480}));
    EXPECT_EQ(cells[3], (CellRect{320, 240, 640, 480}));
    const auto odd = QuadCells(641, 481);
    EXPECT_EQ(odd[3], (CellRect{320, 240, 640, 480}));
}

// Each camera lands in its own cell of a 640 x 480 view, shrunk from either
// picture width; nothing outside the cell changes.
TEST(Present, QuadViewPutsCameraNInCellN)
{
    platform::WindowSurface window(640, 480);
    Prefill(window);
    VideoPresenter presenter;
    const auto cells = QuadCells(640, 480);
    const Yuv colours[] = {kRed, kGreen, kBlue, kGrey};
    const int rgb[][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {128, 128, 128}};
    const int widths[] = {352, 720, 352, 720};
    const int heights[] = {240, 288, 288, 240};
    for (int camera = 0; camera < 4; ++camera) {
        const auto picture = Picture(widths[camera], heights[camera], colours[camera]);
        EXPECT_EQ(presenter.Present(&window, VideoPresenter::kQuadView, cells, camera, picture, widths[camera],
                                    heights[camera]),
                  1);
        const QImage image = window.Copy();
        for (int other = camera + 1; other < 4; ++other)
            EXPECT_EQ(image.pixel(cells[other].left + 5, cells[other].top + 5), kUntouched) << other;
    }
    const QImage image = window.Copy();
    for (int camera = 0; camera < 4; ++camera) {
        SCOPED_TRACE(camera);
        ExpectPictureIn(image, cells[camera], rgb[camera][0], rgb[camera][1], rgb[camera][2]);
    }
}

TEST(Present, NoPictureFillsOnlyItsCell)
{
    platform::WindowSurface window(640, 480);
    Prefill(window);
    VideoPresenter presenter;
    const auto cells = QuadCells(640, 480);
    EXPECT_EQ(presenter.Present(&window, VideoPresenter::kQuadView, cells, 2, {}, 352, 240), 1);
    const QImage image = window.Copy();
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const bool inCell = x < 320 && y >= 240;
            ASSERT_EQ(image.pixel(x, y), inCell ? kNoPicture : kUntouched) << x << "," << y;
        }
}

TEST(Present, OneCameraViewFillsTheWindow)
{
    platform::WindowSurface window(640, 480);
    Prefill(window);
    VideoPresenter presenter;
    const auto cells = QuadCells(640, 480);
    for (const int width : {352, 720}) {
        const auto picture = Picture(width, 288, kBlue);
        EXPECT_EQ(presenter.Present(&window, VideoPresenter::kSingleView, cells, 3, picture, width, 288), 1);
        ExpectPictureIn(window.Copy(), CellRect{0, 0, 640, 480}, 0, 0, 255);
    }
    EXPECT_EQ(presenter.Present(&window, VideoPresenter::kSingleView, cells, 1, {}, 352, 288), 1);
    const QImage image = window.Copy();
    EXPECT_EQ(image.pixel(0, 0), kNoPicture);
    EXPECT_EQ(image.pixel(639, 479), kNoPicture);
}

// An odd window: cells of equal size, the last column and row left alone.
TEST(Present, OddWindowLeavesLastColumnAndRow)
{
    platform::WindowSurface window(641, 481);
    Prefill(window);
    VideoPresenter presenter;
    const auto cells = QuadCells(641, 481);
    for (int camera = 0; camera < 4; ++camera)
        presenter.Present(&window, VideoPresenter::kQuadView, cells, camera, {}, 352, 240);
    const QImage image = window.Copy();
    EXPECT_EQ(image.pixel(639, 479), kNoPicture);
    for (int y = 0; y < 481; ++y)
        EXPECT_EQ(image.pixel(640, y), kUntouched);
    for (int x = 0; x < 641; ++x)
        EXPECT_EQ(image.pixel(x, 480), kUntouched);
}

// The window asks for a repaint of exactly what was drawn, after the image
// is unlocked (the hook may read the image).
TEST(Present, RepaintHookGetsTheCell)
{
    platform::WindowSurface window(640, 480);
    std::vector<QRect> repainted;
    window.SetRepaintHook([&](const QRect& r) {
        repainted.push_back(r);
        (void)window.Copy();
    });
    VideoPresenter presenter;
    const auto picture = Picture(352, 240, kRed);
    presenter.Present(&window, VideoPresenter::kQuadView, QuadCells(640, 480), 1, picture, 352, 240);
    ASSERT_EQ(repainted.size(), 1u);
    EXPECT_EQ(repainted[0], QRect(320, 0, 320, 240));
}

TEST(Present, RefusesMalformedInputAndClipsToTheWindow)
{
    platform::WindowSurface window(640, 480);
    Prefill(window);
    VideoPresenter presenter;
    const auto cells = QuadCells(640, 480);
    const auto picture = Picture(352, 240, kRed);
    const std::span<const uint8_t> shortPicture(picture.data(), picture.size() - 1);
    EXPECT_EQ(presenter.Present(&window, VideoPresenter::kQuadView, cells, 0, shortPicture, 352, 240), 0);
    EXPECT_EQ(presenter.Present(&window, VideoPresenter::kQuadView, cells, 0, picture, 351, 240), 0);
    EXPECT_EQ(presenter.Present(&window, VideoPresenter::kQuadView, cells, 4, picture, 352, 240), 0);
    EXPECT_EQ(presenter.Present(nullptr, VideoPresenter::kQuadView, cells, 0, picture, 352, 240), 0);
    EXPECT_EQ(window.Copy().pixel(10, 10), kUntouched);

    // Cells computed for a larger window than the one now shown: the visible
    // part of the stretched picture is drawn, nothing past the image.
    const auto bigCells = QuadCells(1000, 800);
    EXPECT_EQ(presenter.Present(&window, VideoPresenter::kQuadView, bigCells, 3, picture, 352, 240), 1);
    EXPECT_TRUE(Colour(window.Copy(), 600, 460, 255, 0, 0));
    EXPECT_TRUE(Colour(window.Copy(), 510, 410, 255, 255, 255));
    EXPECT_EQ(window.Copy().pixel(499, 479), kUntouched);

    platform::WindowSurface empty(0, 0);
    EXPECT_EQ(presenter.Present(&empty, VideoPresenter::kQuadView, cells, 0, picture, 352, 240), 0);
}

// The playback timer presents while the window's thread redraws and the GUI
// copies the image out; each camera ends up whole in its own cell.
TEST(Present, ConcurrentPresentersAndReader)
{
    platform::WindowSurface window(640, 480);
    VideoPresenter presenter;
    const auto cells = QuadCells(640, 480);
    const Yuv colours[] = {kRed, kGreen, kBlue, kGrey};
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop)
            (void)window.Copy();
    });
    std::vector<std::thread> threads;
    for (int camera = 0; camera < 4; ++camera)
        threads.emplace_back([&, camera] {
            const auto picture = Picture(camera % 2 ? 720 : 352, 240, colours[camera]);
            for (int i = 0; i < 50; ++i)
                presenter.Present(&window, VideoPresenter::kQuadView, cells, camera, picture, camera % 2 ? 720 : 352,
                                  240);
        });
    for (auto& t : threads)
        t.join();
    stop = true;
    reader.join();
    const QImage image = window.Copy();
    const int rgb[][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {128, 128, 128}};
    for (int camera = 0; camera < 4; ++camera)
        ExpectPictureIn(image, cells[camera], rgb[camera][0], rgb[camera][1], rgb[camera][2]);
}
