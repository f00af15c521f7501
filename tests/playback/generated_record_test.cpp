// Decoding and presentation over recorder disk images written by the project's
// disk writer: real extraction, real MPEG-4, pictures that name their camera,
// second and frame.
#include "disk/recorder_volume.h"
#include "platform/drive_table.h"
#include "playback/video_decoder.h"
#include "temp_dir.h"
#include "tools/mkdisk/disk_plan.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/frame_code.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using playback::VideoDecoder;

namespace {

const std::string kBin = QUILLON_BIN_DIR;

// One short record per picture format; the first has a frame straddling a
// segment end, the third a camera without video.
mkdisk::DiskPlan Plan()
{
    mkdisk::DiskPlan plan;
    plan.audioAreas = true;
    const mkdisk::PictureFormat formats[] = {mkdisk::PictureFormat::k352x240, mkdisk::PictureFormat::k720x240,
                                             mkdisk::PictureFormat::k352x288, mkdisk::PictureFormat::k720x288};
    for (const auto f : formats) {
        mkdisk::RecordPlan r;
        r.seconds = 3;
        r.format = f;
        plan.records.push_back(r);
    }
    plan.records[0].straddles = {{0, 1}};
    plan.records[2].videoCameras = 0x0B;  // camera 3 (index 2) has none
    return plan;
}

class GeneratedDisk : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new testing_support::TempDir();
        image = dir->File("disk.img");
        std::string error;
        written = mkdisk::WriteDisk(Plan(), image, error);
        ASSERT_TRUE(written) << error;
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(written); }

    static testing_support::TempDir* dir;
    static std::string image;
    static bool written;
};

testing_support::TempDir* GeneratedDisk::dir = nullptr;
std::string GeneratedDisk::image;
bool GeneratedDisk::written = false;

bool Matches(const std::optional<mkdisk::FrameCode>& got, int camera, uint32_t second, int frame)
{
    return got && *got == mkdisk::FrameCode{camera, second, frame};
}

std::string Describe(const std::optional<mkdisk::FrameCode>& code)
{
    if (!code)
        return "unreadable";
    return "camera " + std::to_string(code->camera) + " second " + std::to_string(code->second) + " frame " +
           std::to_string(code->frame);
}

}  // namespace

// Every frame of every record, cut in camera order and decoded per camera
// channel, shows its own camera, second and frame.
TEST_F(GeneratedDisk, EveryDecodedPictureShowsItsCameraAndFrame)
{
    platform::SetDriveImages({image});
    disk::RecorderVolume volume;
    ASSERT_TRUE(volume.Load(0));
    VideoDecoder decoder(kBin + "/libquillon_decode.so");
    ASSERT_TRUE(decoder.IsLoaded());
    std::vector<uint8_t> frame(disk::RecorderVolume::kMaxFrameBytes);
    std::vector<uint8_t> picture(VideoDecoder::kPictureBytes);
    const mkdisk::DiskPlan plan = Plan();
    for (uint32_t r = 0; r < plan.records.size(); ++r) {
        SCOPED_TRACE("record " + std::to_string(r + 1));
        ASSERT_TRUE(volume.OpenRecord(r));
        ASSERT_TRUE(volume.SelectSegment(0));
        volume.ResetFrameAssembly();
        const int width = volume.OpenWidth();
        const int height = volume.OpenHeight();
        const int rate = mkdisk::FormatFrameRate(plan.records[r].format);
        for (int c = 0; c < 4; ++c)
            decoder.ReleaseChannel(c);  // the next record starts its channels afresh
        int call = 0;
        int decoded = 0;
        for (int misses = 0; misses < 2;) {
            uint32_t n = 0;
            if (!volume.NextFrame(frame, n, call < 4, -1, {}, nullptr)) {
                ++misses;
                continue;
            }
            misses = 0;
            const int camera = call % 4;
            const int index = call / 4;
            ++call;
            if (!(plan.records[r].videoCameras >> camera & 1)) {
                EXPECT_LE(n, 100u);
                continue;
            }
            ASSERT_NE(decoder.DecodeFrame(camera, std::span<const uint8_t>(frame.data(), n), picture, width, height,
                                          volume.StreamHeader()),
                      0)
                << "call " << call - 1;
            const auto code = mkdisk::DecodeFrameCodeYuy2(picture.data(), width, height);
            ASSERT_TRUE(Matches(code, camera, uint32_t(index / rate), index % rate))
                << "call " << call - 1 << ": " << Describe(code);
            ++decoded;
        }
        // The record's very last frame has no start code after it: it stays a
        // tail that the end of the record never completes.
        const int cameras = __builtin_popcount(plan.records[r].videoCameras);
        EXPECT_GE(decoded, cameras * rate * 3 - 1);
        EXPECT_LE(decoded, cameras * rate * 3);
    }
}

// quillon-cli still: the seek's pictures in a 640 x 480 window, camera n in
// cell n, the camera without video in the no-picture colour, one camera over
// the whole window.
TEST_F(GeneratedDisk, StillShowsEachCameraInItsCell)
{
    const std::string out = dir->File("still.png");
    const std::string cli = kBin + "/quillon-cli still '" + image + "' --at 2 -o '" + out + "' > /dev/null";
    const mkdisk::DiskPlan plan = Plan();
    for (uint32_t r = 0; r < plan.records.size(); ++r) {
        SCOPED_TRACE("record " + std::to_string(r + 1));
        ASSERT_EQ(std::system((cli + " --record " + std::to_string(r + 1)).c_str()), 0);
        QImage shot(QString::fromStdString(out));
        ASSERT_EQ(shot.size(), QSize(640, 480));
        shot = shot.convertToFormat(QImage::Format_RGB32);
        for (int camera = 0; camera < 4; ++camera) {
            const int x = camera % 2 * 320;
            const int y = camera / 2 * 240;
            if (!(plan.records[r].videoCameras >> camera & 1)) {
                for (int py = y; py < y + 240; py += 7)
                    for (int px = x; px < x + 320; px += 7)
                        ASSERT_EQ(shot.pixel(px, py), qRgb(100, 0, 0));
                continue;
            }
            const uint8_t* cell = shot.constScanLine(y) + x * 4;
            const auto code = mkdisk::DecodeFrameCodeRgb(cell, 320, 240, shot.bytesPerLine(), 4);
            EXPECT_TRUE(Matches(code, camera, 2, 0)) << "cell " << camera << ": " << Describe(code);
        }
    }

    ASSERT_EQ(std::system((cli + " --record 2 --view 4").c_str()), 0);
    QImage single = QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32);
    const auto code = mkdisk::DecodeFrameCodeRgb(single.constBits(), 640, 480, single.bytesPerLine(), 4);
    EXPECT_TRUE(Matches(code, 3, 2, 0)) << Describe(code);

    EXPECT_NE(std::system((kBin + "/quillon-cli still '" + image + "' --record 1 --at 3 -o '" + out + "' 2>/dev/null").c_str()), 0);
}
