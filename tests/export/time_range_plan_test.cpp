// An export by time's plan: the records' parts within the range in time
// order, the seconds between them as gaps, and the ranges refused (records
// sharing a second, nothing recorded, too long, backwards).
#include <gtest/gtest.h>

#include <vector>

#include "export/time_range_plan.h"

namespace {

using disk::ClockSeconds;
using exporter::PlanTimeRange;
using exporter::TimePiece;

ClockSeconds At(const char* text) { return *disk::ParseClockTime(text); }

disk::PlacedRecord Record(uint32_t index, const char* begin, uint32_t segments)
{
    return {.index = index, .begin = At(begin), .segments = segments};
}

std::string Describe(const TimePiece& p)
{
    const std::string times = disk::FormatClockTime(p.from) + " to " + disk::FormatClockTime(p.to);
    if (p.gap)
        return "gap " + times;
    return "record " + std::to_string(p.record + 1) + " " + std::to_string(p.firstPosition) + "-" +
           std::to_string(p.lastPosition) + " " + times;
}

std::vector<std::string> Pieces(const std::vector<disk::PlacedRecord>& records, const char* from, const char* to)
{
    const auto plan = PlanTimeRange(records, At(from), At(to));
    EXPECT_TRUE(plan) << plan.Detail();
    std::vector<std::string> out;
    if (plan)
        for (const TimePiece& p : plan->pieces)
            out.push_back(Describe(p));
    return out;
}

std::string Refusal(const std::vector<disk::PlacedRecord>& records, const char* from, const char* to)
{
    const auto plan = PlanTimeRange(records, At(from), At(to));
    EXPECT_FALSE(plan);
    return plan ? std::string() : plan.Detail();
}

TEST(TimeRangePlanTest, RecordsAcrossMidnightFollowOnWithoutAGap)
{
    // Table order is not time order: the later record comes first.
    const std::vector<disk::PlacedRecord> records = {Record(0, "2006-03-16 00:00:00", 8),
                                                     Record(1, "2006-03-15 23:59:50", 10)};
    EXPECT_EQ(Pieces(records, "2006-03-15 23:59:55", "2006-03-16 00:00:04"),
              (std::vector<std::string>{"record 2 5-9 2006-03-15 23:59:55 to 2006-03-15 23:59:59",
                                        "record 1 0-4 2006-03-16 00:00:00 to 2006-03-16 00:00:04"}));
    // One second of each, and a range within one record.
    EXPECT_EQ(Pieces(records, "2006-03-15 23:59:59", "2006-03-16 00:00:00"),
              (std::vector<std::string>{"record 2 9-9 2006-03-15 23:59:59 to 2006-03-15 23:59:59",
                                        "record 1 0-0 2006-03-16 00:00:00 to 2006-03-16 00:00:00"}));
    EXPECT_EQ(Pieces(records, "2006-03-16 00:00:07", "2006-03-16 00:00:07"),
              (std::vector<std::string>{"record 1 7-7 2006-03-16 00:00:07 to 2006-03-16 00:00:07"}));
}

TEST(TimeRangePlanTest, SecondsNoRecordHoldsBecomeGapsInsideAndAtTheEnds)
{
    const std::vector<disk::PlacedRecord> records = {Record(0, "2006-03-15 10:00:00", 6),
                                                     Record(1, "2006-03-15 10:00:09", 6),
                                                     Record(2, "2006-03-15 10:00:00", 0)};  // no seconds: unused
    EXPECT_EQ(Pieces(records, "2006-03-15 09:59:58", "2006-03-15 10:00:16"),
              (std::vector<std::string>{"gap 2006-03-15 09:59:58 to 2006-03-15 09:59:59",
                                        "record 1 0-5 2006-03-15 10:00:00 to 2006-03-15 10:00:05",
                                        "gap 2006-03-15 10:00:06 to 2006-03-15 10:00:08",
                                        "record 2 0-5 2006-03-15 10:00:09 to 2006-03-15 10:00:14",
                                        "gap 2006-03-15 10:00:15 to 2006-03-15 10:00:16"}));
    // A range that holds only a record's end and part of the gap.
    EXPECT_EQ(Pieces(records, "2006-03-15 10:00:05", "2006-03-15 10:00:07"),
              (std::vector<std::string>{"record 1 5-5 2006-03-15 10:00:05 to 2006-03-15 10:00:05",
                                        "gap 2006-03-15 10:00:06 to 2006-03-15 10:00:07"}));
}

TEST(TimeRangePlanTest, RangesThatCannotBeExportedAreRefusedWithTheReason)
{
    // The clock set back: record 2 repeats 10:00:05 to 10:00:09 of record 1.
    const std::vector<disk::PlacedRecord> records = {Record(0, "2006-03-15 10:00:00", 10),
                                                     Record(1, "2006-03-15 10:00:05", 6)};
    std::string why = Refusal(records, "2006-03-15 09:59:00", "2006-03-15 10:00:20");
    EXPECT_NE(why.find("records 1 and 2"), std::string::npos) << why;
    EXPECT_NE(why.find("2006-03-15 10:00:05 to 2006-03-15 10:00:09"), std::string::npos) << why;
    EXPECT_NE(why.find("--record"), std::string::npos) << why;
    // Only the shared seconds within the range are named.
    why = Refusal(records, "2006-03-15 10:00:07", "2006-03-15 10:00:08");
    EXPECT_NE(why.find("2006-03-15 10:00:07 to 2006-03-15 10:00:08"), std::string::npos) << why;
    // Outside the shared seconds the range is fine.
    EXPECT_EQ(Pieces(records, "2006-03-15 10:00:00", "2006-03-15 10:00:04").size(), 1u);
    // A record wholly inside another, met after a third that ends later.
    const std::vector<disk::PlacedRecord> nested = {
        Record(0, "2006-03-15 10:00:00", 20), Record(1, "2006-03-15 10:00:10", 2), Record(2, "2006-03-15 10:00:15", 2)};
    why = Refusal(nested, "2006-03-15 10:00:00", "2006-03-15 10:00:30");
    EXPECT_NE(why.find("records 1 and 2"), std::string::npos) << why;

    why = Refusal(records, "2006-03-15 11:00:00", "2006-03-15 11:00:10");
    EXPECT_NE(why.find("no listed record holds a second from 2006-03-15 11:00:00 to 2006-03-15 11:00:10"),
              std::string::npos)
        << why;
    EXPECT_NE(Refusal({}, "2006-03-15 11:00:00", "2006-03-15 11:00:10").find("no listed record"), std::string::npos);
    EXPECT_NE(Refusal(records, "2006-03-15 10:00:03", "2006-03-15 10:00:02").find("before"), std::string::npos);
    EXPECT_NE(Refusal(records, "2006-03-15 10:00:00", "2006-03-17 10:00:00").find("48 hours"), std::string::npos);
    EXPECT_EQ(Pieces(records, "2006-03-13 10:00:01", "2006-03-15 10:00:00").size(), 2u) << "48 hours exactly";
}

}  // namespace
