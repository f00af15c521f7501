// The one-camera view's enlargement: the part seen and its limits, the
// pixels drawn (the recorded pixels in blocks, or a smoothed blend), and
// that the engine's pictures for snapshots, print and export stay whole.
#include "engine_harness.h"
#include "export/snapshot.h"
#include "playback/surface_renderer.h"
#include "playback/view_zoom.h"
#include "support/allocation_counter.h"

#include <random>
#include <set>

using engine_test::EngineTest;
using playback::CellRect;
using playback::PlaybackEngine;
using playback::SurfaceRenderer;
using playback::ViewZoom;

namespace {

TEST(ViewZoomTest, ZoomKeepsThePointUnderThePointerAndStaysInThePicture)
{
    const ViewZoom whole;
    const ViewZoom four = playback::ZoomAbout(whole, 4, 0.25, 0.75);
    EXPECT_DOUBLE_EQ(four.factor, 4);
    // The picture's point (0.25, 0.75) stays at the view's (0.25, 0.75).
    EXPECT_DOUBLE_EQ(four.left + 0.25 / 4, 0.25);
    EXPECT_DOUBLE_EQ(four.top + 0.75 / 4, 0.75);
    const ViewZoom eight = playback::ZoomAbout(four, 100, 0.5, 0.5);
    EXPECT_DOUBLE_EQ(eight.factor, ViewZoom::kMaxFactor) << "8x at most";
    EXPECT_DOUBLE_EQ(eight.left + 0.5 / 8, four.left + 0.5 / 4);

    const ViewZoom corner = playback::ZoomAbout(whole, 2, 0.0, 1.0);
    EXPECT_DOUBLE_EQ(corner.left, 0);
    EXPECT_DOUBLE_EQ(corner.top, 0.5) << "zoomed about the bottom-left corner";
    const ViewZoom dragged = playback::Pan(corner, -10, -10);
    EXPECT_DOUBLE_EQ(dragged.left, 0.5) << "a pan stops at the picture's edge";
    EXPECT_DOUBLE_EQ(dragged.top, 0.5);
    EXPECT_DOUBLE_EQ(playback::Pan(corner, -0.5, 0).left, 0.25) << "half the view at 2x: a quarter of the picture";

    EXPECT_TRUE(playback::ZoomAbout(four, 0.5, 0.5, 0.5).Whole()) << "below 1: the whole picture";
    EXPECT_EQ(playback::ZoomAbout(four, 0.5, 0.5, 0.5).left, 0);
    EXPECT_TRUE(playback::ZoomAbout(whole, std::nan(""), 0.5, 0.5).Whole());
}

class ZoomedPixels : public ::testing::Test {
protected:
    static constexpr int kWidth = 352, kHeight = 240;

    void SetUp() override
    {
        // Noise: every picture pixel differs from its neighbours.
        std::mt19937 random(7);
        picture.resize(kWidth * kHeight * 2);
        for (auto& b : picture)
            b = static_cast<uint8_t>(16 + random() % 220);
        // The picture at its own size is what every enlargement must take its pixels from.
        SurfaceRenderer plain;
        ASSERT_EQ(plain.Create(&reference), 0);
        ASSERT_EQ(plain.Present(picture, kWidth, kHeight, {0, 0, kWidth, kHeight}), 1);
        ASSERT_EQ(renderer.Create(&view), 0);
    }
    QImage Zoomed(const ViewZoom& zoom)
    {
        EXPECT_EQ(renderer.PresentZoomed(picture, kWidth, kHeight, {0, 0, 640, 480}, zoom), 1);
        return view.Copy();
    }

    std::vector<uint8_t> picture;
    platform::WindowSurface reference{kWidth, kHeight};
    platform::WindowSurface view{640, 480};
    SurfaceRenderer renderer;
};

TEST_F(ZoomedPixels, NearestNeighbourShowsTheRecordedPixelsInBlocks)
{
    const ViewZoom zoom = playback::ZoomAbout({}, 8, 0.3, 0.6);
    const QImage shown = Zoomed(zoom);
    const QImage source = reference.Copy();
    const double x0 = zoom.left * kWidth, y0 = zoom.top * kHeight;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const int sx = int(x0 + (x + 0.5) * (kWidth / 8.0) / 640);
            const int sy = int(y0 + (y + 0.5) * (kHeight / 8.0) / 480);
            ASSERT_EQ(shown.pixel(x, y), source.pixel(sx, sy)) << "at " << x << ", " << y;
        }
    // Along a row, runs of equal pixels as wide as a picture pixel at 8x: 14 or 15 (640 / 44).
    std::set<int> runs;
    int run = 1;
    for (int x = 1; x < 640; ++x, ++run)
        if (shown.pixel(x, 200) != shown.pixel(x - 1, 200)) {
            runs.insert(run);
            run = 0;
        }
    runs.erase(runs.begin());  // the first run may be cut by the view's edge
    EXPECT_EQ(*runs.begin(), 14);
    EXPECT_EQ(*runs.rbegin(), 15);
}

TEST_F(ZoomedPixels, SmoothingBlendsNeighboursAndTheWholePictureIsUnchanged)
{
    ViewZoom zoom = playback::ZoomAbout({}, 8, 0.5, 0.5);
    zoom.smooth = true;
    const QImage smooth = Zoomed(zoom);
    const QImage source = reference.Copy();
    std::set<QRgb> colours;
    for (int x = 0; x < 640; ++x)
        colours.insert(smooth.pixel(x, 240));
    EXPECT_GT(colours.size(), 300u) << "a blend, not 44 blocks";
    // Each blended pixel lies between the picture pixels around its point.
    const double x0 = zoom.left * kWidth, y0 = zoom.top * kHeight;
    for (int x = 5; x < 635; x += 7) {
        const double fx = x0 + (x + 0.5) * (kWidth / 8.0) / 640 - 0.5;
        const double fy = y0 + (240 + 0.5) * (kHeight / 8.0) / 480 - 0.5;
        const int sx = int(std::floor(fx)), sy = int(std::floor(fy));
        int low = 255, high = 0;
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) {
                const int g = qGreen(source.pixel(sx + dx, sy + dy));
                low = std::min(low, g);
                high = std::max(high, g);
            }
        const int g = qGreen(smooth.pixel(x, 240));
        EXPECT_GE(g, low - 1) << x;
        EXPECT_LE(g, high + 1) << x;
    }
    // Factor 1 is the presentation of whole pictures, as before.
    const QImage whole = Zoomed({});
    SurfaceRenderer plain;
    platform::WindowSurface unzoomed{640, 480};
    ASSERT_EQ(plain.Create(&unzoomed), 0);
    ASSERT_EQ(plain.Present(picture, kWidth, kHeight, {0, 0, 640, 480}), 1);
    EXPECT_EQ(whole, unzoomed.Copy());
}

TEST_F(EngineTest, ZoomIsTheOneCameraViewsOnlyAndPicturesStayWhole)
{
    Open(0);
    engine->SetView(PlaybackEngine::kSingleView, 1);
    ASSERT_EQ(CodeInWindow(), (mkdisk::FrameCode{1, 0, 0}));
    engine->SetZoom(playback::ZoomAbout({}, 8, 0, 0));  // the top-left corner: the frame code is out of sight
    EXPECT_FALSE(CodeInWindow()) << "a halted engine shows the zoom at once";
    EXPECT_EQ(mkdisk::DecodeFrameCodeYuy2(engine->Picture(1).data(), 352, 240), (mkdisk::FrameCode{1, 0, 0}))
        << "export takes the whole picture";
    std::vector<uint8_t> captured(640 * 480 * 3);
    ASSERT_EQ(exporter::CapturePicture(*engine, captured, exporter::kSnapshotBackground), 1);
    EXPECT_EQ(mkdisk::DecodeFrameCodeRgb(captured.data(), 640, 480, 640 * 3, 3), (mkdisk::FrameCode{1, 0, 0}))
        << "snapshots and print compose the whole picture";

    engine->PlayForward();
    timer->Fire(3);  // the first zoomed pictures make the renderer's buffers
    const long before = testing_support::allocations.load();
    timer->Fire(20);
    EXPECT_EQ(testing_support::allocations.load() - before, 0) << "zoomed play allocates nothing";
    EXPECT_FALSE(CodeInWindow());
    EXPECT_EQ(mkdisk::DecodeFrameCodeYuy2(engine->Picture(1).data(), 352, 240), (mkdisk::FrameCode{1, 0, 23}));
    engine->Halt();

    engine->SetView(PlaybackEngine::kQuadView, 0);
    EXPECT_TRUE(engine->Zoom().Whole()) << "the view buttons return to the whole picture";
    EXPECT_EQ(CodeInCell(1), (mkdisk::FrameCode{1, 0, 0}));
    ViewZoom smooth = playback::ZoomAbout({}, 2, 0.5, 0.5);
    smooth.smooth = true;
    engine->SetView(PlaybackEngine::kSingleView, 1);
    engine->SetZoom(smooth);
    engine->SetView(PlaybackEngine::kQuadView, 0);
    EXPECT_TRUE(engine->Zoom().Whole());
    EXPECT_TRUE(engine->Zoom().smooth) << "the smoothing choice outlives the zoom";
}

}  // namespace
