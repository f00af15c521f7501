// quillon-cli export --from-time/--to-time: two records back to back across
// midnight and two with seconds between them, each exported into one file.
// Each record's part holds the same pictures as that part exported on its
// own (the frame codes mkdisk draws name the record's second), a gap's
// seconds are the no-picture colour with their time stamped, verify passes,
// and ranges that cannot be exported are refused with nothing left.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "export/export_tools.h"
#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/manifest.h"

namespace {

using Codes = std::vector<std::optional<mkdisk::FrameCode>>;
using testing_support::ReadText;
using testing_support::ToolRun;

class CliTimeRangeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        // Record 1 ends at 23:59:59, record 2 (kind B) begins at midnight.
        WriteDisk("midnight.img", {{{2006, 3, 15, 23, 59, 50}, 10}, {{2006, 3, 16, 0, 0, 0}, 8}});
        // 10:00:06 to 10:00:08 are held by no record.
        WriteDisk("gap.img", {{{2006, 3, 15, 10, 0, 0}, 6}, {{2006, 3, 15, 10, 0, 9}, 6}});
        // The clock set back: record 2 repeats 10:00:05 to 10:00:09.
        WriteDisk("overlap.img", {{{2006, 3, 15, 10, 0, 0}, 10}, {{2006, 3, 15, 10, 0, 5}, 6}});
        // Record 2 holds no frames for its second 1 (10:00:05): an empty segment.
        WriteDisk("empty.img", {{{2006, 3, 15, 10, 0, 0}, 4}, {{2006, 3, 15, 10, 0, 4}, 4, {1}}});
    }
    static void TearDownTestSuite() { dir.reset(); }

    struct Planned {
        mkdisk::RecordTime begin;
        uint32_t seconds;
        std::vector<uint32_t> empty = {};
    };
    static void WriteDisk(const std::string& name, const std::vector<Planned>& records)
    {
        mkdisk::DiskPlan plan;
        for (const Planned& p : records) {
            mkdisk::RecordPlan r;
            r.begin = p.begin;
            r.seconds = p.seconds;
            r.emptySegments = p.empty;
            if (!plan.records.empty())
                r.kind = mkdisk::RecordKind::B;
            plan.records.push_back(r);
        }
        mkdisk::Manifest manifest;
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File(name), &manifest)));
    }

    static ToolRun Cli(const std::string& args)
    {
        return testing_support::RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-cli " + args, dir->File("err.txt"));
    }
    static ToolRun ByTime(const std::string& disk, const std::string& from, const std::string& to,
                          const std::string& out, const std::string& more = "")
    {
        return Cli("export '" + dir->File(disk) + "' --from-time '" + from + "' --to-time '" + to + "' " + more +
                   " -o '" + dir->File(out) + "'");
    }
    static ToolRun OneRecord(const std::string& disk, int record, int from, int to, const std::string& out,
                             const std::string& more = "")
    {
        return Cli("export '" + dir->File(disk) + "' --record " + std::to_string(record) + " --from " +
                   std::to_string(from) + " --to " + std::to_string(to) + " " + more + " -o '" + dir->File(out) + "'");
    }
    static std::string Frames(const std::string& out)
    {
        return export_test::Probe(dir->File(out), "v:0")["nb_read_frames"];
    }
    static nlohmann::json Report(const std::string& out)
    {
        return nlohmann::json::parse(ReadText(dir->File(out) + ".report.json"), nullptr, false);
    }
    static void ExpectVerified(const std::string& out)
    {
        const ToolRun verify = Cli("verify '" + dir->File(out) + ".report.json'");
        EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
        EXPECT_NE(verify.out.find("all match"), std::string::npos) << verify.out;
    }
    static void ExpectRefused(const ToolRun& run, const std::string& out, const std::vector<std::string>& words)
    {
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_EQ(run.out, "");
        for (const std::string& word : words)
            EXPECT_NE(run.err.find(word), std::string::npos) << word << " in: " << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir->File(out)));
        EXPECT_FALSE(std::filesystem::exists(dir->File(out) + ".report.json"));
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
};

TEST_F(CliTimeRangeTest, RecordsAcrossMidnightBecomeOneFileOfTheirPartsAsExportedAlone)
{
    const ToolRun run = ByTime("midnight.img", "2006-03-15 23:59:55", "2006-03-16 00:00:04", "night.mpg");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, dir->File("night.mpg") + "\t300\t2006-03-15 23:59:55\t2006-03-16 00:00:04\tcompleted\n");
    EXPECT_EQ(Frames("night.mpg"), "300") << "ten seconds at 30 a second";
    EXPECT_EQ(export_test::DecodeErrors(dir->File("night.mpg")), std::optional<std::string>(""));

    // Each part exported alone: positions 5 to 9 of record 1, 0 to 4 of record 2.
    ASSERT_EQ(OneRecord("midnight.img", 1, 5, 8, "part1.mpg").status, 0);
    ASSERT_EQ(OneRecord("midnight.img", 2, 0, 3, "part2.mpg").status, 0);
    EXPECT_EQ(Report("part1.mpg").count("time_range"), 0u) << "a single record's report is as it was";
    for (const auto& [left, top] : {std::pair{0, 0}, std::pair{320, 240}}) {
        const Codes range = export_test::CodesIn(dir->File("night.mpg"), left, top, 320, 240);
        Codes parts = export_test::CodesIn(dir->File("part1.mpg"), left, top, 320, 240);
        const Codes second = export_test::CodesIn(dir->File("part2.mpg"), left, top, 320, 240);
        parts.insert(parts.end(), second.begin(), second.end());
        ASSERT_EQ(range.size(), 300u);
        EXPECT_EQ(range, parts) << "the same pictures in the same order as the parts exported alone";
        for (std::size_t i = 0; i < range.size(); ++i) {
            // Record 1's very last group (its last frame is never delivered)
            // is checked above against the part alone only.
            if (i == 149)
                continue;
            ASSERT_TRUE(range[i]) << "frame " << i;
            EXPECT_EQ(range[i]->second, i < 150 ? 5 + i / 30 : (i - 150) / 30) << "frame " << i;
        }
    }

    const auto report = Report("night.mpg");
    ASSERT_FALSE(report.is_discarded());
    EXPECT_EQ(report["complete"], true);
    const auto& parts = report["time_range"]["parts"];
    ASSERT_EQ(parts.size(), 2u) << parts;
    EXPECT_EQ(parts[0]["record"], 1);
    EXPECT_EQ(parts[0]["first_position"], 5);
    EXPECT_EQ(parts[0]["last_position"], 9);
    EXPECT_EQ(parts[0]["from_time"], "2006/03/15 23:59:55");
    EXPECT_EQ(parts[1]["record"], 2);
    EXPECT_EQ(parts[1]["kind"], "B");
    EXPECT_EQ(parts[1]["last_position"], 4);
    EXPECT_EQ(parts[1]["to_time"], "2006/03/16 00:00:04");
    // Every read of both parts is listed, each under its part.
    EXPECT_EQ(parts[0]["first_read"], 0);
    EXPECT_EQ(parts[1]["first_read"], parts[0]["read_count"]);
    EXPECT_EQ(report["reads"].size(),
              parts[0]["read_count"].get<std::size_t>() + parts[1]["read_count"].get<std::size_t>());
    EXPECT_GE(parts[0]["read_count"], 5);
    EXPECT_GE(parts[1]["read_count"], 5);
    ExpectVerified("night.mpg");
    const ToolRun verify = Cli("verify '" + dir->File("night.mpg") + ".report.json'");
    EXPECT_NE(verify.out.find("record 2, read at position 0\tok"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find("range part\trecord 1\tpositions 5 to 9"), std::string::npos) << verify.out;
}

TEST_F(CliTimeRangeTest, SecondsNoRecordHoldsAreTheNoPictureColourWithTheirTimeStamped)
{
    const ToolRun run = ByTime("gap.img", "2006-03-15 10:00:04", "2006-03-15 10:00:11", "gap.mp4", "--view 2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("no listed record holds 2006-03-15 10:00:06 to 2006-03-15 10:00:08"), std::string::npos)
        << run.err;
    EXPECT_EQ(Frames("gap.mp4"), "240") << "eight seconds, three of them the gap's";

    // Camera 2 over the whole picture: record 1's seconds 4 and 5, the gap,
    // record 2's seconds 0 to 2 - as the parts exported alone show them.
    ASSERT_EQ(OneRecord("gap.img", 1, 4, 4, "gap1.mp4", "--view 2").status, 0);
    ASSERT_EQ(OneRecord("gap.img", 2, 0, 1, "gap2.mp4", "--view 2").status, 0);
    const Codes codes = export_test::CodesIn(dir->File("gap.mp4"), 0, 0, 640, 480);
    ASSERT_EQ(codes.size(), 240u);
    const Codes first = export_test::CodesIn(dir->File("gap1.mp4"), 0, 0, 640, 480);
    const Codes last = export_test::CodesIn(dir->File("gap2.mp4"), 0, 0, 640, 480);
    EXPECT_EQ(Codes(codes.begin(), codes.begin() + 60), first);
    EXPECT_EQ(Codes(codes.begin() + 150, codes.end()), last);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (i >= 60 && i < 150) {
            EXPECT_FALSE(codes[i]) << "frame " << i << " of the gap shows no picture";
            continue;
        }
        ASSERT_TRUE(codes[i]) << "frame " << i;
        EXPECT_EQ(codes[i]->camera, 1);
        EXPECT_EQ(codes[i]->second, i < 60 ? 4 + i / 30 : (i - 150) / 30) << "frame " << i;
    }
    // A gap's picture: the no-picture colour (5, 5, 5 before the lossy
    // encoding) away from the stamp, and a stamp that changes each second.
    std::vector<std::vector<uint8_t>> gapPictures;
    export_test::ForEachPicture(dir->File("gap.mp4"), 640, 480, [&](int index, const uint8_t* rgb) {
        if (index == 60 || index == 89 || index == 90)
            gapPictures.emplace_back(rgb, rgb + 640 * 480 * 3);
    });
    ASSERT_EQ(gapPictures.size(), 3u);
    for (const std::size_t at : {std::size_t(240 * 640 + 320) * 3, std::size_t(470 * 640 + 630) * 3})
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(gapPictures[0][at + c], 5, 4) << "pixel byte " << at + c;
    const auto stampDiffers = [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        int differing = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 200 * 3; ++x)
                differing += std::abs(a[std::size_t(y) * 640 * 3 + x] - b[std::size_t(y) * 640 * 3 + x]) > 60;
        return differing;
    };
    EXPECT_EQ(stampDiffers(gapPictures[0], gapPictures[1]), 0) << "one stamp within a second";
    EXPECT_GT(stampDiffers(gapPictures[1], gapPictures[2]), 10) << "10:00:06 becomes 10:00:07";

    const auto report = Report("gap.mp4");
    ASSERT_FALSE(report.is_discarded());
    const auto& parts = report["time_range"]["parts"];
    ASSERT_EQ(parts.size(), 3u) << parts;
    EXPECT_EQ(parts[1]["part"], "gap");
    EXPECT_EQ(parts[1]["from_time"], "2006/03/15 10:00:06");
    EXPECT_EQ(parts[1]["to_time"], "2006/03/15 10:00:08");
    EXPECT_EQ(parts[1]["seconds"], 3);
    EXPECT_EQ(parts[1]["note"], "no listed record holds these seconds");
    EXPECT_EQ(report["complete"], true) << "a gap is no second lost";
    ExpectVerified("gap.mp4");
}

// A second the record holds no frames for keeps its place in time: a
// second without picture with its time stamped, in a single record's export
// as in an export by time (it used to be dropped, the file a second short).
TEST_F(CliTimeRangeTest, ASecondWithoutFramesIsWrittenWithoutPictureNeverLeftOut)
{
    const ToolRun one = OneRecord("empty.img", 2, 0, 1, "empty1.mpg");
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.err.find("no frames for position 1 (2006/03/15 10:00:05)"), std::string::npos) << one.err;
    EXPECT_EQ(Frames("empty1.mpg"), "90") << "positions 0 to 2";

    const ToolRun run = ByTime("empty.img", "2006-03-15 10:00:02", "2006-03-15 10:00:06", "empty.mpg");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("no frames for record 2, position 1 (2006/03/15 10:00:05)"), std::string::npos) << run.err;
    EXPECT_EQ(Frames("empty.mpg"), "150");
    const Codes codes = export_test::CodesIn(dir->File("empty.mpg"), 0, 0, 320, 240);
    ASSERT_EQ(codes.size(), 150u);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (i / 30 == 3) {
            EXPECT_FALSE(codes[i]) << "frame " << i << " of the empty second shows no picture";
            continue;
        }
        if (i == 59)
            continue;  // record 1's very last group
        ASSERT_TRUE(codes[i]) << "frame " << i;
        EXPECT_EQ(codes[i]->second, std::vector<uint32_t>({2, 3, 0, 1, 2})[i / 30]) << "frame " << i;
    }
    // Sound runs in step: five seconds of it.
    EXPECT_NEAR(std::stod(export_test::Probe(dir->File("empty.mpg"), "a:0")["duration"]), 5.0, 0.1);
    const auto report = Report("empty.mpg");
    ASSERT_FALSE(report.is_discarded());
    bool named = false;
    for (const auto& line : report["processing"])
        named = named || line.get<std::string>().find("no frames for these seconds (the recorder stored nothing "
                                                      "for them): record 2, position 1") != std::string::npos;
    EXPECT_TRUE(named) << report["processing"];
    ExpectVerified("empty.mpg");
}

TEST_F(CliTimeRangeTest, RangesThatCannotBeExportedAreRefusedAndLeaveNothing)
{
    ExpectRefused(ByTime("overlap.img", "2006-03-15 10:00:00", "2006-03-15 10:00:12", "over.avi"), "over.avi",
                  {"records 1 and 2", "2006-03-15 10:00:05 to 2006-03-15 10:00:09", "--record"});
    ExpectRefused(ByTime("gap.img", "2006-03-15 11:00:00", "2006-03-15 11:00:10", "none.mpg"), "none.mpg",
                  {"no listed record holds a second from 2006-03-15 11:00:00 to 2006-03-15 11:00:10"});
    ExpectRefused(ByTime("gap.img", "2006-03-15 10:00:00", "2006-03-15 10:00:03", "master.mkv"), "master.mkv",
                  {"master (.mkv)", "--record"});
    ExpectRefused(ByTime("gap.img", "2006-03-15 10:00:03", "2006-03-15 10:00:00", "back.mpg"), "back.mpg",
                  {"before --from-time"});
    ExpectRefused(ByTime("gap.img", "2006-03-15 10:00:00", "soon", "odd.mpg"), "odd.mpg", {"--to-time must be"});
    ExpectRefused(ByTime("gap.img", "2006-03-15 10:00:00", "2006-03-15 10:00:03", "both.mpg", "--record 1"), "both.mpg",
                  {"without --record"});
    // Outside the shared seconds the clock-set-back disk exports.
    const ToolRun fine = ByTime("overlap.img", "2006-03-15 10:00:01", "2006-03-15 10:00:04", "before.avi");
    EXPECT_EQ(fine.status, 0) << fine.err;
    EXPECT_EQ(Frames("before.avi"), "120");
    ExpectVerified("before.avi");
}

// A second of the second record that cannot be read (the image ends inside
// it): with --keep-going each lost second is named with its record, on the
// command line, in the report's reason and list, and by verify.
TEST_F(CliTimeRangeTest, ALostSecondNamesItsRecord)
{
    mkdisk::DiskPlan plan;
    for (const mkdisk::RecordTime begin : {mkdisk::RecordTime{2006, 3, 15, 10, 0, 0}, {2006, 3, 15, 10, 0, 6}}) {
        mkdisk::RecordPlan r;
        r.begin = begin;
        r.seconds = 6;
        plan.records.push_back(r);
    }
    mkdisk::Manifest manifest;
    const std::string whole = dir->File("lost-whole.img");
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, whole, &manifest)));
    ASSERT_EQ(manifest.records.size(), 2u);
    const mkdisk::ManifestSegment& cut = manifest.records[1].segments.at(2);
    std::filesystem::copy_file(whole, dir->File("lost.img"));
    std::filesystem::resize_file(dir->File("lost.img"), (uint64_t(cut.firstSector) + cut.sectors / 2) * 512);

    const ToolRun run = ByTime("lost.img", "2006-03-15 10:00:03", "2006-03-15 10:00:08", "lost.mpg", "--keep-going");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("could not be read (the report lists it): record 2, position 2 ("), std::string::npos)
        << run.err;
    const auto report = nlohmann::json::parse(ReadText(dir->File("lost.mpg.report.json")), nullptr, false);
    ASSERT_FALSE(report.is_discarded());
    EXPECT_EQ(report["complete"], false);
    EXPECT_NE(report["reason"].get<std::string>().find("record 2, position 2 ("), std::string::npos)
        << report["reason"];
    const auto& lost = report["lost_seconds"];
    ASSERT_GE(lost.size(), 1u) << lost;
    EXPECT_EQ(lost[0]["position"], 2);
    EXPECT_EQ(lost[0]["first_sector"], cut.firstSector);
    for (const auto& second : lost)
        EXPECT_EQ(second["record"], 2) << lost;
    const ToolRun verify = Cli("verify '" + dir->File("lost.mpg.report.json") + "'");
    EXPECT_EQ(verify.status, 2) << verify.out;
    EXPECT_NE(verify.out.find("lost second\tLOST\trecord 2, position 2: "), std::string::npos) << verify.out;

    // A single record's report names no record: the report's own is it.
    const ToolRun single = OneRecord("lost.img", 2, 0, 3, "lost-single.mpg", "--keep-going");
    ASSERT_EQ(single.status, 0) << single.err;
    const auto one = nlohmann::json::parse(ReadText(dir->File("lost-single.mpg.report.json")), nullptr, false);
    ASSERT_FALSE(one.is_discarded());
    ASSERT_GE(one["lost_seconds"].size(), 1u);
    EXPECT_FALSE(one["lost_seconds"][0].contains("record")) << one["lost_seconds"];
}

}  // namespace
