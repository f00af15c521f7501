// Recordings the record table no longer lists, numbered after the listed
// ones on a volume made WithRecovery and read like records: an intact copy
// of a listed record reads exactly as the record does, a second that is not
// intact is a lost second (never read, nothing joined across it, its sound
// never taken), a recovery's damaged lists never lead a reader off the disk,
// and a recording whose time is unknown is shown by its id and position.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "disk/position_stamp.h"
#include "disk/record_reader.h"
#include "disk/recorder_volume.h"
#include "disk/recovered_recording.h"
#include "disk/volume.h"
#include "evidence/export_report.h"
#include "support/file_bytes.h"
#include "support/record_cuts.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

using disk::RecordReader;
using disk::RecoveredRecording;
using disk::SegmentStatus;
using disk::Volume;
using testing_support::Cut;
using testing_support::InSegment;
using testing_support::ReadAll;
using testing_support::Reading;

namespace {

// Records every selection, read and loss the reader tells.
struct Tap : disk::SegmentReadTap {
    struct Read {
        uint32_t first = 0, count = 0;
    };
    struct Loss {
        uint32_t segment = 0, first = 0, count = 0;
        std::string error;
    };
    std::vector<uint32_t> selected;
    std::vector<Read> reads;
    std::vector<Loss> losses;
    void SegmentSelected(uint32_t segment, uint32_t) override { selected.push_back(segment); }
    void SectorsRead(uint32_t first, std::span<const uint8_t> bytes) override
    {
        reads.push_back({first, static_cast<uint32_t>(bytes.size() / disk::kSectorBytes)});
    }
    void SegmentLost(uint32_t segment, uint32_t first, uint32_t count, const std::string& error) override
    {
        losses.push_back({segment, first, count, error});
    }
};

class RecoveredReadTest : public ::testing::Test {
protected:
    static constexpr uint32_t kLongRecord = 1;  // six seconds, sound on two cameras, frames across seconds

    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan first;
        first.seconds = 3;
        plan.records.push_back(first);
        mkdisk::RecordPlan second;
        second.seconds = 6;
        second.begin.minute = 30;
        second.audioCameras = 0x3;
        second.straddles = {{2, 0}, {3, 1}};
        plan.records.push_back(second);
        const std::string path = dir->File("recovered.img");
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, path)));
        bytes = testing_support::ReadBytes(path);
        ASSERT_GT(bytes.size(), 0u);
    }
    static void TearDownTestSuite()
    {
        dir.reset();
        bytes.clear();
    }

    void SetUp() override
    {
        disk::VolumeLoad load = Volume::FromBytes(bytes);
        ASSERT_TRUE(load.volume);
        listed = load.volume;
        ASSERT_EQ(listed->RecordCount(), 2u);
    }

    // A recovered copy of a listed record, laid out as the scan gives one
    // found in a table slot: the entry and its index as read, every second
    // intact.
    RecoveredRecording CopyOf(uint32_t record, const std::string& id) const
    {
        RecoveredRecording r;
        r.id = id;
        r.source = disk::RecoverySource::TableSlot;
        r.slot = 40;
        r.entry = listed->Record(record);
        r.indexOffset = r.entry.indexOffset;
        r.timeRecorded = true;
        disk::IndexCheck check;
        EXPECT_TRUE(listed->ReadIndex(record, r.sectorIndex, check));
        EXPECT_FALSE(check.Damaged());
        r.firstSector = r.sectorIndex.empty() ? 0 : r.sectorIndex.front();
        r.status.assign(r.entry.segmentCount, SegmentStatus::Intact);
        return r;
    }

    std::shared_ptr<const Volume> With(std::vector<RecoveredRecording> recordings) const
    {
        auto recovery = std::make_shared<disk::Recovery>();
        recovery->recordings = std::move(recordings);
        return Volume::WithRecovery(listed, std::move(recovery));
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    static inline std::vector<uint8_t> bytes;
    std::shared_ptr<const Volume> listed;
};

TEST_F(RecoveredReadTest, RecoveredRecordingsAreNumberedAfterTheListedAndNamedByTheirIds)
{
    RecoveredRecording carved = CopyOf(0, "c1");
    carved.source = disk::RecoverySource::Carved;
    carved.timeRecorded = false;
    const auto volume = With({CopyOf(kLongRecord, "u1"), carved});
    ASSERT_TRUE(volume);

    EXPECT_EQ(volume->RecordCount(), 2u);
    EXPECT_EQ(volume->RecordingCount(), 4u);
    EXPECT_EQ(listed->RecordingCount(), 2u);
    EXPECT_EQ(volume->Recovered(1), nullptr);
    ASSERT_NE(volume->Recovered(2), nullptr);
    EXPECT_EQ(volume->Recovered(2)->id, "u1");
    EXPECT_EQ(volume->Recovered(3)->id, "c1");
    EXPECT_EQ(volume->Recovered(4), nullptr);
    EXPECT_EQ(volume->Record(2).segmentCount, listed->Record(kLongRecord).segmentCount);
    EXPECT_EQ(volume->Record(2).beginTime, listed->Record(kLongRecord).beginTime);
    EXPECT_EQ(volume->Record(4).segmentCount, 0u);
    EXPECT_TRUE(volume->TimeRecorded(0));
    EXPECT_TRUE(volume->TimeRecorded(2));
    EXPECT_FALSE(volume->TimeRecorded(3));

    EXPECT_EQ(volume->RecordingName(0), "1");
    EXPECT_EQ(volume->RecordingName(1), "2");
    EXPECT_EQ(volume->RecordingName(2), "u1");
    EXPECT_EQ(volume->RecordingName(3), "c1");
    EXPECT_EQ(volume->RecordingName(4), "?");

    uint32_t n = 99;
    EXPECT_TRUE(volume->FindRecording("2", n));
    EXPECT_EQ(n, 1u);
    EXPECT_TRUE(volume->FindRecording("u1", n));
    EXPECT_EQ(n, 2u);
    EXPECT_TRUE(volume->FindRecording("c1", n));
    EXPECT_EQ(n, 3u);
    for (const char* name : {"", "0", "3", "4", "u2", "i1", "2x", "-1", "U1", "18446744073709551617"})
        EXPECT_FALSE(volume->FindRecording(name, n)) << name;
    EXPECT_FALSE(listed->FindRecording("u1", n));

    // The same drive, header and table: the listed records are unchanged.
    EXPECT_EQ(&volume->Disk().Drive(), &listed->Disk().Drive());
    EXPECT_EQ(volume->DataStartSector(), listed->DataStartSector());
    EXPECT_EQ(volume->HasAudioArea(), listed->HasAudioArea());

    // A table slot's index lies where its offset says; carved seconds have none.
    disk::SectorRange a, b;
    ASSERT_TRUE(volume->IndexSectors(2, a));
    ASSERT_TRUE(listed->IndexSectors(kLongRecord, b));
    EXPECT_EQ(std::tie(a.first, a.count), std::tie(b.first, b.count));
    EXPECT_FALSE(volume->IndexSectors(3, a));
}

TEST_F(RecoveredReadTest, AnIntactRecoveredCopyReadsExactlyAsTheListedRecord)
{
    const auto volume = With({CopyOf(kLongRecord, "u1")});
    RecordReader fromListed(listed), fromRecovered(volume);
    const Reading expected = ReadAll(fromListed, kLongRecord);
    const Reading got = ReadAll(fromRecovered, 2);
    ASSERT_GT(expected.frames.size(), 20u);
    EXPECT_EQ(got.frames, expected.frames);
    EXPECT_EQ(got.streamHeader, expected.streamHeader);
    EXPECT_EQ(got.stopsAtLoss, 0);
    EXPECT_EQ(fromRecovered.SegmentCount(), fromListed.SegmentCount());
    EXPECT_FALSE(fromRecovered.OpenIndexCheck().Damaged());
    ASSERT_NE(fromRecovered.OpenRecovered(), nullptr);
    EXPECT_EQ(fromListed.OpenRecovered(), nullptr);
    disk::IndexCheck check;
    EXPECT_TRUE(volume->CheckRecordIndex(2, check));
    EXPECT_FALSE(check.Damaged());
    EXPECT_EQ(check.readableSegments, 6u);
}

TEST_F(RecoveredReadTest, ASecondThatIsNotIntactIsLostWithoutBeingReadAndNothingJoinsAcrossIt)
{
    RecoveredRecording u = CopyOf(kLongRecord, "u2");
    u.status[3] = SegmentStatus::Overwritten;
    u.notes.push_back({3, "sectors 81920 to 81983 belong to record 3"});
    const uint32_t lostFirst = u.sectorIndex[3];
    const uint32_t lostEnd = u.sectorIndex[4];
    const auto volume = With({u});

    RecordReader fromListed(listed), reader(volume);
    const Reading whole = ReadAll(fromListed, kLongRecord);
    Tap tap;
    reader.SetReadTap(&tap);
    const Reading got = ReadAll(reader, 2);
    reader.SetReadTap(nullptr);

    // Told once, in words, and never read.
    ASSERT_EQ(tap.losses.size(), 1u);
    EXPECT_EQ(tap.losses[0].segment, 3u);
    EXPECT_EQ(tap.losses[0].first, lostFirst);
    EXPECT_EQ(tap.losses[0].count, lostEnd - lostFirst);
    EXPECT_EQ(tap.losses[0].error, "second 3 of u2 is overwritten: sectors 81920 to 81983 belong to record 3");
    EXPECT_EQ(reader.LastLoss().error, tap.losses[0].error);
    EXPECT_EQ(reader.LastLoss().segment, 3u);
    for (const Tap::Read& read : tap.reads)
        EXPECT_TRUE(read.first + read.count <= lostFirst || read.first >= lostEnd) << "read at " << read.first;
    EXPECT_NE(std::find(tap.selected.begin(), tap.selected.end(), 3u), tap.selected.end());
    EXPECT_EQ(got.stopsAtLoss, 1);

    // No frame of it and none joined across it: before it, the record's
    // own frames; after it, the frames a seek to the next second reads.
    EXPECT_TRUE(InSegment(got.frames, 3).empty());
    EXPECT_FALSE(InSegment(whole.frames, 3).empty());
    for (const uint32_t s : {0u, 1u})
        EXPECT_EQ(InSegment(got.frames, s), InSegment(whole.frames, s)) << "second " << s;
    // The frame that crosses from second 2 into 3 (the record delivers it
    // at second 3, where it is completed) is not delivered at all: its
    // tail lies in the lost second.
    EXPECT_EQ(InSegment(got.frames, 2), InSegment(whole.frames, 2));
    const Cut crossing = InSegment(whole.frames, 3).front();
    EXPECT_TRUE(std::none_of(got.frames.begin(), got.frames.end(),
                             [&crossing](const Cut& c) { return c.bytes == crossing.bytes; }));
    RecordReader seeking(listed);
    const Reading afterSeek = ReadAll(seeking, kLongRecord, 4);
    std::vector<Cut> after;
    std::copy_if(got.frames.begin(), got.frames.end(), std::back_inserter(after),
                 [](const Cut& c) { return c.segment > 3; });
    EXPECT_EQ(after, afterSeek.frames);

    // Its sound area is no sound of this recording's either.
    disk::SectorRange area;
    ASSERT_TRUE(reader.OpenRecord(2));
    EXPECT_TRUE(reader.AudioAreaSectors(2, area));
    EXPECT_FALSE(reader.AudioAreaSectors(3, area));
    std::vector<uint8_t> block(RecordReader::kAudioBlockBytes);
    ASSERT_TRUE(reader.SelectSegment(3));
    EXPECT_TRUE(reader.CurrentSegmentLost());
    EXPECT_FALSE(reader.ExtractAudioBlock(0, block));
}

TEST_F(RecoveredReadTest, ADamagedSecondWithoutANoteSaysSoAndTheListedRecordStillReadsWhole)
{
    RecoveredRecording c = CopyOf(kLongRecord, "c1");
    c.source = disk::RecoverySource::Carved;
    c.timeRecorded = false;
    c.status[0] = SegmentStatus::Damaged;
    const auto volume = With({c});
    RecordReader reader(volume);
    ASSERT_TRUE(reader.OpenRecord(2));
    EXPECT_TRUE(reader.CurrentSegmentLost());
    EXPECT_EQ(reader.LastLoss().error, "second 0 of c1 is damaged");

    // The same volume's listed record is read as it always was.
    Tap tap;
    reader.SetReadTap(&tap);
    RecordReader fromListed(listed);
    EXPECT_EQ(ReadAll(reader, kLongRecord).frames, ReadAll(fromListed, kLongRecord).frames);
    EXPECT_TRUE(tap.losses.empty());
    reader.SetReadTap(nullptr);
}

TEST_F(RecoveredReadTest, ARecoverysDamagedListsNeverLeadAReaderOffTheDisk)
{
    const RecoveredRecording good = CopyOf(kLongRecord, "u1");
    const uint64_t diskSectors = listed->DiskSectorCount();

    RecoveredRecording backwards = good;
    backwards.id = "u2";
    backwards.sectorIndex[3] = backwards.sectorIndex[1];  // runs backwards after second 1
    RecoveredRecording offDisk = good;
    offDisk.id = "i1";
    offDisk.source = disk::RecoverySource::IndexRun;
    offDisk.sectorIndex[2] = static_cast<uint32_t>(diskSectors + 5);
    RecoveredRecording shortIndex = good;
    shortIndex.id = "i2";
    shortIndex.sectorIndex.resize(3);  // two seconds' boundaries for six statuses
    RecoveredRecording fewStatuses = good;
    fewStatuses.id = "c1";
    fewStatuses.status.resize(4);
    RecoveredRecording empty = good;
    empty.id = "c2";
    empty.sectorIndex.clear();
    RecoveredRecording hugeCount = good;
    hugeCount.id = "c3";
    hugeCount.entry.segmentCount = 0xFFFFFFFFu;

    const auto volume = With({backwards, offDisk, shortIndex, fewStatuses, empty, hugeCount});
    RecordReader reader(volume);
    const auto opened = [&](uint32_t n, uint32_t segments, bool damaged) {
        SCOPED_TRACE(volume->RecordingName(n));
        ASSERT_TRUE(reader.OpenRecord(n));
        EXPECT_EQ(reader.SegmentCount(), segments);
        EXPECT_EQ(reader.OpenIndexCheck().Damaged(), damaged);
        for (uint32_t s = 0; s < segments; ++s) {
            disk::SectorRange range;
            ASSERT_TRUE(reader.SegmentSectors(s, range));
            EXPECT_LE(uint64_t(range.first) + range.count, diskSectors);
        }
        EXPECT_FALSE(reader.SelectSegment(segments));
    };
    opened(2, 2, true);                  // backwards: the seconds before it
    opened(3, 1, true);                  // off the disk: the second before it
    opened(4, 2, false);                 // as many seconds as boundaries allow
    opened(5, 4, false);                 // as many as states are known
    opened(7, 6, false);                 // a count past what it holds is only what it holds
    EXPECT_FALSE(reader.OpenRecord(6));  // no boundaries: nothing to open
    disk::SectorRange range;
    EXPECT_FALSE(volume->IndexSectors(6, range));
    EXPECT_FALSE(reader.OpenRecord(volume->RecordingCount()));

    // Without a recovery the volume is the listed one.
    const auto none = Volume::WithRecovery(listed, nullptr);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->RecordingCount(), 2u);
    EXPECT_EQ(none->Recovered(2), nullptr);
    EXPECT_EQ(Volume::WithRecovery(nullptr, nullptr), nullptr);
}

TEST_F(RecoveredReadTest, AVolumeWithRecoveryOutlivesTheVolumeItWasMadeFrom)
{
    const auto volume = With({CopyOf(kLongRecord, "u1")});
    RecordReader fromListed(listed);
    const Reading expected = ReadAll(fromListed, kLongRecord);
    fromListed.AttachVolume(nullptr);
    std::weak_ptr<const Volume> gone = listed;
    listed.reset();
    EXPECT_TRUE(gone.expired());
    RecordReader reader(volume);
    EXPECT_EQ(ReadAll(reader, 2).frames, expected.frames);
}

TEST_F(RecoveredReadTest, ATimeThatWasNotRecordedIsShownAsTheIdAndThePosition)
{
    RecoveredRecording c = CopyOf(0, "c1");
    c.source = disk::RecoverySource::Carved;
    c.timeRecorded = false;
    RecoveredRecording u = CopyOf(kLongRecord, "u1");  // an unlisted entry's time was recorded
    const auto volume = With({c, u});
    RecordReader reader(volume);

    ASSERT_TRUE(reader.OpenRecord(2));
    EXPECT_EQ(reader.StampAt(5).Text(), "c1 +00:00:05");
    EXPECT_EQ(reader.StampAt(5).Text(disk::StampStyle::Panel), "c1 +00:00:05");
    EXPECT_EQ(reader.StampAt(3725).Text(), "c1 +01:02:05");
    EXPECT_EQ(reader.StampAt(0).Text(disk::StampStyle::Iso), "");
    EXPECT_EQ(reader.StampAt(65).Text(disk::StampStyle::NameDigits), "c1_00-01-05");
    EXPECT_EQ(reader.StampAt(65).Text(disk::StampStyle::NameUnderscores), "c1_00_01_05");
    EXPECT_FALSE(reader.StampAt(5).recorded);

    // Recorded times keep the clock, to the second, in each style.
    const disk::RecordTime begin = listed->Record(kLongRecord).beginTime;
    const disk::RecordTime at = disk::AddMilliseconds(begin, 5000);
    char panel[64], iso[64];
    std::snprintf(panel, sizeof panel, "%d/%02d/%02d  %02d:%02d:%02d", at.year, at.month, at.day, at.hour, at.minute,
                  at.second);
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02dZ", at.year, at.month, at.day, at.hour, at.minute,
                  at.second);
    for (const uint32_t n : {kLongRecord, 3u}) {
        ASSERT_TRUE(reader.OpenRecord(n));
        EXPECT_TRUE(reader.StampAt(5).recorded);
        EXPECT_EQ(reader.StampAt(5).Text(), disk::FormatRecordTime(at));
        EXPECT_EQ(reader.StampAt(5).Text(disk::StampStyle::Panel), panel);
        EXPECT_EQ(reader.StampAt(5).Text(disk::StampStyle::Iso), iso);
    }

    // An id too long for the stamp is cut, never written past it; a span
    // too small gets a cut, terminated text.
    const disk::PositionStamp longId = disk::PositionStamp::At({}, false, std::string(40, 'x'), 1);
    EXPECT_EQ(longId.Id().size(), disk::PositionStamp::kIdBytes - 1);
    char tiny[6];
    EXPECT_EQ(reader.StampAt(5).Format(tiny), 5u);
    EXPECT_EQ(std::string(tiny), disk::FormatRecordTime(at).substr(0, 5));
    EXPECT_EQ(reader.StampAt(5).Format(std::span<char>()), 0u);
}

// What an export's report says of the recording it read: a listed record
// as before; a recovered one by its id, its source, how its times were
// derived and each run of seconds in one state within the exported span.
TEST_F(RecoveredReadTest, AReportDescribesARecoveredRecordingBySourceTimesAndTheStateOfItsSeconds)
{
    RecoveredRecording u = CopyOf(kLongRecord, "u2");
    u.status[3] = SegmentStatus::Overwritten;
    u.notes.push_back({3, "sectors 9 to 10 belong to record 1"});
    u.status[4] = SegmentStatus::Damaged;
    RecoveredRecording c = CopyOf(kLongRecord, "c1");
    c.source = disk::RecoverySource::Carved;
    c.timeRecorded = false;
    c.entry.beginTime = {};
    c.bound = disk::TimeBound{{2026, 1, 0, 2, 3, 4, 5, 0}, {2026, 1, 0, 2, 3, 4, 9, 0}, "between records 1 and 2"};
    disk::RecorderVolume volume;
    volume.Attach(With({u, c}));

    evidence::RecordReport listedReport;
    evidence::DescribeRecord(volume, kLongRecord, listedReport);
    evidence::DescribeRecovered(*volume.Shared(), kLongRecord, 0, 5, listedReport);
    EXPECT_EQ(listedReport.number, 2u);
    EXPECT_EQ(listedReport.name, "2");
    EXPECT_FALSE(listedReport.recovered.present);
    const disk::RecordTime begin = listed->Record(kLongRecord).beginTime;
    EXPECT_EQ(listedReport.beginTime, disk::FormatRecordTime(begin));
    EXPECT_EQ(listedReport.endTime, disk::FormatRecordTime(disk::RecordEndTime(begin, 6)));

    evidence::RecordReport report;
    evidence::DescribeRecord(volume, 2, report);
    evidence::DescribeRecovered(*volume.Shared(), 2, 1, 5, report);
    EXPECT_EQ(report.number, 0u);
    EXPECT_EQ(report.name, "u2");
    EXPECT_EQ(report.beginTime, listedReport.beginTime) << "an unlisted entry's time was recorded";
    EXPECT_EQ(report.endTime, listedReport.endTime);
    const evidence::RecoveredReport& r = report.recovered;
    ASSERT_TRUE(r.present);
    EXPECT_EQ(r.id, "u2");
    EXPECT_EQ(r.source, "table slot");
    EXPECT_EQ(r.slot, 40u);
    EXPECT_EQ(r.indexOffset, u.indexOffset);
    EXPECT_EQ(r.firstSector, u.sectorIndex.front());
    EXPECT_EQ(r.sectorCount, u.sectorIndex.back() - u.sectorIndex.front());
    EXPECT_TRUE(r.timeRecorded);
    ASSERT_EQ(r.segments.size(), 4u);
    const auto run = [&r](size_t i) {
        const evidence::SegmentStatusRun& s = r.segments[i];
        return std::tuple(s.firstPosition, s.lastPosition, s.status, s.note);
    };
    EXPECT_EQ(run(0), std::tuple(1u, 2u, std::string("intact"), std::string()));
    EXPECT_EQ(run(1),
              std::tuple(3u, 3u, std::string("overwritten"), std::string("sectors 9 to 10 belong to record 1")));
    EXPECT_EQ(run(2), std::tuple(4u, 4u, std::string("damaged"), std::string()));
    EXPECT_EQ(run(3), std::tuple(5u, 5u, std::string("intact"), std::string()));

    evidence::RecordReport carved;
    evidence::DescribeRecord(volume, 3, carved);
    evidence::DescribeRecovered(*volume.Shared(), 3, -4, 99, carved);
    EXPECT_EQ(carved.name, "c1");
    EXPECT_EQ(carved.beginTime, "c1 +00:00:00");
    EXPECT_EQ(carved.endTime, "c1 +00:00:05");
    EXPECT_FALSE(carved.recovered.timeRecorded);
    EXPECT_EQ(carved.recovered.boundEarliest, "2026/01/02 03:04:05");
    EXPECT_EQ(carved.recovered.boundLatest, "2026/01/02 03:04:09");
    EXPECT_EQ(carved.recovered.boundReason, "between records 1 and 2");
    ASSERT_EQ(carved.recovered.segments.size(), 1u) << "a span past either end is cut to the recording";
    EXPECT_EQ(carved.recovered.segments[0].firstPosition, 0u);
    EXPECT_EQ(carved.recovered.segments[0].lastPosition, 5u);
}

}  // namespace
