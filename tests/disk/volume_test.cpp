// Drive access, the volume header and the record table.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "disk/load_helper.h"
#include "disk/position_stamp.h"
#include "disk/raw_disk.h"

using disk::RawDisk;
using disk::RecordTime;
using testing_support::VolumeBytes;

namespace {

class RawDiskTest : public testing_support::VolumeFixture {};
class VolumeTest : public testing_support::VolumeFixture {};

TEST_F(RawDiskTest, SignatureIsTestedAtBytesTwoToElevenOnly)
{
    VolumeBytes image(4);
    image.Put(0, "\xFF\xEE", 2).Put(2, "Kor Halvex", 10).Put(12, "junk", 4);
    WriteImage(image);
    RawDisk drive;
    ASSERT_TRUE(drive.Open(0));
    EXPECT_TRUE(drive.HasVolumeSignature());

    VolumeBytes atZero(4);
    atZero.Put(0, "Kor Halvex", 10);
    WriteImage(atZero, "zero.img");
    ASSERT_TRUE(drive.Open(0));
    EXPECT_FALSE(drive.HasVolumeSignature());

    VolumeBytes wrongCase(4);
    wrongCase.Put(2, "kor halvex", 10);
    WriteImage(wrongCase, "case.img");
    ASSERT_TRUE(drive.Open(0));
    EXPECT_FALSE(drive.HasVolumeSignature());
}

TEST_F(RawDiskTest, ReadsAreWholeAndInsideTheDrive)
{
    VolumeBytes image(4);
    image.Put(512 * 3, "last", 4);
    WriteImage(image);
    RawDisk drive;
    std::vector<uint8_t> buffer(4096, 0xAA);
    EXPECT_EQ(drive.ReadSectors(0, 1, buffer), 0u) << "no drive open";
    ASSERT_TRUE(drive.Open(0));
    EXPECT_EQ(drive.ReadSectors(0, 0, buffer), 0u) << "a read of no sectors counts as failure";
    EXPECT_EQ(drive.ReadSectors(3, 1, buffer), 512u);
    EXPECT_EQ(std::memcmp(buffer.data(), "last", 4), 0);
    EXPECT_EQ(drive.ReadSectors(3, 2, buffer), 0u) << "a span past the end is refused, not read short";
    EXPECT_EQ(drive.ReadSectors(0xFFFFFFFFu, 1, buffer), 0u);
    EXPECT_EQ(drive.ReadSectors(0, 2, std::span(buffer).first(600)), 0u) << "destination too small";
    drive.Close();
    drive.Close();
    EXPECT_FALSE(drive.HasVolumeSignature());
}

TEST_F(RawDiskTest, DriveNumbersBeyondNineAndMissingImagesDoNotOpen)
{
    const std::string missing = temp.File("absent.img");
    platform::SetDriveImages({missing});
    RawDisk drive;
    EXPECT_FALSE(drive.Open(0));
    EXPECT_FALSE(std::filesystem::exists(missing)) << "opening must never create the image";
    EXPECT_FALSE(drive.Open(10));
    EXPECT_FALSE(drive.Open(-1));
    platform::SetDriveImages({temp.Path().string()});
    EXPECT_FALSE(drive.Open(0)) << "a directory is not a drive";
}

TEST_F(RawDiskTest, ImageIsNeverWritten)
{
    const std::string path = WriteImage(VolumeBytes(8).Header(1, 2, 1).Entry(512, 1, 0).Be32(1024, 3).Be32(1028, 4));
    ::chmod(path.c_str(), 0444);
    const auto before = std::filesystem::last_write_time(path);
    disk::RecorderVolume v;
    ASSERT_TRUE(v.Load(0)) << "a read-only image loads";
    ASSERT_TRUE(v.OpenRecord(0));
    v.Close();
    EXPECT_EQ(std::filesystem::last_write_time(path), before);
}

TEST_F(RawDiskTest, ImageGeometryIsTheConventionalTranslation)
{
    // 312,581,808 sectors = 19,457 cylinders of 255 x 63: the dialog shows
    // 149 GBytes from the geometry product (a sparse file costs nothing).
    const std::string path = temp.File("big.img");
    {
        std::ofstream(path).put('\0');
    }
    std::filesystem::resize_file(path, 312581808ull * 512);
    platform::SetDriveImages({path});
    RawDisk drive;
    ASSERT_TRUE(drive.Open(0));
    disk::DiskGeometry g;
    ASSERT_NE(drive.QueryGeometry(g), 0);
    EXPECT_EQ(g.cylinders, 19457);
    EXPECT_EQ(g.tracksPerCylinder, 255u);
    EXPECT_EQ(g.sectorsPerTrack, 63u);
    EXPECT_EQ(g.bytesPerSector, 512u);
    const uint64_t bytes = uint64_t(g.bytesPerSector) * g.sectorsPerTrack * g.tracksPerCylinder * g.cylinders;
    EXPECT_EQ(bytes >> 30, 149u);
}

TEST_F(VolumeTest, RefusesTablesItCannotHoldAndSaysWhy)
{
    using disk::LoadFailure;
    const auto refused = [this](const VolumeBytes& image) {
        EXPECT_FALSE(Load(image));
        EXPECT_FALSE(volume.IsLoaded());
        return volume.LastLoadFailure();
    };
    EXPECT_EQ(refused(VolumeBytes(8).Header(1, 2, 0)), LoadFailure::NoRecords);
    EXPECT_EQ(refused(VolumeBytes(8).Header(1, 2, 8193)), LoadFailure::TooManyRecords);
    EXPECT_EQ(refused(VolumeBytes(8).Header(1, 2, 1, 0)), LoadFailure::BadFirstEntry);
    EXPECT_EQ(refused(VolumeBytes(8).Header(7, 2, 40)), LoadFailure::TableOutsideDisk);
    EXPECT_EQ(refused(VolumeBytes(8).Header(0xFFFFFFF0u, 2, 1)), LoadFailure::TableOutsideDisk);
    EXPECT_EQ(refused(VolumeBytes(8)), LoadFailure::NotRecorderDisk);
    EXPECT_EQ(disk::LoadFailureText(LoadFailure::NotRecorderDisk).substr(0, 21), "not a recorder volume");

    platform::SetDriveImages({temp.File("missing.img")});
    EXPECT_FALSE(volume.Load(0));
    EXPECT_EQ(volume.LastLoadFailure(), LoadFailure::CannotOpen);
    EXPECT_FALSE(volume.LastOpenError().empty()) << "the system's reason is kept";

    EXPECT_TRUE(Load(VolumeBytes(8).Header(1, 2, 8192).Resize(1024 * 1024)));
    EXPECT_EQ(volume.LastLoadFailure(), LoadFailure::None);
    EXPECT_EQ(volume.RecordCount(), 8192u);
}

TEST_F(VolumeTest, FailedReloadLeavesTheVolumeUnloaded)
{
    ASSERT_TRUE(Load(VolumeBytes(8).Header(1, 2, 1).Entry(512, 1, 0)));
    ASSERT_TRUE(volume.IsLoaded());
    EXPECT_FALSE(Load(VolumeBytes(8).Header(1, 2, 0)));
    EXPECT_FALSE(volume.IsLoaded());
    EXPECT_FALSE(volume.OpenRecord(0));
}

TEST_F(VolumeTest, EntriesStartAtTheFirstEntryPosition)
{
    VolumeBytes image(8);
    image.Header(1, 2, 3, 5);
    image.Entry(512 + 128, 10, 0, 0xD0, 0x1C);
    image.Entry(512 + 160, 20, 11, 0x20, 0x08, 0x0, 0x0);
    image.Entry(512 + 192, 30, 32, 0x50, 0x00, 0x1, 0x4);
    ASSERT_TRUE(Load(image));
    EXPECT_EQ(volume.Record(0).segmentCount, 10u);
    EXPECT_EQ(volume.Record(0).kind, 1) << "0x1C: the lowest tested bit wins";
    EXPECT_EQ(volume.Record(0).width, 352);
    EXPECT_EQ(volume.Record(0).height, 240);
    EXPECT_EQ(volume.Record(0).frameRate, 30);
    EXPECT_EQ(volume.Record(1).segmentCount, 20u);
    EXPECT_EQ(volume.Record(1).indexOffset, 11u);
    EXPECT_EQ(disk::KindLetter(volume.Record(1).kind), 'S');
    EXPECT_EQ(volume.Record(1).width, 720);
    EXPECT_EQ(volume.Record(1).height, 288);
    EXPECT_EQ(volume.Record(1).frameRate, 12);
    EXPECT_EQ(disk::KindLetter(volume.Record(2).kind), 'B');
    EXPECT_FALSE(volume.HasAudioArea()) << "the flag comes from the last entry parsed (0x50)";
    EXPECT_EQ(volume.Record(5000).segmentCount, 0u) << "out of range reads an empty entry";

    RecordTime t;
    uint32_t segments = 0;
    ASSERT_TRUE(volume.FirstRecord(t, segments));
    EXPECT_EQ(segments, 10u);
    EXPECT_EQ(disk::FormatRecordTime(t), "2006/03/07 09:05:00");
    ASSERT_TRUE(volume.NextRecord(t, segments));
    ASSERT_TRUE(volume.NextRecord(t, segments));
    EXPECT_EQ(segments, 30u);
    EXPECT_FALSE(volume.NextRecord(t, segments));
}

TEST_F(VolumeTest, FormatsKindsAndChannelFlags)
{
    struct Case {
        uint8_t format;
        int w, h, fps;
        bool audio;
    };
    for (const Case c :
         {Case{0xD0, 352, 240, 30, true}, Case{0x40, 720, 240, 15, false}, Case{0x90, 352, 288, 25, true},
          Case{0x20, 720, 288, 12, false}, Case{0xAF, 720, 288, 12, true}}) {
        ASSERT_TRUE(Load(VolumeBytes(8).Header(1, 2, 1).Entry(512, 1, 0, c.format)));
        EXPECT_EQ(volume.Record(0).width, c.w) << int(c.format);
        EXPECT_EQ(volume.Record(0).height, c.h) << int(c.format);
        EXPECT_EQ(volume.Record(0).frameRate, c.fps) << int(c.format);
        EXPECT_EQ(volume.HasAudioArea(), c.audio) << int(c.format);
    }
    // Raw flag bytes: (0x00, 0x80) is channel 0 only, (0x80, 0x00) channel 8 only.
    VolumeBytes image(8);
    image.Header(1, 2, 1).Entry(512, 1, 0);
    const uint8_t flags[4] = {0x00, 0x80, 0x80, 0x00};
    image.Put(512 + 16, flags, 4);
    ASSERT_TRUE(Load(image));
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(volume.Record(0).videoPresent[k], k == 0 ? 1 : 0) << k;
        EXPECT_EQ(volume.Record(0).audioPresent[k], k == 8 ? 1 : 0) << k;
    }
}

TEST_F(VolumeTest, SingleRecordIteration)
{
    ASSERT_TRUE(Load(VolumeBytes(8).Header(1, 2, 1).Entry(512, 4, 0)));
    RecordTime t;
    uint32_t n = 0;
    EXPECT_TRUE(volume.FirstRecord(t, n));
    EXPECT_FALSE(volume.NextRecord(t, n));
}

TEST(RecordTimeTest, MillisecondArithmeticCrossesTheCalendar)
{
    const RecordTime newYearsEve{2006, 12, 0, 31, 23, 59, 59, 0};
    const RecordTime next = disk::AddMilliseconds(newYearsEve, 1000);
    EXPECT_EQ(disk::FormatRecordTime(next), "2007/01/01 00:00:00");
    EXPECT_EQ(next.dayOfWeek, 1) << "1 January 2007 was a Monday";
    // End time of a record of 31 segments beginning 23:59:30.
    const RecordTime begin{2006, 12, 0, 31, 23, 59, 30, 0};
    EXPECT_EQ(disk::FormatRecordTime(disk::RecordEndTime(begin, 31)), "2007/01/01 00:00:00");
    EXPECT_EQ(disk::RecordEndTime(begin, 0), begin) << "no segments: it ends where it begins";
    EXPECT_EQ(disk::FormatRecordTime(disk::AddMilliseconds({2008, 3, 0, 1, 0, 0, 0, 0}, -1000)), "2008/02/29 23:59:59");
    // Long records do not overflow: 30 days of seconds.
    EXPECT_EQ(disk::FormatRecordTime(disk::AddMilliseconds(begin, int64_t(30) * 86400 * 1000)), "2007/01/30 23:59:30");
    // A damaged entry's impossible date is shown as stored.
    const RecordTime damaged{2006, 13, 0, 40, 25, 0, 0, 0};
    EXPECT_EQ(disk::AddMilliseconds(damaged, 1000), damaged);
}

// Each style's bytes, for a recorded clock (a short year and a damaged date
// are written as stored) and for a position without one; the record list's
// time is the List style.
TEST(RecordTimeTest, EveryStampStyleWritesItsOwnBytes)
{
    using disk::StampStyle;
    const disk::PositionStamp clock = disk::PositionStamp::At({2026, 12, 0, 8, 4, 10, 0, 0}, true, "c1", 5);
    EXPECT_EQ(clock.Text(StampStyle::List), "2026/12/08 04:10:05");
    EXPECT_EQ(clock.Text(StampStyle::Panel), "2026/12/08  04:10:05");
    EXPECT_EQ(clock.Text(StampStyle::Iso), "2026-12-08T04:10:05Z");
    EXPECT_EQ(clock.Text(StampStyle::NameDigits), "20261208_041005");
    EXPECT_EQ(clock.Text(StampStyle::NameUnderscores), "2026_12_08_04_10_05");
    const disk::PositionStamp shortYear = disk::PositionStamp::At({987, 1, 0, 2, 3, 4, 5, 0}, true, "", 0);
    EXPECT_EQ(shortYear.Text(StampStyle::List), "987/01/02 03:04:05");
    EXPECT_EQ(shortYear.Text(StampStyle::Iso), "0987-01-02T03:04:05Z");
    EXPECT_EQ(shortYear.Text(StampStyle::NameDigits), "9870102_030405");
    const RecordTime damaged{2006, 13, 0, 40, 25, 61, 99, 0};
    EXPECT_EQ(disk::FormatRecordTime(damaged), "2006/13/40 25:61:99");
    EXPECT_EQ(disk::PositionStamp::At(damaged, true, "", 0).Text(StampStyle::Panel), "2006/13/40  25:61:99");
    EXPECT_EQ(disk::FormatRecordTime(clock.time), clock.Text(StampStyle::List));

    const disk::PositionStamp unknown = disk::PositionStamp::At({}, false, "i12", 3 * 3600 + 25 * 60 + 7);
    EXPECT_EQ(unknown.Text(StampStyle::List), "i12 +03:25:07");
    EXPECT_EQ(unknown.Text(StampStyle::Panel), "i12 +03:25:07");
    EXPECT_EQ(unknown.Text(StampStyle::Iso), "");
    EXPECT_EQ(unknown.Text(StampStyle::NameDigits), "i12_03-25-07");
    EXPECT_EQ(unknown.Text(StampStyle::NameUnderscores), "i12_03_25_07");
    EXPECT_EQ(disk::PositionStamp::At({}, false, "c1", -4).Text(), "c1 +00:00:00") << "before the start stays 0";
    EXPECT_EQ(disk::PositionStamp::At({}, false, "c1", 100 * 3600).Text(), "c1 +100:00:00");
    // A style value no build knows writes nothing, and says so by its length.
    char text[32] = "stale";
    EXPECT_EQ(clock.Format(text, static_cast<StampStyle>(9)), 0u);
    EXPECT_EQ(std::string(text), "");
}

}  // namespace
