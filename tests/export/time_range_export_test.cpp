// The exporter's export by time over a real engine: the pieces in time order
// (each record's positions, a gap's seconds without picture), progress that
// only moves forward over the whole range, playback left on its record with
// its pictures, and what one file cannot hold refused before anything is
// written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "disk/timeline.h"
#include "export/export_progress.h"
#include "export/segment_exporter.h"
#include "export_tools.h"
#include "playback/engine_harness.h"
#include "support/succeeded.h"

namespace {

using exporter::ExportMode;
using exporter::ExportOutcome;
using exporter::PrepareFailure;
using playback::PlaybackEngine;

class Progress final : public exporter::ExportProgress {
public:
    void Show() override {}
    void Hide() override {}
    void SetProgress(int percent, const std::string&, const std::string&) override { percents.push_back(percent); }
    std::vector<int> percents;
};

class TimeRangeExportTest : public engine_test::EngineTest {
protected:
    static void SetUpTestSuite()
    {
        EngineTest::SetUpTestSuite();
        // 0: 10:00:00-05; 1: 10:00:06-11 right after it, coded coarser so
        // that its pictures differ; 2: 10:00:14-15; 3: 10:00:30, 720 x 288.
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan r;
        r.begin = {2006, 3, 15, 10, 0, 0};
        r.seconds = 6;
        r.audioCameras = 0;  // silent; the next one has camera 1's sound
        plan.records.push_back(r);
        r.audioCameras = 0x1;
        r.begin = {2006, 3, 15, 10, 0, 6};
        r.qscale = 20;
        r.kind = mkdisk::RecordKind::B;
        plan.records.push_back(r);
        r.begin = {2006, 3, 15, 10, 0, 14};
        r.seconds = 2;
        plan.records.push_back(r);
        r.begin = {2006, 3, 15, 10, 0, 30};
        r.format = mkdisk::PictureFormat::k720x288;
        plan.records.push_back(r);
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("engine.img"))));
    }

    exporter::TimeRangePlan Plan(const char* from, const char* to)
    {
        auto plan = exporter::PlanTimeRange(disk::ReadRecords(volume).placed, *disk::ParseClockTime(from),
                                            *disk::ParseClockTime(to));
        EXPECT_TRUE(plan) << plan.Detail();
        return plan ? *plan : exporter::TimeRangePlan{};
    }

    struct Stand {
        int32_t record = -1;
        int position = -1;
        std::vector<std::vector<uint8_t>> pictures;
        std::vector<bool> has;
        bool operator==(const Stand&) const = default;
    };
    Stand Standing()
    {
        auto lock = engine->LockStream();
        Stand s{volume.OpenRecordNumber(), engine->Position(), {}, {}};
        for (int camera = 0; camera < playback::kCameras; ++camera) {
            s.pictures.emplace_back(engine->Picture(camera).begin(), engine->Picture(camera).end());
            s.has.push_back(engine->HasPicture(camera));
        }
        return s;
    }

    Progress progress;
};

TEST_F(TimeRangeExportTest, PiecesFollowInTimeOrderAndPlaybackKeepsItsRecordAndPictures)
{
    Open(0);
    engine->SetView(PlaybackEngine::kQuadView, 0);
    ASSERT_EQ(engine->ShowPosition(3, true, true), 1);
    ASSERT_EQ(engine->StepForward(), 1);
    ASSERT_EQ(engine->StepForward(), 1);
    const Stand before = Standing();
    ASSERT_TRUE(before.has[0]);

    // Record 1's seconds 4 and 5 follow record 0's 2 to 5 (10:00:02 to
    // 10:00:11 hold both), then 10:00:12 and 13 nobody holds, then record 2.
    ExportOutcome outcome;
    std::vector<int> positions;
    exporter::SegmentExporter exporter(*engine, progress, [&](const ExportOutcome& o) { outcome = o; });
    exporter.SetFrameTap([&](int position, int copies) { positions.insert(positions.end(), copies, position); });
    exporter.SetReportVolume(&volume);
    const std::string path = dir->File("range.mpg");
    ASSERT_TRUE(exporter.PrepareTimeRange(path, engine->Position(), Plan("2006-03-15 10:00:02", "2006-03-15 10:00:15"),
                                          ExportMode::Mpeg))
        << exporter.LastError();
    exporter.StartWorker();
    exporter.Wait();
    EXPECT_EQ(outcome.end, ExportOutcome::End::Completed) << outcome.error;
    EXPECT_EQ(outcome.framesWritten, 14 * 30);
    std::vector<int> expected;
    for (const int position : {2, 3, 4, 5, 0, 1, 2, 3, 4, 5, -1, -1, 0, 1})
        expected.insert(expected.end(), 30, position);
    EXPECT_EQ(positions, expected);
    ASSERT_EQ(outcome.parts.size(), 4u);
    EXPECT_EQ(outcome.parts[1].firstPosition, 0);
    EXPECT_EQ(outcome.parts[1].lastPosition, 5);
    EXPECT_EQ(outcome.parts[1].firstRead, outcome.parts[0].readCount);
    EXPECT_EQ(outcome.parts[2].readCount, 0u) << "a gap reads nothing";
    EXPECT_TRUE(outcome.parts[3].streamHeader.captured);
    EXPECT_FALSE(outcome.reportPath.empty()) << outcome.reportError;
    // Record 0 has no sound, record 1 camera 1's: each part has its own
    // record's (the played record's sound flags are not the others').
    const std::vector<int16_t> sound = export_test::Sound(path, 8000);
    ASSERT_GE(sound.size(), 13u * 8000);
    const auto loudest = [&](int second) {
        int peak = 0;
        for (std::size_t i = std::size_t(second) * 8000 + 800; i < std::size_t(second + 1) * 8000 - 800; ++i)
            peak = std::max(peak, std::abs(int(sound[i])));
        return peak;
    };
    EXPECT_LT(loudest(1), 300) << "record 0 is silent";
    EXPECT_GT(loudest(6), 1000) << "record 1's tone";
    EXPECT_LT(loudest(11), 300) << "the gap is silent";

    ASSERT_FALSE(progress.percents.empty());
    EXPECT_TRUE(std::is_sorted(progress.percents.begin(), progress.percents.end())) << "never back at a new piece";
    EXPECT_EQ(progress.percents.back(), 100);

    // The engine shows record 0 with the very pictures it showed (its
    // second's frames read again from that record, not the last one read).
    EXPECT_TRUE(Standing() == before);
}

TEST_F(TimeRangeExportTest, WhatOneFileCannotHoldIsRefusedBeforeAnythingIsWritten)
{
    Open(0);
    exporter::SegmentExporter exporter(*engine, progress, nullptr);
    const std::string path = dir->File("refused.mpg");
    // Without the volume the records come from.
    EXPECT_FALSE(
        exporter.PrepareTimeRange(path, 0, Plan("2006-03-15 10:00:02", "2006-03-15 10:00:09"), ExportMode::Mpeg));
    EXPECT_EQ(exporter.LastPrepareFailure(), PrepareFailure::NotReady);
    exporter.SetReportVolume(&volume);
    EXPECT_FALSE(exporter.PrepareTimeRange(dir->File("refused.mkv"), 0,
                                           Plan("2006-03-15 10:00:02", "2006-03-15 10:00:09"), ExportMode::Master));
    EXPECT_EQ(exporter.LastPrepareFailure(), PrepareFailure::BadRange);
    EXPECT_NE(exporter.LastError().find("master"), std::string::npos) << exporter.LastError();
    EXPECT_FALSE(
        exporter.PrepareTimeRange(path, 0, Plan("2006-03-15 10:00:02", "2006-03-15 10:00:31"), ExportMode::Mpeg));
    EXPECT_EQ(exporter.LastPrepareFailure(), PrepareFailure::BadRange);
    EXPECT_NE(exporter.LastError().find("records 1 (352 x 240) and 4 (720 x 288)"), std::string::npos)
        << exporter.LastError();
    // The range's first record must be the one open.
    EXPECT_FALSE(
        exporter.PrepareTimeRange(path, 0, Plan("2006-03-15 10:00:07", "2006-03-15 10:00:09"), ExportMode::Mpeg));
    EXPECT_EQ(exporter.LastPrepareFailure(), PrepareFailure::NotReady);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(dir->File("refused.mkv")));
}

}  // namespace
