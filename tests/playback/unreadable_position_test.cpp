// A position whose frames cannot be read shows as cameras without video, not
// as the pictures of the position shown before it.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "engine_harness.h"
#include "support/byte_order.h"

namespace {

using testing_support::Be32;

using engine_test::EngineTest;

class UnreadablePositionTest : public EngineTest {
protected:
    // An E01 copy of the disk with a byte in the middle of the first record's
    // position 4 changed: that second fails its chunk's checksum. Loaded.
    void LoadLostSecondImage()
    {
        if (std::system("command -v ewfacquire >/dev/null") != 0)
            GTEST_SKIP() << "ewf-tools missing (scripts/install-deps installs them)";
        ASSERT_EQ(std::system(("cd '" + dir->Path().string() +
                               "' && rm -f lost.E01 && ewfacquire -u -q -c none -t lost engine.img >/dev/null")
                                  .c_str()),
                  0);
        std::vector<uint8_t> image, ewf;
        {
            std::ifstream in(dir->File("engine.img"), std::ios::binary);
            image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            std::ifstream e(dir->File("lost.E01"), std::ios::binary);
            ewf.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
        }
        // A byte in the middle of record 1's position 4, changed in the E01's copy.
        const size_t entry = size_t(Be32(image, 12)) * 512;
        const size_t index = size_t(Be32(image, 16)) * 512 + size_t(Be32(image, entry + 10)) * 4;
        const size_t first = size_t(Be32(image, index + 4 * 4)) * 512;
        const size_t end = size_t(Be32(image, index + 5 * 4)) * 512;
        const auto pattern = image.begin() + std::ptrdiff_t((first + end) / 2);
        const auto found = std::search(ewf.begin(), ewf.end(), pattern, pattern + 64);
        ASSERT_NE(found, ewf.end());
        found[32] ^= 0x5a;
        const std::string damaged = dir->File("lost.E01");
        std::ofstream(damaged, std::ios::binary)
            .write(reinterpret_cast<const char*>(ewf.data()), std::streamsize(ewf.size()));
        platform::SetDriveImages({damaged});
        ASSERT_TRUE(volume.Load(0));
    }
};

TEST_F(UnreadablePositionTest, ShowsTheNoPictureColourWhereNoFrameCanBeRead)
{
    // Record 1's last second with its video area zeroed: no frame to be cut there.
    std::vector<uint8_t> image;
    {
        std::ifstream in(dir->File("engine.img"), std::ios::binary);
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const size_t entry = size_t(Be32(image, 12)) * 512;
    const size_t index = size_t(Be32(image, 16)) * 512 + size_t(Be32(image, entry + 10)) * 4;
    const size_t first = size_t(Be32(image, index + 7 * 4)) * 512 + 16384;
    const size_t end = size_t(Be32(image, index + 8 * 4)) * 512;
    std::fill(image.begin() + std::ptrdiff_t(first), image.begin() + std::ptrdiff_t(end), 0);
    const std::string damaged = dir->File("unreadable.img");
    std::ofstream(damaged, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    platform::SetDriveImages({damaged});
    ASSERT_TRUE(volume.Load(0));

    Open(0);
    ASSERT_EQ(engine->ShowPosition(6, true, true), 1);
    EXPECT_EQ(engine->ShownPictures(), 4);
    ASSERT_EQ(CodeInCell(2), (mkdisk::FrameCode{2, 6, 0}));

    ASSERT_EQ(engine->ShowPosition(7, true, true), 1);
    EXPECT_EQ(engine->Position(), 7);
    EXPECT_EQ(engine->ShownPictures(), 0);
    const QImage shown = video.Copy();
    for (int camera = 0; camera < 4; ++camera) {
        const playback::CellRect cell = engine->Cells()[camera];
        EXPECT_EQ(shown.pixel(cell.left + cell.Width() / 2, cell.top + cell.Height() / 2), qRgb(100, 0, 0))
            << "camera " << camera + 1 << " still shows second 6";
    }
}

// A second whose sectors cannot all be read (here an E01 chunk that fails
// its checksum) shows as cameras without video while playing, never the
// second before; playback goes on with each camera in its own cell.
TEST_F(UnreadablePositionTest, PlayingShowsALostSecondWithoutPictureAndGoesOn)
{
    LoadLostSecondImage();
    if (IsSkipped() || HasFatalFailure())
        return;
    Open(0);
    ASSERT_EQ(engine->ShowPosition(3, true, true), 1);
    ASSERT_EQ(CodeInCell(1), (mkdisk::FrameCode{1, 3, 0}));
    engine->PlayForward();
    for (int tick = 0; tick < 200 && engine->Position() < 4; ++tick)
        timer->Fire();
    ASSERT_EQ(engine->Position(), 4);
    EXPECT_TRUE(engine->IsPlaying()) << "a lost second does not halt playback";
    const QImage shown = video.Copy();
    for (int camera = 0; camera < 4; ++camera) {
        const playback::CellRect cell = engine->Cells()[camera];
        EXPECT_EQ(shown.pixel(cell.left + cell.Width() / 2, cell.top + cell.Height() / 2), qRgb(100, 0, 0))
            << "camera " << camera + 1 << " still shows second 3";
        EXPECT_FALSE(engine->HasPicture(camera));
    }
    timer->Fire();
    EXPECT_EQ(engine->Position(), 5);
    for (int camera = 0; camera < 4; ++camera)
        EXPECT_EQ(CodeInCell(camera), (mkdisk::FrameCode{camera, 5, 0})) << "camera " << camera + 1;
    timer->Fire(3);
    for (int camera = 0; camera < 4; ++camera)
        EXPECT_EQ(CodeInCell(camera), (mkdisk::FrameCode{camera, 5, 3})) << "camera " << camera + 1;
}

// Halted on a lost second, an export's reads go through a reader of their
// own (meeting the same lost second there); afterwards the engine still
// stands on it, shows it without picture, and plays on past it.
TEST_F(UnreadablePositionTest, AnExportsReadsLeaveTheLostSecondShownAndPlaybackGoesOn)
{
    LoadLostSecondImage();
    if (IsSkipped() || HasFatalFailure())
        return;
    Open(0);
    ASSERT_EQ(engine->ShowPosition(4, true, true), 1);
    ASSERT_TRUE(engine->CurrentSecondLost());
    const uint32_t cursor = volume.Cursor();

    ASSERT_TRUE(engine->OpenExportReader());
    ASSERT_TRUE(engine->SelectForExport(3));
    bool stopped = false;
    for (int round = 0; round < 40 && !stopped; ++round)
        for (int camera = 0; camera < 4 && !stopped; ++camera) {
            bool sound = false;
            stopped = !engine->ReadForExport(camera, round == 0, -1, sound) && engine->ReadStoppedAtLoss();
        }
    ASSERT_TRUE(stopped);
    EXPECT_EQ(engine->LastLoss().segment, 4u);
    EXPECT_EQ(engine->ExportPosition(), 4);
    EXPECT_EQ(engine->Position(), 4);
    EXPECT_EQ(volume.CurrentSegment(), 4u);
    EXPECT_EQ(volume.Cursor(), cursor);

    engine->ReturnFromExport(4);
    EXPECT_EQ(engine->ExportReader(), nullptr);
    EXPECT_EQ(engine->Position(), 4);
    EXPECT_TRUE(engine->CurrentSecondLost());
    EXPECT_EQ(volume.Cursor(), cursor);
    const QImage shown = video.Copy();
    for (int camera = 0; camera < 4; ++camera) {
        const playback::CellRect cell = engine->Cells()[camera];
        EXPECT_EQ(shown.pixel(cell.left + cell.Width() / 2, cell.top + cell.Height() / 2), qRgb(100, 0, 0))
            << "camera " << camera + 1 << " shows an export's picture";
        EXPECT_FALSE(engine->HasPicture(camera));
    }
    engine->PlayForward();
    timer->Fire();
    EXPECT_EQ(engine->Position(), 5);
    for (int camera = 0; camera < 4; ++camera)
        EXPECT_EQ(CodeInCell(camera), (mkdisk::FrameCode{camera, 5, 0})) << "camera " << camera + 1;
}

}  // namespace
