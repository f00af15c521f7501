// quillon-cli still over a written disk: the seek's pictures in a 640 x 480
// window, camera n in cell n, a camera without video in the no-picture
// colour, one camera over the whole window.
#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/frame_code.h"

namespace {

const std::string kBin = QUILLON_BIN_DIR;

std::optional<mkdisk::FrameCode> CodeAt(const QImage& shot, int x, int y, int w, int h)
{
    return mkdisk::DecodeFrameCodeRgb(shot.constScanLine(y) + x * 4, w, h, size_t(shot.bytesPerLine()), 4);
}

TEST(StillCommand, ShowsEachCameraInItsCell)
{
    testing_support::TempDir dir;
    mkdisk::DiskPlan plan;
    for (const auto f : {mkdisk::PictureFormat::k352x240, mkdisk::PictureFormat::k720x240,
                         mkdisk::PictureFormat::k352x288, mkdisk::PictureFormat::k720x288}) {
        mkdisk::RecordPlan r;
        r.seconds = 3;
        r.format = f;
        plan.records.push_back(r);
    }
    plan.records[0].straddles = {{0, 1}};
    plan.records[2].videoCameras = 0x0B;  // camera 3 has none
    const std::string image = dir.File("disk.img");
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, image)));

    const std::string out = dir.File("still.png");
    const std::string cli = kBin + "/quillon-cli still '" + image + "' --at 2 -o '" + out + "' > /dev/null";
    for (uint32_t r = 0; r < plan.records.size(); ++r) {
        SCOPED_TRACE("record " + std::to_string(r + 1));
        ASSERT_EQ(std::system((cli + " --record " + std::to_string(r + 1)).c_str()), 0);
        const QImage shot = QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shot.size(), QSize(640, 480));
        for (int camera = 0; camera < 4; ++camera) {
            const int x = camera % 2 * 320;
            const int y = camera / 2 * 240;
            if (!(plan.records[r].videoCameras >> camera & 1)) {
                for (int py = y; py < y + 240; py += 7)
                    for (int px = x; px < x + 320; px += 7)
                        ASSERT_EQ(shot.pixel(px, py), qRgb(100, 0, 0));
                continue;
            }
            EXPECT_EQ(CodeAt(shot, x, y, 320, 240), (mkdisk::FrameCode{camera, 2, 0})) << "cell " << camera;
        }
    }

    ASSERT_EQ(std::system((cli + " --record 2 --view 4").c_str()), 0);
    const QImage single = QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(CodeAt(single, 0, 0, 640, 480), (mkdisk::FrameCode{3, 2, 0}));

    EXPECT_NE(std::system(
                  (kBin + "/quillon-cli still '" + image + "' --record 1 --at 3 -o '" + out + "' 2>/dev/null").c_str()),
              0)
        << "position 3 of a 3-second record";
}

}  // namespace
