// Snapshots over a written disk, read back with djpeg and ImageMagick.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "capture_tools.h"
#include "export/snapshot.h"
#include "picture/bmp_format.h"
#include "picture/tbitmap.h"
#include "playback/engine_harness.h"
#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"

namespace {

using capture_test::Shell;
using playback::PlaybackEngine;

class SnapshotTest : public engine_test::EngineTest {
protected:
    // The snapshot's composition, rows padded as a DIB's.
    std::vector<uint8_t> Capture(uint32_t background = exporter::kSnapshotBackground)
    {
        const std::size_t stride = static_cast<std::size_t>(picture::DibStride(engine->WindowWidth(), 24));
        std::vector<uint8_t> out(stride * engine->WindowHeight(), 0xAB);
        EXPECT_EQ(exporter::CapturePicture(*engine, out, background, stride), 1);
        return out;
    }

    // Pixels where the capture differs from what the video window shows; the
    // renderer is the same, so only the time stamp may differ.
    QRect Differences(const std::vector<uint8_t>& captured)
    {
        const QImage shown = video.Copy();
        const std::size_t stride = static_cast<std::size_t>(picture::DibStride(shown.width(), 24));
        QRect bounds;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb p = shown.pixel(x, y);
                const uint8_t* c = captured.data() + stride * y + 3 * x;
                if (c[0] != qBlue(p) || c[1] != qGreen(p) || c[2] != qRed(p))
                    bounds |= QRect(x, y, 1, 1);
            }
        return bounds;
    }

    int Snap(const std::string& name, std::string* offeredName = nullptr)
    {
        return exporter::TakeSnapshot(*engine, [&](const std::string& defaultName) {
            if (offeredName)
                *offeredName = defaultName;
            return std::optional(dir->File(name));
        });
    }
};

TEST_F(SnapshotTest, QuadComposesEveryCellAndStampsOnlyTheFirst)
{
    Open(0);
    ASSERT_EQ(engine->ShowPosition(3, true, true), 1);
    const auto captured = Capture();
    const std::size_t stride = static_cast<std::size_t>(picture::DibStride(640, 24));
    for (int c = 0; c < 4; ++c) {
        const auto& cell = engine->Cells()[c];
        EXPECT_EQ(mkdisk::DecodeFrameCodeRgb(captured.data() + stride * cell.top + 3 * cell.left, cell.Width(),
                                             cell.Height(), stride, 3),
                  (mkdisk::FrameCode{c, 3, 0}))
            << "camera " << c;
    }
    const QRect stamp = Differences(captured);
    ASSERT_FALSE(stamp.isEmpty()) << "the time stamp is drawn";
    EXPECT_GE(stamp.left(), 4);
    EXPECT_GE(stamp.top(), 4);
    EXPECT_LT(stamp.right(), 320) << "inside cell 0 only";
    EXPECT_LT(stamp.bottom(), 40);
}

TEST_F(SnapshotTest, OneCameraViewComposesTheSelectedCameraOverTheWholeView)
{
    Open(0);
    engine->SetView(PlaybackEngine::kSingleView, 2);
    ASSERT_EQ(engine->ShowPosition(4, true, true), 1);
    const auto captured = Capture();
    const std::size_t stride = static_cast<std::size_t>(picture::DibStride(640, 24));
    EXPECT_EQ(mkdisk::DecodeFrameCodeRgb(captured.data(), 640, 480, stride, 3), (mkdisk::FrameCode{2, 4, 0}));
    const QRect stamp = Differences(captured);
    ASSERT_FALSE(stamp.isEmpty());
    EXPECT_GE(stamp.left(), 4);
    EXPECT_GE(stamp.top(), 4);
    EXPECT_LT(stamp.bottom(), 40);

    std::string offered;
    ASSERT_EQ(Snap("one.bmp", &offered), 1);
    EXPECT_EQ(offered, "2006_03_15_23_59_34_Camera03");
}

TEST_F(SnapshotTest, JpegIsBaseline420OfTheViewSizeWithEveryCameraInItsCell)
{
    Open(0);
    ASSERT_EQ(engine->ShowPosition(3, true, true), 1);
    std::string offered;
    ASSERT_EQ(Snap("quad.jpg", &offered), 1);
    EXPECT_EQ(offered, "2006_03_15_23_59_33_Quad");

    const std::string path = dir->File("quad.jpg");
    const auto verbose = Shell("djpeg -verbose -outfile /dev/null '" + path + "' 2>&1");
    ASSERT_TRUE(verbose);
    EXPECT_NE(verbose->find("Start Of Frame 0xc0: width=640, height=480, components=3"), std::string::npos) << *verbose;
    EXPECT_NE(verbose->find("Component 1: 2hx2v"), std::string::npos);
    EXPECT_NE(verbose->find("Component 2: 1hx1v"), std::string::npos);
    EXPECT_NE(verbose->find("Component 3: 1hx1v"), std::string::npos);
    EXPECT_EQ(Shell("identify -format %Q '" + path + "'"), std::optional<std::string>("70"));

    const auto rgb = capture_test::DecodeWithImageMagick(path, dir->File("quad.rgb"));
    ASSERT_TRUE(rgb);
    for (int c = 0; c < 4; ++c) {
        const auto& cell = engine->Cells()[c];
        EXPECT_EQ(rgb->CodeIn(cell.left, cell.top, cell.Width(), cell.Height()), (mkdisk::FrameCode{c, 3, 0}))
            << "camera " << c << " upright in its own cell";
    }
}

TEST_F(SnapshotTest, BmpIsBottomUp24BitWithTheCapturedPicture)
{
    Open(0);
    ASSERT_EQ(engine->ShowPosition(5, true, true), 1);
    ASSERT_EQ(Snap("quad.bmp"), 1);
    const std::string path = dir->File("quad.bmp");
    const auto bytes = capture_test::ReadBytes(path);
    ASSERT_EQ(bytes.size(), 54u + 640 * 3 * 480);
    const auto u32 = [&](std::size_t at) {
        return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | bytes[at + 3] << 24;
    };
    EXPECT_EQ(u32(10), 54u) << "pixels right after the headers";
    EXPECT_EQ(static_cast<int32_t>(u32(22)), 480) << "positive height: bottom-up";
    EXPECT_EQ(bytes[28] | bytes[29] << 8, 24);
    EXPECT_EQ(Shell("identify -format '%m %w %h %[type]' '" + path + "'").value_or(""), "BMP3 640 480 TrueColor");

    const auto rgb = capture_test::DecodeWithImageMagick(path, dir->File("quad.rgb"));
    ASSERT_TRUE(rgb);
    for (int c = 0; c < 4; ++c) {
        const auto& cell = engine->Cells()[c];
        EXPECT_EQ(rgb->CodeIn(cell.left, cell.top, cell.Width(), cell.Height()), (mkdisk::FrameCode{c, 5, 0}));
    }
    // The watermark only touches bit 3 of red.
    const auto captured = Capture();
    int otherBits = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint8_t* c = captured.data() + 1920 * y + 3 * x;
            const uint8_t* f = rgb->At(x, y);
            otherBits += f[0] != c[2] && (f[0] ^ c[2]) != 0x08;
            otherBits += f[1] != c[1] || f[2] != c[0];
        }
    EXPECT_EQ(otherBits, 0);
}

// 67 x 51: rows of 201 bytes padded to 204, and a last column and row that
// no quad cell covers.
TEST_F(SnapshotTest, ViewWidthNotAMultipleOfFourIsPaddedAndUncoveredAreasShowTheBackground)
{
    platform::WindowSurface odd(67, 51);
    ASSERT_EQ(engine->Attach(&odd, &volume, 0, 0), 1);
    ASSERT_EQ(engine->GotoStart(), 1);
    ASSERT_EQ(Snap("odd.bmp"), 1);
    const auto bytes = capture_test::ReadBytes(dir->File("odd.bmp"));
    ASSERT_EQ(bytes.size(), 54u + 204 * 51);
    for (int row = 0; row < 51; ++row)
        EXPECT_EQ(bytes[54 + 204 * row + 201] | bytes[54 + 204 * row + 202] | bytes[54 + 204 * row + 203], 0)
            << "padding of row " << row;

    const auto rgb = capture_test::DecodeWithImageMagick(dir->File("odd.bmp"), dir->File("odd.rgb"));
    ASSERT_TRUE(rgb);
    ASSERT_EQ(rgb->width, 67);
    const std::vector<uint8_t> background = {5, 5, 5};
    // Above row 30 the time stamp runs across the narrow view.
    for (int y = 30; y < 51; ++y)
        EXPECT_EQ(std::vector<uint8_t>(rgb->At(66, y), rgb->At(66, y) + 3), background) << "row " << y;
    for (int x = 0; x < 67; ++x)
        EXPECT_EQ(std::vector<uint8_t>(rgb->At(x, 50), rgb->At(x, 50) + 3), background) << "column " << x;
    // Below the stamp the cells hold what the window shows.
    const QImage shown = odd.Copy();
    int differing = 0;
    for (int y = 30; y < 50; ++y)
        for (int x = 0; x < 66; ++x) {
            const QRgb p = shown.pixel(x, y);
            differing += rgb->At(x, y)[0] != qRed(p) || rgb->At(x, y)[1] != qGreen(p) || rgb->At(x, y)[2] != qBlue(p);
        }
    EXPECT_EQ(differing, 0);
    // The JPEG encoder reads the same padded rows.
    ASSERT_EQ(Snap("odd.jpg"), 1);
    EXPECT_EQ(Shell("identify -format '%w %h' '" + dir->File("odd.jpg") + "'"), std::optional<std::string>("67 51"));
}

TEST_F(SnapshotTest, CameraWithoutVideoKeepsTheBackground)
{
    // Its picture buffer was never decoded: composing it would paint the
    // cell with whatever the buffer holds (green for zeros).
    mkdisk::DiskPlan plan;
    plan.records.resize(1);
    plan.records[0].seconds = 2;
    plan.records[0].videoCameras = 0x7;
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("novideo.img"))));
    platform::SetDriveImages({dir->File("novideo.img")});
    disk::RecorderVolume blind;
    ASSERT_TRUE(blind.Load(0));
    ASSERT_EQ(engine->Attach(&video, &blind, 0, 0), 1);
    ASSERT_EQ(engine->GotoStart(), 1);
    const auto captured = Capture();
    const std::size_t stride = static_cast<std::size_t>(picture::DibStride(640, 24));
    const auto& cell = engine->Cells()[3];
    for (int y = cell.top; y < cell.bottom; y += 9)
        for (int x = cell.left; x < cell.right; x += 9)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(captured[stride * y + 3 * x + k], 5) << x << "," << y;
}

TEST_F(SnapshotTest, OnlyLowerCaseJpgAndBmpAreWritten)
{
    Open(0);
    for (const char* name : {"a.JPG", "a.Bmp", "a.jpeg", "a.png", "noextension", "dotted.jpg_dir/name"}) {
        if (std::string(name).find('/') != std::string::npos)
            std::filesystem::create_directory(dir->File("dotted.jpg_dir"));
        EXPECT_EQ(Snap(name), 0) << name;
        EXPECT_FALSE(std::filesystem::exists(dir->File(name))) << name;
    }
    EXPECT_EQ(exporter::TakeSnapshot(*engine, [](const std::string&) { return std::optional<std::string>(); }), 0)
        << "cancelled";
    EXPECT_EQ(Snap("missing_dir/a.jpg"), 0);
    EXPECT_EQ(Snap("missing_dir/a.bmp"), 0) << "a BMP that could not be written is no success";
}

// A snapshot that cannot be written whole (past a file size limit, in a
// child so that the limit stays there) is no success and leaves nothing in
// its folder; a file there before keeps its bytes.
TEST(SaveSnapshot, AFileNotWrittenWholeLeavesNothing)
{
    testing_support::TempDir dir;
    picture::TBitmap bitmap;
    ASSERT_TRUE(bitmap.Create(320, 240, 24));
    const std::size_t stride = static_cast<std::size_t>(picture::DibStride(320, 24));
    for (std::size_t i = 0; i < stride * 240; ++i)
        bitmap.Pixels()[i] = static_cast<uint8_t>(i * 7 + i / 960);
    const std::filesystem::path folder = dir.Path() / "pictures";
    std::filesystem::create_directory(folder);
    const auto saveLimited = [&](const std::string& path) {
        const pid_t child = ::fork();
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit small{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &small);
            ::_exit(exporter::SaveSnapshot(bitmap, path) == 1 ? 0 : 3);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    for (const char* name : {"s.jpg", "s.bmp"}) {
        const std::string path = (folder / name).string();
        EXPECT_EQ(saveLimited(path), 3) << name << ": no success";
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << name << ": nothing left, not even a temporary file";
        std::ofstream(path) << "before";
        EXPECT_EQ(saveLimited(path), 3) << name;
        EXPECT_EQ(testing_support::ReadText(path), "before") << name;
        EXPECT_EQ(exporter::SaveSnapshot(bitmap, path), 1) << name;
        EXPECT_GT(std::filesystem::file_size(path), 4096u) << name << ": replaced whole";
        std::filesystem::remove(path);
    }
}

TEST(FlipRows, SwapsRowsAroundTheMiddleAndLeavesPaddingAlone)
{
    // 3 rows of 2 pixels at 24 bits: 6 bytes a row, stride 8.
    std::vector<uint8_t> pixels(24);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i);
    auto flipped = pixels;
    ASSERT_TRUE(exporter::FlipRows(flipped, 2, 3, 24, 8));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(flipped[i], pixels[16 + i]);
        EXPECT_EQ(flipped[8 + i], pixels[8 + i]) << "the middle row stays";
        EXPECT_EQ(flipped[16 + i], pixels[i]);
    }
    EXPECT_EQ(flipped[6], 6);
    EXPECT_EQ(flipped[23], 23);

    // Unpadded rows of (width x bits + 7) / 8 bytes: 5 pixels at 1 bit is one byte.
    std::vector<uint8_t> bits = {1, 2};
    ASSERT_TRUE(exporter::FlipRows(bits, 5, 2, 1));
    EXPECT_EQ(bits, (std::vector<uint8_t>{2, 1}));

    std::vector<uint8_t> shortBuffer(23, 7);
    EXPECT_FALSE(exporter::FlipRows(shortBuffer, 2, 4, 24, 8));
    EXPECT_EQ(shortBuffer, std::vector<uint8_t>(23, 7)) << "too few pixels: untouched";
}

TEST(FileExtension, IsWhatFollowsTheNamesLastDot)
{
    EXPECT_EQ(exporter::FileExtension("/a/b.c/snap.jpg"), "jpg");
    EXPECT_EQ(exporter::FileExtension("/a/b.c/snap"), "");
    EXPECT_EQ(exporter::FileExtension("snap.tar.BMP"), "BMP");
    EXPECT_EQ(exporter::FileExtension("snap."), "");
}

}  // namespace
