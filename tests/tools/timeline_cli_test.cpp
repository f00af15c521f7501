// quillon-cli timeline and locate on a disk quillon-mkdisk wrote with back-to-back
// records, a gap, a clock set back (overlap) and a record without segments.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>

#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace {

class TimelineCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        const testing_support::ToolRun made =
            testing_support::RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-mkdisk -o " + Disk() +
                                         " --record seconds=5,time=2024-02-29T14:00:00,q=31 --record "
                                         "seconds=3,kind=B,time=2024-02-29T14:00:05,q=31"
                                         " --record seconds=4,kind=S,time=2024-02-29T14:05:00,q=31"
                                         " --record seconds=6,kind=M,time=2024-02-29T14:05:02,format=720x288,q=31"
                                         " --record seconds=0,time=2024-02-29T15:00:00",
                                     dir->File("mkdisk.txt"));
        ASSERT_EQ(made.status, 0) << made.err;
    }
    static void TearDownTestSuite() { dir.reset(); }
    static std::string Disk() { return dir->File("timeline.img"); }

    static testing_support::ToolRun Cli(const std::string& args)
    {
        return testing_support::RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-cli " + args, dir->File("err.txt"));
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
};

TEST_F(TimelineCliTest, TimelineListsSpansGapsOverlapsAndTotals)
{
    const auto run = Cli("timeline " + Disk());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "span\t2024/02/29 14:00:00\t2024/02/29 14:00:07\t8\t1,2\tA,B\n"
                       "gap\t2024/02/29 14:00:08\t2024/02/29 14:04:59\t292\n"
                       "span\t2024/02/29 14:05:00\t2024/02/29 14:05:07\t8\t3,4\tS,M\n"
                       "overlap\t3\t4\t2024/02/29 14:05:02\t2024/02/29 14:05:03\t2\n"
                       "unplaced\t5\tA\t2024/02/29 15:00:00\t0\n"
                       "recorded\t16\n"
                       "unrecorded\t292\n");
    EXPECT_TRUE(run.err.empty());
}

TEST_F(TimelineCliTest, LocateNamesEveryHolderOrTheNearestSeconds)
{
    auto locate = [](const std::string& time) { return Cli("locate " + Disk() + " '" + time + "'"); };
    EXPECT_EQ(locate("2024-02-29 14:05:03").out,
              "at\t3\tS\t3\t2024/02/29 14:05:03\nat\t4\tM\t1\t2024/02/29 14:05:03\n");
    EXPECT_EQ(locate("2024-02-29 14:00:05").out, "at\t2\tB\t0\t2024/02/29 14:00:05\n") << "back to back";
    EXPECT_EQ(locate("2024/02/29 14:00:04").out, "at\t1\tA\t4\t2024/02/29 14:00:04\n");
    const auto gap = locate("2024-02-29 14:03:00");
    EXPECT_EQ(gap.status, 0);
    EXPECT_EQ(gap.out, "before\t2\tB\t2\t2024/02/29 14:00:07\t173\nafter\t3\tS\t0\t2024/02/29 14:05:00\t120\n");
    EXPECT_EQ(locate("2024-02-29 15:00:00").out, "before\t4\tM\t5\t2024/02/29 14:05:07\t3293\n")
        << "the record without segments holds nothing";
    // 59 days, 14 hours and a second, as date -u +%s differences give it.
    EXPECT_EQ(locate("2023-12-31 23:59:59").out, "after\t1\tA\t0\t2024/02/29 14:00:00\t5148001\n");
}

TEST_F(TimelineCliTest, RefusalsAreOneLine)
{
    for (const std::string& args :
         {"locate " + Disk() + " '2023-02-29 10:00:00'", "locate " + Disk() + " '2024-02-29 14:05'",
          "locate " + Disk() + " 1e3", "locate " + Disk(), std::string("timeline"),
          "timeline " + dir->File("missing.img"), "locate " + dir->File("missing.img") + " '2024-02-29 14:05:00'"}) {
        const auto run = Cli(args);
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_TRUE(run.out.empty()) << args;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
    }
    EXPECT_NE(Cli("locate " + Disk() + " 'noon'").err.find("YYYY-MM-DD HH:MM:SS"), std::string::npos);
}

// Entries are untrusted: a damaged date leaves its record off the clock, and
// a segment count of four billion still gives a span, not a crash.
TEST_F(TimelineCliTest, DamagedEntriesAreListedApart)
{
    const std::string damaged = dir->File("damaged.img");
    ASSERT_EQ(testing_support::RunTool("cp " + Disk() + " " + damaged, dir->File("cp.txt")).status, 0);
    std::fstream image(damaged, std::ios::in | std::ios::out | std::ios::binary);
    auto be = [&](std::streamoff at, int bytes) {
        image.seekg(at);
        uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = value << 8 | uint8_t(image.get());
        return value;
    };
    const std::streamoff table = std::streamoff(be(12, 4)) * 512;
    const std::streamoff first = std::streamoff(be(38, 2));
    auto entry = [&](int record) { return table + (first - 1 + record) * 32; };
    image.seekp(entry(1) + 4);
    image.put(char(13));  // record 2: month 13
    image.seekp(entry(3) + 6);
    image.write("\xEE\x6B\x28\x00", 4);  // record 4: 4,000,000,000 segments, ending as date -u +%s says
    ASSERT_TRUE(image.good());
    image.close();

    const auto run = Cli("timeline " + damaged);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "span\t2024/02/29 14:00:00\t2024/02/29 14:00:04\t5\t1\tA\n"
                       "gap\t2024/02/29 14:00:05\t2024/02/29 14:04:59\t295\n"
                       "span\t2024/02/29 14:05:00\t2150/12/01 21:11:41\t4000000002\t3,4\tS,M\n"
                       "overlap\t3\t4\t2024/02/29 14:05:02\t2024/02/29 14:05:03\t2\n"
                       "unplaced\t2\tB\t2024/13/29 14:00:05\t3\n"
                       "unplaced\t5\tA\t2024/02/29 15:00:00\t0\n"
                       "recorded\t4000000007\n"
                       "unrecorded\t295\n");
    EXPECT_EQ(Cli("locate " + damaged + " '2024-02-29 14:00:06'").out,
              "before\t1\tA\t4\t2024/02/29 14:00:04\t2\nafter\t3\tS\t0\t2024/02/29 14:05:00\t294\n");
}

}  // namespace

namespace {

// The timeline as a picture, read back by ImageMagick: each camera's row
// at the middle of chosen seconds, 10 pixels a second.
TEST_F(TimelineCliTest, ThePictureShowsEachCamerasSecondsGapsAndOverlapsInTheirColours)
{
    const std::string disk = dir->File("cameras.img");
    const testing_support::ToolRun made = testing_support::RunTool(
        std::string(QUILLON_BIN_DIR) + "/quillon-mkdisk -o " + disk +
            " --record seconds=5,time=2024-02-29T14:00:00,video=123,q=31"  // camera 4 without video
            " --record seconds=3,time=2024-02-29T14:00:05,q=31"            // back to back
            " --record seconds=4,time=2024-02-29T14:00:20,q=31"            // after a gap
            " --record seconds=4,time=2024-02-29T14:00:22,q=31",           // two seconds overlap
        dir->File("mkdisk.txt"));
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string png = dir->File("timeline.png");
    // 30 seconds over a plot of 300 pixels: 78 for the names, 12 on the right.
    const auto run = Cli("timeline " + disk + " --png " + png +
                         " --from-time '2024-02-29 14:00:00' --to-time '2024-02-29 14:00:29' --width 390");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "png\t" + png + "\t390x208\t2024-02-29 14:00:00\t2024-02-29 14:00:29\n");

    const std::vector<int> seconds = {2, 6, 10, 21, 22, 23, 24, 27};
    std::string format;
    for (int camera = 0; camera < 4; ++camera)
        for (const int s : seconds)
            format +=
                "%[hex:p{" + std::to_string(78 + s * 10 + 5) + "," + std::to_string(53 + 32 * camera + 13) + "}] ";
    const auto pixels =
        testing_support::RunTool("convert " + png + " -format '" + format + "' info:", dir->File("convert.txt"));
    ASSERT_EQ(pixels.status, 0) << pixels.err;
    const std::string rec = "0078A0", none = "969696", gap = "ECECEC", both = "CD1E1E";
    const std::string cameras123 =
        rec + " " + rec + " " + gap + " " + rec + " " + both + " " + both + " " + rec + " " + gap + " ";
    const std::string camera4 =
        none + " " + rec + " " + gap + " " + rec + " " + both + " " + both + " " + rec + " " + gap + " ";
    EXPECT_EQ(pixels.out, cameras123 + cameras123 + cameras123 + camera4);

    // Refusals say why.
    EXPECT_NE(Cli("timeline " + disk + " --png " + png + " --from-time yesterday").err.find("--from-time must be"),
              std::string::npos);
    EXPECT_NE(Cli("timeline " + disk + " --from-time '2024-02-29 14:00:00'").status, 0) << "only with --png";
    EXPECT_NE(Cli("timeline " + disk + " --png " + png + " --width 5").err.find("--width must be"), std::string::npos);
}

// Recovered recordings with a recorded time are drawn, beneath the listed
// records, when the disk is scanned for them.
TEST_F(TimelineCliTest, ThePictureShowsRecoveredRecordingsWhenAsked)
{
    const std::string disk = dir->File("recover.img");
    ASSERT_EQ(testing_support::RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-mkdisk -o " + disk + " --recover-demo",
                                       dir->File("mkdisk.txt"))
                  .status,
              0);
    const std::string png = dir->File("recovered.png");
    // u1 holds 08:00:00 to 08:00:02; 5 seconds over 300 pixels.
    auto pixel = [&](bool recovered) {
        const auto run = Cli("timeline " + disk + " --png " + png + (recovered ? " --recovered" : "") +
                             " --from-time '2024-06-01 08:00:00' --to-time '2024-06-01 08:00:04' --width 390");
        EXPECT_EQ(run.status, 0) << run.err;
        return testing_support::RunTool("convert " + png + " -format '%[hex:p{108,66}] %[hex:p{318,66}]' info:",
                                        dir->File("convert.txt"))
            .out;
    };
    EXPECT_EQ(pixel(true), "964B00 ECECEC");
    EXPECT_EQ(pixel(false), "ECECEC ECECEC");
}

}  // namespace
