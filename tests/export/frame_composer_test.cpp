// The export's composition straight in YUV 4:2:0: the same pictures as the
// window's RGB composition (what snapshots keep), the no-picture colour where
// a camera has no video, the burnt-in time, and cells that never spill.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "export/frame_composer.h"
#include "export/picture_composer.h"
#include "export/snapshot.h"
#include "platform/decode_api.h"
#include "playback/engine_harness.h"
#include "playback/plane_renderer.h"
#include "support/succeeded.h"

namespace {

using playback::PlaybackEngine;

constexpr int kWidth = 640, kHeight = 480;

class FrameComposerTest : public engine_test::EngineTest {
protected:
    static void SetUpTestSuite()
    {
        EngineTest::SetUpTestSuite();
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan r;
        r.begin = {2006, 3, 15, 23, 59, 30};
        r.seconds = 3;
        plan.records.push_back(r);  // 0: every camera
        r.videoCameras = 0xE;
        plan.records.push_back(r);  // 1: camera 1 without video
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("engine.img"))));
    }

    // The frame composed over a buffer that held `before` in every byte.
    std::vector<uint8_t> Yuv(int position, uint8_t before = 0, int width = kWidth, int height = kHeight)
    {
        exporter::FrameComposer composer;
        EXPECT_TRUE(composer.Setup(width, height, exporter::kSnapshotBackground));
        std::vector<uint8_t> out(composer.FrameBytes(), before);
        EXPECT_TRUE(composer.Compose(*engine, engine->StampAt(position), out));
        return out;
    }
    std::vector<uint8_t> Rgb(int position)
    {
        exporter::PictureComposer composer;
        EXPECT_TRUE(composer.Setup(kWidth, kHeight, exporter::kSnapshotBackground));
        composer.Compose(*engine, engine->StampAt(position), exporter::PictureComposer::Stamp::FrameCorner);
        std::vector<uint8_t> out(size_t(kWidth) * kHeight * 3);
        EXPECT_TRUE(composer.CopyOut(out, size_t(kWidth) * 3, false));
        return out;
    }
};

// BT.601 studio-range YUV to full-range blue, green, red.
std::array<int, 3> ToBgr(const std::vector<uint8_t>& yuv, int x, int y)
{
    const platform::YuvPlanes p = platform::PlanesIn(const_cast<std::vector<uint8_t>&>(yuv), kWidth, kHeight);
    const double l = 1.164 * (p.y[y * kWidth + x] - 16);
    const double u = p.u[(y / 2) * p.chromaWidth + x / 2] - 128.0, v = p.v[(y / 2) * p.chromaWidth + x / 2] - 128.0;
    const auto c = [](double d) { return int(std::clamp(std::lround(d), 0L, 255L)); };
    return {c(l + 2.017 * u), c(l - 0.392 * u - 0.813 * v), c(l + 1.596 * v)};
}

TEST_F(FrameComposerTest, TheFrameIsTheWindowsPictureInBothViews)
{
    for (const int view : {PlaybackEngine::kQuadView, PlaybackEngine::kSingleView}) {
        SCOPED_TRACE(view == PlaybackEngine::kQuadView ? "quad" : "camera 3");
        Open(0);
        engine->SetView(view, 2);
        engine->ShowPosition(1, true, true);
        const auto yuv = Yuv(1);
        const auto rgb = Rgb(1);
        double sum = 0;
        int far = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const auto bgr = ToBgr(yuv, x, y);
                for (int i = 0; i < 3; ++i) {
                    const int d = std::abs(bgr[i] - rgb[(size_t(y) * kWidth + x) * 3 + i]);
                    sum += d;
                    far += d > 48;
                }
            }
        // Colour edges differ where chroma is shared by two rows (the RGB
        // composition converts pixel by pixel); everything else agrees.
        EXPECT_LT(sum / (kWidth * kHeight * 3.0), 2.0);
        EXPECT_LT(far, kWidth * kHeight * 3 / 500);
    }
}

TEST_F(FrameComposerTest, ACameraWithoutVideoIsTheNoPictureColourUnderTheTime)
{
    Open(1);
    engine->SetView(PlaybackEngine::kQuadView, 0);
    engine->ShowPosition(1, true, true);
    ASSERT_FALSE(engine->HasPicture(0));
    const auto first = Yuv(1);
    const auto later = Yuv(2);  // another stamp over the same pictures
    const platform::YuvPlanes p = platform::PlanesIn(const_cast<std::vector<uint8_t>&>(first), kWidth, kHeight);
    const auto background = ToBgr(first, 300, 200);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(background[i], 5, 2);
    // Below the stamp camera 1's cell is that colour alone; the stamp is
    // white text over it, and a second later its text differs there only.
    int white = 0, differ = 0, differBelow = 0;
    const int stampRows = 40;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const uint8_t l = p.y[y * kWidth + x];
            if (y >= stampRows) {
                ASSERT_EQ(l, p.y[200 * kWidth + 300]) << x << "," << y;
            }
            white += l > 200;
            const bool d = l != later[size_t(y) * kWidth + x];
            (y < stampRows ? differ : differBelow) += d;
        }
    EXPECT_GT(white, 20);
    EXPECT_GT(differ, 0);
    EXPECT_EQ(differBelow, 0);
}

// The background is left out where the pictures cover the frame: what a
// reused frame buffer held before never shows, whatever the view, a camera
// without video or cells of odd size.
TEST_F(FrameComposerTest, NothingOfTheLastFrameShowsThrough)
{
    struct Case {
        const char* name;
        int record, view, camera, width, height;
    };
    for (const Case& c : {Case{"quad", 0, PlaybackEngine::kQuadView, 0, kWidth, kHeight},
                          Case{"quad, odd size", 0, PlaybackEngine::kQuadView, 0, 642, 482},
                          Case{"quad, camera 1 without video", 1, PlaybackEngine::kQuadView, 0, kWidth, kHeight},
                          Case{"camera 2", 0, PlaybackEngine::kSingleView, 1, kWidth, kHeight},
                          Case{"camera 1 without video", 1, PlaybackEngine::kSingleView, 0, kWidth, kHeight}}) {
        SCOPED_TRACE(c.name);
        Open(c.record);
        engine->SetView(c.view, c.camera);
        engine->ShowPosition(1, true, true);
        const auto clean = Yuv(1, 0, c.width, c.height);
        EXPECT_TRUE(clean == Yuv(1, 0xAB, c.width, c.height));
        EXPECT_TRUE(clean == Yuv(1, 0x10, c.width, c.height));
    }
}

// An export's reads leave planar pictures where the library gives them; the
// frame composed of them is the frame composed of the window's YUY2
// pictures of the same position, and after the export the window's pictures
// are YUY2 again.
TEST_F(FrameComposerTest, AnExportsPlanarPicturesComposeAsTheWindowsOwn)
{
    for (const int view : {PlaybackEngine::kQuadView, PlaybackEngine::kSingleView}) {
        SCOPED_TRACE(view == PlaybackEngine::kQuadView ? "quad" : "camera 2");
        Open(0);
        engine->SetView(view, 1);
        engine->ShowPosition(1, true, true);
        const auto shown = Yuv(1);
        ASSERT_TRUE(engine->OpenExportReader());
        ASSERT_TRUE(engine->SelectForExport(1));
        for (int camera = 0; camera < 4; ++camera) {
            bool sound = false;
            ASSERT_TRUE(engine->ReadForExport(camera, true, -1, sound));
        }
        ASSERT_TRUE(engine->HasPicture(1));
        ASSERT_TRUE(engine->PictureIsPlanar(1));
        EXPECT_TRUE(Yuv(1) == shown);
        engine->ReturnFromExport(1);
        for (int camera = 0; camera < 4; ++camera)
            EXPECT_FALSE(engine->PictureIsPlanar(camera));
        EXPECT_TRUE(Yuv(1) == shown);
    }
}

// Planar and YUY2 pictures of the same bytes give the same cell, whether
// scaled straight into the frame or through the renderer's own buffers, in
// every picture format; nothing outside the cell is written.
TEST(PlaneRendererTest, PlanarAndYuy2PicturesGiveTheSameCell)
{
    struct Size {
        int width, height;
    };
    const playback::CellRect cells[] = {
        {0, 0, 320, 240},   {320, 0, 640, 240}, {0, 240, 320, 480}, {320, 240, 640, 480},  // the quad
        {0, 0, 640, 480},                                                                  // one camera
        {34, 18, 331, 219},                                                                // odd
    };
    uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return uint8_t(seed >> 24);
    };
    for (const Size s : {Size{352, 240}, Size{720, 240}, Size{352, 288}, Size{720, 288}}) {
        const platform::decodeapi::PlanarLayout l = platform::decodeapi::PlanarPicture(s.width, s.height);
        std::vector<uint8_t> planar(l.bytes, 0);
        std::vector<uint8_t> packed(std::size_t(s.width) * s.height * 2);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                planar[std::size_t(y) * l.lumaStride + x] = next();
        for (const std::size_t offset : {l.blueOffset, l.redOffset})
            for (int y = 0; y < l.chromaHeight; ++y)
                for (int x = 0; x < l.chromaWidth; ++x)
                    planar[offset + std::size_t(y) * l.chromaStride + x] = next();
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; x += 2) {
                uint8_t* pair = &packed[(std::size_t(y) * s.width + x) * 2];
                const std::size_t c = std::size_t(y / 2) * l.chromaStride + x / 2;
                pair[0] = planar[std::size_t(y) * l.lumaStride + x];
                pair[1] = planar[l.blueOffset + c];
                pair[2] = planar[std::size_t(y) * l.lumaStride + x + 1];
                pair[3] = planar[l.redOffset + c];
            }
        // One frame, cells drawn in turn as the quad's are: a cell written
        // past its end would show in a neighbour drawn before it.
        std::vector<uint8_t> fromPacked(platform::YuvPlanesBytes(kWidth, kHeight), 0xA5);
        std::vector<uint8_t> fromPlanar(fromPacked);
        const platform::YuvPlanes a = platform::PlanesIn(fromPacked, kWidth, kHeight);
        const platform::YuvPlanes b = platform::PlanesIn(fromPlanar, kWidth, kHeight);
        playback::PlaneRenderer packedRenderer, planarRenderer;
        for (const playback::CellRect cell : cells) {
            SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height) + " into " +
                         std::to_string(cell.Width()) + "x" + std::to_string(cell.Height()) + " at " +
                         std::to_string(cell.left) + "," + std::to_string(cell.top));
            std::vector<uint8_t> alone(fromPlanar.size(), 0xA5);
            const platform::YuvPlanes c = platform::PlanesIn(alone, kWidth, kHeight);
            ASSERT_TRUE(packedRenderer.Render(packed, s.width, s.height, cell, a));
            ASSERT_TRUE(planarRenderer.RenderPlanar(planar, s.width, s.height, cell, b));
            ASSERT_TRUE(planarRenderer.RenderPlanar(planar, s.width, s.height, cell, c));
            ASSERT_TRUE(fromPacked == fromPlanar);
            const playback::CellRect drawn = playback::FrameCell(c, cell);
            int outside = 0;
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    const bool in = x >= drawn.left && x < drawn.right && y >= drawn.top && y < drawn.bottom;
                    outside += !in && c.y[y * kWidth + x] != 0xA5;
                    const bool chromaIn = x < c.chromaWidth && y < c.chromaHeight && x >= drawn.left / 2 &&
                                          x < (drawn.right + 1) / 2 && y >= drawn.top / 2 && y < (drawn.bottom + 1) / 2;
                    if (x < c.chromaWidth && y < c.chromaHeight && !chromaIn)
                        outside += c.u[y * c.chromaWidth + x] != 0xA5 || c.v[y * c.chromaWidth + x] != 0xA5;
                }
            ASSERT_EQ(outside, 0);
        }
        EXPECT_FALSE(planarRenderer.RenderPlanar(std::span(planar).first(l.bytes - 1), s.width, s.height, cells[0], b));
    }
}

// A cell at odd places inside a frame guarded all round: everything outside
// the cell as drawn is untouched, and a malformed picture is refused.
TEST(PlaneRendererTest, ACellNeverSpillsAndBadPicturesAreRefused)
{
    constexpr int w = 100, h = 60, guard = 256;
    std::vector<uint8_t> bytes(platform::YuvPlanesBytes(w, h) + 2 * guard, 7);
    const std::span<uint8_t> inner(bytes.data() + guard, platform::YuvPlanesBytes(w, h));
    const platform::YuvPlanes frame = platform::PlanesIn(inner, w, h);
    // A 36 x 20 YUY2 picture: luma 100, blue 50, red 200.
    std::vector<uint8_t> picture(36 * 20 * 2);
    for (size_t i = 0; i < picture.size(); i += 4) {
        picture[i] = 100;
        picture[i + 1] = 50;
        picture[i + 2] = 100;
        picture[i + 3] = 200;
    }
    playback::PlaneRenderer renderer;
    const playback::CellRect cell{33, 21, 90, 55};  // scaled to 57 x 34 after rounding to 32, 20
    ASSERT_TRUE(renderer.Render(picture, 36, 20, cell, frame));
    const playback::CellRect drawn = playback::FrameCell(frame, cell);
    EXPECT_EQ(drawn, (playback::CellRect{32, 20, 90, 55}));
    for (int i = 0; i < guard; ++i)
        ASSERT_TRUE(bytes[size_t(i)] == 7 && bytes[bytes.size() - 1 - size_t(i)] == 7);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool in = x >= drawn.left && x < drawn.right && y >= drawn.top && y < drawn.bottom;
            ASSERT_EQ(frame.y[y * w + x], in ? 100 : 7) << x << "," << y;
        }
    for (int y = 0; y < frame.chromaHeight; ++y)
        for (int x = 0; x < frame.chromaWidth; ++x) {
            const bool in =
                x >= drawn.left / 2 && x < (drawn.right + 1) / 2 && y >= drawn.top / 2 && y < (drawn.bottom + 1) / 2;
            ASSERT_EQ(frame.u[y * frame.chromaWidth + x], in ? 50 : 7) << x << "," << y;
            ASSERT_EQ(frame.v[y * frame.chromaWidth + x], in ? 200 : 7) << x << "," << y;
        }
    const std::vector<uint8_t> before(bytes);
    EXPECT_FALSE(renderer.Render(picture, 35, 20, cell, frame));                                 // odd width
    EXPECT_FALSE(renderer.Render(std::span(picture).first(100), 36, 20, cell, frame));           // too short
    EXPECT_FALSE(renderer.Render(picture, 36, 20, playback::CellRect{200, 0, 300, 10}, frame));  // outside
    EXPECT_EQ(bytes, before);
}

}  // namespace
