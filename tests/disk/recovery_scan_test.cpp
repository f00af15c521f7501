// The recovery scan over written disks with their table and index patched
// as a recorder leaves them: entries outside the listed range, entries
// wiped (their index left behind), index wiped too (only the seconds left),
// and seconds written over by a listed record or by a later recording.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "disk/recovered_recording.h"
#include "disk/vol_header.h"
#include "recovery_disk.h"

using disk::RecoverySource;
using disk::SectorKind;
using disk::SegmentStatus;
using recovery_test::MapSectors;
using recovery_test::Scan;
using recovery_test::WrittenDisk;

namespace {

mkdisk::DiskPlan Plan()
{
    mkdisk::DiskPlan plan;
    for (int r = 0; r < 4; ++r) {
        mkdisk::RecordPlan record;
        record.begin = {2023, 1, 1, 10, 10 * r, 0};
        record.seconds = r == 3 ? 4 : 3;
        record.sensorNoise = false;
        if (r == 2) {
            record.format = mkdisk::PictureFormat::k352x288;
            record.videoCameras = 0x0B;  // cameras 1, 2 and 4
            record.kind = mkdisk::RecordKind::B;
            // Pictures of seconds 1 and 2 run on into the next segment.
            record.straddles = {{0, 0, false}, {1, 2, true}};
        }
        plan.records.push_back(record);
    }
    return plan;
}

class RecoveryScanTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { written = std::make_unique<WrittenDisk>(recovery_test::Write(Plan())); }
    static void TearDownTestSuite() { written.reset(); }
    void SetUp() override
    {
        ASSERT_TRUE(written && !written->bytes.empty());
        disk = *written;
    }

    disk::Recovery MustScan()
    {
        auto result = Scan(disk.bytes);
        EXPECT_TRUE(testing_support::Succeeded(result));
        if (!result)
            return {};
        recovery_test::ExpectWholeMap(*result, disk.Sectors());
        return std::move(result).Value();
    }

    // The table as [r0, r1, r3, r2] with three listed: record 2 (stored
    // between records 1 and 3 on the disk) becomes the unlisted entry of
    // slot 4.
    void UnlistTheMiddleRecord()
    {
        const std::vector<uint8_t> r2(disk.bytes.begin() + long(disk.Slot(3)),
                                      disk.bytes.begin() + long(disk.Slot(3) + 32));
        disk.CopySlot(4, 3);
        std::copy(r2.begin(), r2.end(), disk.bytes.begin() + long(disk.Slot(4)));
        disk.SetRecordCount(3);
    }

    static inline std::unique_ptr<WrittenDisk> written;
    WrittenDisk disk;
};

TEST_F(RecoveryScanTest, AnUntouchedDiskHoldsNothingToRecoverAndItsMapCoversEverySector)
{
    const disk::Recovery recovery = MustScan();
    EXPECT_TRUE(recovery.recordings.empty());
    uint64_t listed = 0;
    for (const auto& r : disk.manifest.records)
        for (const auto& s : r.segments)
            listed += s.sectors;
    EXPECT_EQ(MapSectors(recovery, SectorKind::ListedData), listed);
    EXPECT_EQ(recovery.map.front().kind, SectorKind::Header);
    EXPECT_EQ(MapSectors(recovery, SectorKind::Carved), 0u);
    EXPECT_EQ(MapSectors(recovery, SectorKind::Overwritten), 0u);
}

TEST_F(RecoveryScanTest, EntriesOutsideTheListedRangeAreFoundWithTheirTimesAndEverySecondIntact)
{
    // The last record after the listed range.
    disk.SetRecordCount(3);
    disk::Recovery recovery = MustScan();
    ASSERT_EQ(recovery.recordings.size(), 1u);
    const disk::RecoveredRecording& u = recovery.recordings[0];
    EXPECT_EQ(u.id, "u1");
    EXPECT_EQ(u.source, RecoverySource::TableSlot);
    EXPECT_EQ(u.slot, 4u);
    EXPECT_EQ(u.indexOffset, disk.manifest.records[3].indexOffset);
    EXPECT_TRUE(u.timeRecorded);
    EXPECT_EQ(u.entry.beginTime.minute, 30);
    EXPECT_EQ(u.entry.beginTime.hour, 10);
    EXPECT_EQ(u.sectorIndex, disk.Boundaries(3));
    EXPECT_EQ(u.firstSector, disk.Boundaries(3).front());
    EXPECT_EQ(u.Count(SegmentStatus::Intact), 4u);
    EXPECT_TRUE(u.notes.empty());
    EXPECT_FALSE(u.bound);
    EXPECT_EQ(MapSectors(recovery, SectorKind::UnlistedIntact),
              uint64_t(disk.Boundaries(3).back() - disk.Boundaries(3).front()));
    // The same disk gives the same recordings.
    const disk::Recovery again = MustScan();
    ASSERT_EQ(again.recordings.size(), 1u);
    EXPECT_EQ(again.recordings[0].id, "u1");
    EXPECT_EQ(again.recordings[0].sectorIndex, u.sectorIndex);

    // The first record before it.
    disk = *written;
    disk.SetFirstEntry(2);
    disk.SetRecordCount(3);
    recovery = MustScan();
    ASSERT_EQ(recovery.recordings.size(), 1u);
    EXPECT_EQ(recovery.recordings[0].slot, 1u);
    EXPECT_EQ(recovery.recordings[0].sectorIndex, disk.Boundaries(0));
    EXPECT_EQ(recovery.recordings[0].Count(SegmentStatus::Intact), 3u);
}

TEST_F(RecoveryScanTest, AWipedEntryLeavesAnIndexRunWithItsFormatFromTheStreamAndATimeBound)
{
    UnlistTheMiddleRecord();
    disk.ZeroSlot(4);
    const disk::Recovery recovery = MustScan();
    ASSERT_EQ(recovery.recordings.size(), 1u);
    const disk::RecoveredRecording& i = recovery.recordings[0];
    EXPECT_EQ(i.id, "i1");
    EXPECT_EQ(i.source, RecoverySource::IndexRun);
    EXPECT_EQ(i.indexOffset, disk.manifest.records[2].indexOffset);
    EXPECT_EQ(i.sectorIndex, disk.Boundaries(2));
    EXPECT_EQ(i.Count(SegmentStatus::Intact), 3u);
    EXPECT_FALSE(i.timeRecorded);
    EXPECT_EQ(i.entry.width, 352);
    EXPECT_EQ(i.entry.height, 288);
    EXPECT_EQ(i.entry.frameRate, 25);
    EXPECT_EQ(i.entry.segmentCount, 3u);
    // Camera 3 sends no pictures: its intra picture is left uncoded.
    EXPECT_EQ((std::vector<uint8_t>(i.entry.videoPresent.begin(), i.entry.videoPresent.begin() + 4)),
              (std::vector<uint8_t>{1, 1, 0, 1}));
    // Only camera 1 records sound; the others' blocks are silence.
    EXPECT_EQ((std::vector<uint8_t>(i.entry.audioPresent.begin(), i.entry.audioPresent.begin() + 4)),
              (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_TRUE(i.notes.empty());
    ASSERT_TRUE(i.bound);
    EXPECT_EQ(disk::FormatRecordTime(i.bound->earliest), "2023/01/01 10:10:03");
    EXPECT_EQ(disk::FormatRecordTime(i.bound->latest), "2023/01/01 10:29:59");
    EXPECT_NE(i.bound->reason.find("record 2"), std::string::npos) << i.bound->reason;
    EXPECT_NE(i.bound->reason.find("record 3"), std::string::npos) << i.bound->reason;
    EXPECT_EQ(MapSectors(recovery, SectorKind::IndexRunData),
              uint64_t(disk.Boundaries(2).back() - disk.Boundaries(2).front()));

    // The record stored after it set to begin before the one stored before
    // it: the seconds around it are not in time order, so no bound.
    disk.bytes.at(disk.Slot(3) + 2) = 9;
    const disk::Recovery unordered = MustScan();
    ASSERT_EQ(unordered.recordings.size(), 1u);
    EXPECT_FALSE(unordered.recordings[0].bound);
}

TEST_F(RecoveryScanTest, AWipedEntryAndIndexLeaveCarvedSecondsExactlyAsWritten)
{
    UnlistTheMiddleRecord();
    disk.ZeroSlot(4);
    disk.ZeroIndex(2);
    // Second 2 opens with the pictures second 1 ran on with, not with its header.
    const std::span<const uint8_t> second2(disk.bytes.data() + uint64_t(disk.Boundaries(2)[1]) * 512, 32768);
    ASSERT_FALSE(disk::HasVoVolAt(second2, 16384));
    const disk::Recovery recovery = MustScan();
    ASSERT_EQ(recovery.recordings.size(), 1u);
    const disk::RecoveredRecording& c = recovery.recordings[0];
    EXPECT_EQ(c.id, "c1");
    EXPECT_EQ(c.source, RecoverySource::Carved);
    EXPECT_EQ(c.sectorIndex, disk.Boundaries(2));
    EXPECT_EQ(c.firstSector, disk.Boundaries(2).front());
    EXPECT_EQ(c.Count(SegmentStatus::Intact), 3u);
    EXPECT_EQ(c.entry.width, 352);
    EXPECT_EQ(c.entry.height, 288);
    EXPECT_EQ(c.entry.frameRate, 25);
    EXPECT_EQ(c.entry.videoPresent[2], 0);
    EXPECT_EQ(c.entry.audioPresent[0], 1);
    EXPECT_EQ(c.entry.audioPresent[1], 0);
    ASSERT_TRUE(c.bound);
    EXPECT_EQ(disk::FormatRecordTime(c.bound->earliest), "2023/01/01 10:10:03");
    EXPECT_EQ(MapSectors(recovery, SectorKind::Carved),
              uint64_t(disk.Boundaries(2).back() - disk.Boundaries(2).front()));
    EXPECT_EQ(MapSectors(recovery, SectorKind::IndexRunData), 0u);
}

TEST_F(RecoveryScanTest, SecondsAListedRecordNowHoldsAreOverwrittenAndNamed)
{
    disk.SetRecordCount(3);
    // Record 3's last second runs on over the unlisted record's first.
    const auto& r2 = disk.manifest.records[2];
    disk.Be32(disk.IndexEntry(r2.indexOffset + r2.segmentCount), disk.Boundaries(3)[1]);
    const disk::Recovery recovery = MustScan();
    ASSERT_EQ(recovery.recordings.size(), 1u);
    const disk::RecoveredRecording& u = recovery.recordings[0];
    EXPECT_EQ(u.status[0], SegmentStatus::Overwritten);
    EXPECT_EQ(u.Count(SegmentStatus::Intact), 3u);
    ASSERT_EQ(u.notes.size(), 1u);
    EXPECT_EQ(u.notes[0].segment, 0u);
    EXPECT_NE(u.notes[0].text.find("record 3"), std::string::npos) << u.notes[0].text;
    EXPECT_EQ(MapSectors(recovery, SectorKind::Overwritten), uint64_t(disk.Boundaries(3)[1] - disk.Boundaries(3)[0]));
}

TEST_F(RecoveryScanTest, TheLaterOfTwoRecordingsOverTheSameSectorsKeepsThem)
{
    // Listed: records 2 and 3; slot 1 copies slot 4, so both name record 4's seconds.
    disk.SetFirstEntry(2);
    disk.SetRecordCount(2);
    disk.CopySlot(4, 1);
    const disk::Recovery recovery = MustScan();
    const disk::RecoveredRecording* u1 = recovery.Find("u1");
    const disk::RecoveredRecording* u2 = recovery.Find("u2");
    ASSERT_TRUE(u1 && u2);
    EXPECT_EQ(u1->slot, 1u);
    EXPECT_EQ(u2->slot, 4u);
    EXPECT_EQ(u1->Count(SegmentStatus::Overwritten), 4u);
    ASSERT_FALSE(u1->notes.empty());
    EXPECT_NE(u1->notes[0].text.find("u2"), std::string::npos) << u1->notes[0].text;
    EXPECT_EQ(u2->Count(SegmentStatus::Intact), 4u);
    // Slot 1's own record lost its entry: its index is an orphan run now.
    const disk::RecoveredRecording* i1 = recovery.Find("i1");
    ASSERT_TRUE(i1);
    EXPECT_EQ(i1->sectorIndex, disk.Boundaries(0));
    EXPECT_FALSE(i1->bound);  // nothing timed stands before it
}

TEST_F(RecoveryScanTest, SecondsOverwrittenSinceDoNotBoundATime)
{
    // Record 2 alone listed; record 3's entry wiped (an orphan run between
    // records 2 and 4 on the disk); slot 1 names record 4's seconds with an
    // earlier time, and loses them to slot 4 (the later entry).
    disk.SetFirstEntry(2);
    disk.SetRecordCount(1);
    disk.ZeroSlot(3);
    disk.CopySlot(4, 1);
    disk.bytes.at(disk.Slot(1) + 2) = 8;
    const disk::Recovery recovery = MustScan();
    const disk::RecoveredRecording* u1 = recovery.Find("u1");
    const disk::RecoveredRecording* i2 = recovery.Find("i2");
    ASSERT_TRUE(u1 && i2);
    EXPECT_EQ(u1->Count(SegmentStatus::Overwritten), 4u);
    EXPECT_EQ(i2->sectorIndex, disk.Boundaries(2));
    // Bounded by record 2's last second and u2's first, never by u1's
    // overwritten one (08:30, out of time order).
    ASSERT_TRUE(i2->bound);
    EXPECT_EQ(disk::FormatRecordTime(i2->bound->earliest), "2023/01/01 10:10:03");
    EXPECT_EQ(disk::FormatRecordTime(i2->bound->latest), "2023/01/01 10:29:59");
    EXPECT_NE(i2->bound->reason.find("u2"), std::string::npos) << i2->bound->reason;
}

TEST_F(RecoveryScanTest, SecondsThatDoNotHoldTheEntrysFormatAreDamaged)
{
    disk.SetRecordCount(3);
    const std::vector<uint32_t> b = disk.Boundaries(3);
    // Second 2 loses its stream header; second 1 becomes an empty second
    // (its start moved onto second 2's), so second 2 begins with second 1's bytes.
    disk.bytes.at(uint64_t(b[2]) * 512 + 16384 + 2) = 0x07;
    disk.Be32(disk.IndexEntry(disk.manifest.records[3].indexOffset + 1), b[0]);
    disk::Recovery recovery = MustScan();
    ASSERT_EQ(recovery.recordings.size(), 1u);
    const disk::RecoveredRecording& u = recovery.recordings[0];
    EXPECT_EQ(u.status, (std::vector<SegmentStatus>{SegmentStatus::Damaged, SegmentStatus::Intact,
                                                    SegmentStatus::Damaged, SegmentStatus::Intact}));
    ASSERT_EQ(u.notes.size(), 2u);
    EXPECT_NE(u.notes[0].text.find("lost second"), std::string::npos) << u.notes[0].text;
    EXPECT_EQ(u.notes[1].segment, 2u);
    EXPECT_NE(u.notes[1].text.find("stream header"), std::string::npos) << u.notes[1].text;

    // An entry saying 720x288 over 352x240 seconds: none of them fits.
    disk = *written;
    disk.SetRecordCount(3);
    disk.bytes.at(disk.Slot(4) + 15) = 0x80;
    recovery = MustScan();
    ASSERT_EQ(recovery.recordings.size(), 1u);
    EXPECT_EQ(recovery.recordings[0].Count(SegmentStatus::Damaged), 4u);
    EXPECT_NE(recovery.recordings[0].notes[0].text.find("352x240, not 720x288"), std::string::npos)
        << recovery.recordings[0].notes[0].text;
}

TEST_F(RecoveryScanTest, EntriesThatAreNotPlausibleAreNotTaken)
{
    disk.SetRecordCount(3);
    // No such date: month 13. Its index is left as an orphan run.
    disk.bytes.at(disk.Slot(4) + 4) = 13;
    const disk::Recovery month13 = MustScan();
    ASSERT_EQ(month13.recordings.size(), 1u);
    EXPECT_EQ(month13.recordings[0].source, RecoverySource::IndexRun);
    disk = *written;
    disk.SetRecordCount(3);
    // Its index running backwards.
    const auto& r3 = disk.manifest.records[3];
    disk.Be32(disk.IndexEntry(r3.indexOffset + 2), disk.Boundaries(3)[0] - 1);
    const disk::Recovery recovery = MustScan();
    for (const auto& r : recovery.recordings)
        EXPECT_NE(r.source, RecoverySource::TableSlot) << r.id;
}

TEST_F(RecoveryScanTest, ProgressRisesToTheWholeDiskAndACancelEndsTheScan)
{
    disk.SetRecordCount(3);
    // Carved seconds too: their first seconds are read again at the end.
    disk.ZeroSlot(4);
    disk.ZeroIndex(3);
    double last = 0;
    bool falling = false;
    disk::ScanControl control;
    control.progress = [&](double fraction, const std::string&) {
        falling = falling || fraction < last || fraction > 1;
        last = fraction;
    };
    ASSERT_TRUE(testing_support::Succeeded(Scan(disk.bytes, control)));
    EXPECT_FALSE(falling);
    EXPECT_EQ(last, 1.0);

    int asked = 0;
    control.cancelled = [&] { return ++asked > 1; };
    const auto cancelled = Scan(disk.bytes, control);
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.Failure().kind, platform::ErrorKind::Cancelled);
}

// Without audio areas a second begins with its stream header.
TEST(RecoveryScanNoAudio, CarvedSecondsOfTwoFormatsAreTwoRuns)
{
    mkdisk::DiskPlan plan;
    plan.audioAreas = false;
    for (int r = 0; r < 3; ++r) {
        mkdisk::RecordPlan record;
        record.begin = {2024, 2, 28, 23, 59, 50 - 0};
        record.begin.minute = 50 + 3 * r;
        record.seconds = 2;
        record.sensorNoise = false;
        record.format = r == 1 ? mkdisk::PictureFormat::k720x240 : mkdisk::PictureFormat::k352x240;
        plan.records.push_back(record);
    }
    WrittenDisk disk = recovery_test::Write(plan);
    ASSERT_FALSE(disk.bytes.empty());
    // Only record 1 stays listed; records 2 and 3 lose entries and index.
    disk.SetRecordCount(1);
    disk.ZeroSlot(2);
    disk.ZeroSlot(3);
    disk.ZeroIndex(1);
    disk.ZeroIndex(2);
    auto result = Scan(disk.bytes);
    ASSERT_TRUE(testing_support::Succeeded(result));
    recovery_test::ExpectWholeMap(*result, disk.Sectors());
    ASSERT_EQ(result->recordings.size(), 2u);
    const disk::RecoveredRecording& c1 = result->recordings[0];
    const disk::RecoveredRecording& c2 = result->recordings[1];
    EXPECT_EQ(c1.id, "c1");
    EXPECT_EQ(c1.entry.width, 720);
    EXPECT_EQ(c1.entry.frameRate, 15);
    EXPECT_EQ(c1.sectorIndex, disk.Boundaries(1));
    EXPECT_EQ(c2.id, "c2");
    EXPECT_EQ(c2.entry.width, 352);
    EXPECT_EQ(c2.sectorIndex, disk.Boundaries(2));
    // Stored after the listed record's last second, nothing timed after them.
    EXPECT_FALSE(c1.bound);
}

}  // namespace
