// The records on the recorder's clock: time text, the position formula the
// engine shows, spans, gaps, overlaps and where a second was recorded.
#include <gtest/gtest.h>

#include "disk/camera_timeline.h"
#include "disk/record_time.h"
#include "disk/timeline.h"

namespace {

using disk::ClockSeconds;
using disk::PlacedRecord;
using std::chrono::seconds;

ClockSeconds At(const char* text)
{
    const auto second = disk::ParseClockTime(text);
    EXPECT_TRUE(second) << text;
    return second.value_or(ClockSeconds{});
}

PlacedRecord Record(uint32_t index, const char* begin, uint32_t segments) { return {index, At(begin), segments, 0}; }

TEST(TimelineTest, ReadsExactlyTheTimeShapeAndOnlyCalendarTimes)
{
    const ClockSeconds t = At("2024-02-29 14:05:35");
    EXPECT_EQ(disk::FormatClockTime(t), "2024-02-29 14:05:35");
    EXPECT_EQ(disk::ParseClockTime("2024/02/29 14:05:35"), t) << "the record list's date shape";
    EXPECT_EQ(disk::FormatRecordTime(disk::ToRecordTime(t)), "2024/02/29 14:05:35");
    EXPECT_EQ(disk::ToRecordTime(t).dayOfWeek, 4) << "a Thursday";
    for (const char* bad : {"", "2023-02-29 14:05:35", "2024-02-29 24:00:00", "2024-02-29 14:60:00",
                            "2024-02-29 14:05:60", "2024-13-01 00:00:00", "2024-00-10 00:00:00", "2024-02-29T14:05:35",
                            "2024-02-29 14:05:35 ", " 2024-02-29 14:05:3", "2024-2-29 14:05:35", "2024-02/29 14:05:35",
                            "+024-02-29 14:05:35", "2024-02-29 14:05:3x", "2024-02-29 14-05-35"})
        EXPECT_FALSE(disk::ParseClockTime(bad)) << '"' << bad << '"';
    disk::RecordTime damaged;
    damaged.year = 2023;
    damaged.month = 13;
    damaged.day = 1;
    EXPECT_FALSE(disk::ToClockSeconds(damaged)) << "a damaged entry has no place on the clock";
}

// Position p shows begin + p seconds (TimeAt adds p * 1000 ms): the clock
// seconds must agree with that arithmetic, across a year's end too.
TEST(TimelineTest, PositionsMatchTheRecordTimeArithmetic)
{
    const disk::RecordTime begin{2006, 12, 0, 31, 23, 59, 30, 0};
    const ClockSeconds start = *disk::ToClockSeconds(begin);
    for (uint32_t p : {0u, 29u, 30u, 31u, 86400u}) {
        const disk::RecordTime shown = disk::AddMilliseconds(begin, int64_t(p) * 1000);
        EXPECT_EQ(disk::ToRecordTime(disk::SecondAt(start, p)), shown) << p;
        EXPECT_EQ(disk::PositionAt(start, *disk::ToClockSeconds(shown)), p);
    }
    const PlacedRecord r{0, start, 31, 0};
    EXPECT_EQ(disk::ToRecordTime(r.End() - seconds{1}), disk::RecordEndTime(begin, 31)) << "the list's end time";
}

TEST(TimelineTest, MergesBackToBackAndOverlappingRecordsAndMeasuresTheGaps)
{
    // Given out of order: 0 and 1 back to back; 2 one second after 1 ends;
    // 3 overlaps 2 (clock set back); 4 lies inside 3; 5 has no segments.
    const std::vector<PlacedRecord> records = {
        Record(3, "2024-02-29 14:05:02", 10), Record(1, "2024-02-29 14:00:05", 3), Record(0, "2024-02-29 14:00:00", 5),
        Record(2, "2024-02-29 14:00:09", 4),  Record(4, "2024-02-29 14:05:04", 2), Record(5, "2024-02-29 13:00:00", 0),
        Record(6, "2024-02-29 14:05:00", 4)};
    const disk::Timeline t = disk::BuildTimeline(records);
    ASSERT_EQ(t.spans.size(), 3u);
    EXPECT_EQ(t.spans[0].begin, At("2024-02-29 14:00:00"));
    EXPECT_EQ(t.spans[0].end, At("2024-02-29 14:00:08"));
    EXPECT_EQ(t.spans[0].records, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(t.spans[1].begin, At("2024-02-29 14:00:09")) << "one lost second breaks the span";
    EXPECT_EQ(t.spans[1].records, (std::vector<uint32_t>{2}));
    EXPECT_EQ(t.spans[2].begin, At("2024-02-29 14:05:00"));
    EXPECT_EQ(t.spans[2].end, At("2024-02-29 14:05:12"));
    EXPECT_EQ(t.spans[2].records, (std::vector<uint32_t>{3, 4, 6}));
    ASSERT_EQ(t.gaps.size(), 2u);
    EXPECT_EQ(t.gaps[0].end - t.gaps[0].begin, seconds{1});
    EXPECT_EQ(t.gaps[1].begin, At("2024-02-29 14:00:13"));
    EXPECT_EQ(t.gaps[1].end - t.gaps[1].begin, seconds{287});
    EXPECT_EQ(t.recorded, seconds{8 + 4 + 12});
    EXPECT_EQ(t.unrecorded, seconds{288});
    // 3 shares 14:05:02-03 with 6 and all of 4; 6 ends as 4 begins: no overlap.
    ASSERT_EQ(t.overlaps.size(), 2u);
    EXPECT_EQ(t.overlaps[0].earlier, 6u);
    EXPECT_EQ(t.overlaps[0].later, 3u);
    EXPECT_EQ(t.overlaps[0].begin, At("2024-02-29 14:05:02"));
    EXPECT_EQ(t.overlaps[0].end - t.overlaps[0].begin, seconds{2});
    EXPECT_EQ(t.overlaps[1].earlier, 3u);
    EXPECT_EQ(t.overlaps[1].later, 4u);
    EXPECT_EQ(t.overlaps[1].end - t.overlaps[1].begin, seconds{2});
}

TEST(TimelineTest, LocatesEveryHolderOrTheNearestSecondsEitherSide)
{
    const std::vector<PlacedRecord> records = {Record(0, "2024-02-29 14:00:00", 5), Record(1, "2024-02-29 14:00:05", 3),
                                               Record(2, "2024-02-29 14:05:00", 4), Record(3, "2024-02-29 14:05:02", 6),
                                               Record(4, "2024-02-29 14:05:02", 1)};
    auto holders = [&](const char* text) {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const auto& h : disk::Locate(records, At(text)).holders)
            out.emplace_back(h.record, h.position);
        return out;
    };
    using Holders = std::vector<std::pair<uint32_t, uint32_t>>;
    EXPECT_EQ(holders("2024-02-29 14:00:00"), (Holders{{0, 0}}));
    EXPECT_EQ(holders("2024-02-29 14:00:04"), (Holders{{0, 4}}));
    EXPECT_EQ(holders("2024-02-29 14:00:05"), (Holders{{1, 0}})) << "back to back: the later record's first second";
    EXPECT_EQ(holders("2024-02-29 14:05:02"), (Holders{{2, 2}, {3, 0}, {4, 0}}));
    EXPECT_EQ(holders("2024-02-29 14:05:03"), (Holders{{2, 3}, {3, 1}}));

    const disk::Location gap = disk::Locate(records, At("2024-02-29 14:00:08"));
    EXPECT_TRUE(gap.holders.empty());
    ASSERT_TRUE(gap.before && gap.after);
    EXPECT_EQ(gap.before->at.record, 1u);
    EXPECT_EQ(gap.before->at.position, 2u);
    EXPECT_EQ(gap.before->second, At("2024-02-29 14:00:07"));
    EXPECT_EQ(gap.before->distance, seconds{1});
    EXPECT_EQ(gap.after->at.record, 2u);
    EXPECT_EQ(gap.after->at.position, 0u);
    EXPECT_EQ(gap.after->distance, seconds{292});

    const disk::Location early = disk::Locate(records, At("2024-02-29 13:00:00"));
    EXPECT_FALSE(early.before);
    ASSERT_TRUE(early.after);
    EXPECT_EQ(early.after->distance, seconds{3600});
    const disk::Location late = disk::Locate(records, At("2024-03-01 00:00:00"));
    ASSERT_TRUE(late.before);
    EXPECT_FALSE(late.after);
    EXPECT_EQ(late.before->at.record, 3u);
    EXPECT_EQ(late.before->at.position, 5u);
    EXPECT_FALSE(disk::Locate({}, At("2024-03-01 00:00:00")).before);
}

// A damaged table can make every record overlap every other: the pairs are
// counted, the list stays bounded.
TEST(TimelineTest, ListsABoundedNumberOfOverlaps)
{
    std::vector<PlacedRecord> same(200, Record(0, "2024-02-29 14:00:00", 4'000'000'000u));
    for (uint32_t i = 0; i < same.size(); ++i)
        same[i].index = i;
    const disk::Timeline t = disk::BuildTimeline(same);
    EXPECT_EQ(t.overlaps.size(), disk::Timeline::kMaxOverlaps);
    EXPECT_EQ(t.overlaps.size() + t.overlapsNotListed, 200u * 199u / 2u);
    ASSERT_EQ(t.spans.size(), 1u);
    EXPECT_EQ(t.recorded, seconds{4'000'000'000LL});
}

// Per camera: a recovered recording shows only where no listed record
// holds the second; a record without the camera's video is not recorded
// video, and two of them at once still overlap; empty recordings are not
// on the clock.
TEST(CameraTimelineTest, EachRowJoinsRunsOfOneKindAndListedRecordsHideRecoveredOnes)
{
    using disk::CameraSecond;
    const std::vector<disk::CameraSpan> spans = {
        {At("2024-02-29 14:00:00"), 4, 0x0F, false},
        {At("2024-02-29 14:00:04"), 2, 0x0E, false},  // back to back; camera 1 without video
        {At("2024-02-29 13:59:58"), 10, 0x0F, true},  // recovered, under both and past them
        {At("2024-02-29 14:00:05"), 1, 0x0E, false},  // overlaps the second on every camera
        {At("2024-02-29 15:00:00"), 0, 0x0F, false},  // no seconds
    };
    const disk::CameraTimeline t = disk::BuildCameraTimeline(spans);
    auto row = [&](int camera) {
        std::string text;
        for (const disk::CameraRun& r : t.rows[size_t(camera)])
            text += disk::FormatClockTime(r.begin).substr(14) + "-" + disk::FormatClockTime(r.end).substr(14) + " " +
                    disk::CameraSecondName(r.kind) + "; ";
        return text;
    };
    EXPECT_EQ(row(0), "59:58-00:00 recovered; 00:00-00:04 recorded; 00:04-00:05 no video; 00:05-00:06 records overlap; "
                      "00:06-00:08 recovered; ");
    EXPECT_EQ(row(1), "59:58-00:00 recovered; 00:00-00:05 recorded; 00:05-00:06 records overlap; "
                      "00:06-00:08 recovered; ");
    EXPECT_EQ(t.rows[2].size(), t.rows[1].size());
    ASSERT_TRUE(t.first && t.end);
    EXPECT_EQ(*t.first, At("2024-02-29 13:59:58"));
    EXPECT_EQ(*t.end, At("2024-02-29 14:00:08"));
    EXPECT_FALSE(disk::BuildCameraTimeline({}).first) << "nothing on the clock";
}

}  // namespace
