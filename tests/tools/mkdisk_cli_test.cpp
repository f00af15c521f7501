// The quillon-mkdisk command line: options, help text, refusals, same bytes twice.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "mkdisk_support.h"
#include "support/succeeded.h"
#include "tools/mkdisk/plan_options.h"

using namespace mkdisk;
using mkdisk_test::Exit;
using mkdisk_test::TempPath;

namespace {

const std::string kTool = std::string(QUILLON_BIN_DIR) + "/quillon-mkdisk";

std::string Output(const std::string& args) { return mkdisk_test::Capture(kTool + " " + args).out; }

}  // namespace

TEST(MkdiskCli, HelpNamesEveryOption)
{
    EXPECT_EQ(0, Exit("--help"));
    const std::string help = Output("--help");
    for (const char* option :
         {"-o",        "--output", "--demo",  "--record",   "format=",       "seconds=",       "kind=",
          "time=",     "video=",   "audio=",  "q=",         "straddle=",     "huge=",          "empty=",
          "audiobit=", "vflags=",  "aflags=", "--no-audio", "--first-entry", "--record-count", "--manifest",
          "--help"})
        EXPECT_NE(std::string::npos, help.find(option)) << option;
}

TEST(MkdiskCli, SameOptionsSameBytes)
{
    TempPath a(".img"), b(".img"), manifest(".tsv");
    const std::string record =
        "--record format=720x240,seconds=3,kind=S,video=124,audio=13,straddle=0/2,huge=1/2/3/128500,"
        "time=2024-02-29T23:59:58 --record seconds=2,empty=1,format=352x288 --record seconds=0";
    ASSERT_EQ(0, Exit("-o " + a.str() + " " + record + " --manifest " + manifest.str()));
    ASSERT_EQ(0, Exit("-o " + b.str() + " " + record));
    const auto x = mkdisk_test::ReadBytes(a.str());
    EXPECT_GT(x.size(), 128500u);
    EXPECT_TRUE(x == mkdisk_test::ReadBytes(b.str()));

    std::ifstream in(manifest.str());
    std::string line;
    int records = 0, segments = 0, frames = 0;
    while (std::getline(in, line)) {
        records += line.starts_with("record\t");
        segments += line.starts_with("segment\t");
        frames += line.starts_with("frame\t");
    }
    EXPECT_EQ(3, records);
    EXPECT_EQ(5, segments);
    EXPECT_EQ(3 * 15 * 4 + 1 * 25 * 4, frames);  // the empty second's frames are gone
}

TEST(MkdiskCli, RefusesBadOptionsWithoutWriting)
{
    TempPath out(".img");
    for (const char* bad :
         {"--record format=640x480", "--record kind=X", "--record video=5", "--record seconds=-1", "--record q=0",
          "--record straddle=2,seconds=3", "--record huge=0/5/0", "--record empty=7", "--record colour=red",
          "--demo --record seconds=1", "", "--bogus", "--first-entry 70000 --demo"}) {
        EXPECT_NE(0, Exit("-o " + out.str() + " " + bad)) << bad;
        EXPECT_FALSE(std::filesystem::exists(out.str())) << bad;
    }
    EXPECT_NE(0, Exit("--demo"));  // no output named
    EXPECT_NE(0, Exit("--demo -o /dev/null"));
}

TEST(MkdiskCli, RefusalsSayWhichOptionIsWrong)
{
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases = {
        {{"-o"}, "-o needs a value"},
        {{"-o", "x.img", "--record"}, "--record needs a value"},
        {{"-o", "x.img", "--first-entry"}, "--first-entry needs a number from 0 to 65535"},
        {{"-o", "x.img", "--record-count", "65536"}, "--record-count needs a number from 0 to 65535"},
        {{"-o", "x.img", "--bogus"}, "unknown option '--bogus'"},
        {{"--demo"}, "no output file: give -o OUT.img"},
        {{"-o", "x.img"}, "nothing to write: give --demo or --record"},
        {{"-o", "x.img", "--demo", "--record", "seconds=1"}, "--demo writes its own records; leave out --record"},
        {{"-o", "x.img", "--record", "seconds"}, "record option without '=': seconds"},
        {{"-o", "x.img", "--record", "colour=red"}, "unknown record option 'colour'"},
    };
    for (const auto& [args, text] : cases) {
        CommandLine cmd;
        const auto parsed = ParseCommandLine(args, cmd);
        ASSERT_FALSE(parsed) << text;
        EXPECT_EQ(platform::ErrorKind::Refused, parsed.Failure().kind) << text;
        EXPECT_EQ(text, parsed.Detail());
    }
    CommandLine help;
    EXPECT_TRUE(ParseCommandLine({"--help"}, help));
    EXPECT_TRUE(help.help);
}

TEST(MkdiskCli, RecordSpecsFillThePlan)
{
    CommandLine cmd;
    ASSERT_TRUE(testing_support::Succeeded(
        ParseCommandLine({"-o", "x.img", "--no-audio", "--first-entry", "7", "--record-count", "0", "--record",
                          "format=720x288,seconds=5,kind=B,video=none,audio=24,q=9,straddle=1:2/4:3/1/early,"
                          "huge=3/4/11,empty=0,audiobit=1,vflags=0x8001,aflags=0100"},
                         cmd)));
    ASSERT_EQ(1u, cmd.plan.records.size());
    const RecordPlan& r = cmd.plan.records[0];
    EXPECT_FALSE(cmd.plan.audioAreas);
    EXPECT_EQ(7u, cmd.plan.fields.firstEntryPosition);
    EXPECT_EQ(0u, cmd.plan.fields.recordCount.value());
    EXPECT_EQ(PictureFormat::k720x288, r.format);
    EXPECT_EQ(5u, r.seconds);
    EXPECT_EQ(RecordKind::B, r.kind);
    EXPECT_EQ(0, r.videoCameras);
    EXPECT_EQ(0x0A, r.audioCameras);
    EXPECT_EQ(9, r.qscale);
    ASSERT_EQ(3u, r.straddles.size());
    EXPECT_EQ(2u, r.straddles[1].segment);
    EXPECT_EQ(4u, r.straddles[1].framesFromEnd);
    EXPECT_FALSE(r.straddles[1].early);
    EXPECT_EQ(3u, r.straddles[2].segment);
    EXPECT_EQ(1u, r.straddles[2].framesFromEnd);
    EXPECT_TRUE(r.straddles[2].early);
    ASSERT_EQ(1u, r.hugeFrames.size());
    EXPECT_EQ(3, r.hugeFrames[0].camera);
    EXPECT_EQ(11, r.hugeFrames[0].frame);
    EXPECT_EQ(130000u, r.hugeFrames[0].bytes);
    EXPECT_EQ(std::vector<uint32_t>{0}, r.emptySegments);
    EXPECT_TRUE(r.audioAreaBit.value());
    EXPECT_EQ(0x8001, r.videoChannelField.value());
    EXPECT_EQ(0x0100, r.audioChannelField.value());
}
