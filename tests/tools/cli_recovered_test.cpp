// quillon-cli on a recording the record table no longer lists: the disk's
// header is made to count one record fewer, so its last record stands in
// the table as an unlisted entry. --record u1 scans the disk and reads it
// exactly as --record 3 read it before; an export of it says so in its
// report, which verify checks like any other. On the recovery demo disk,
// every intact recovered recording reads as its all-listed twin, overwritten
// seconds are lost seconds, and carved seconds are stamped by id and
// position, never with a clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/file_bytes.h"
#include "support/run_tool.h"
#include "support/staggered_plan.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_plan.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using testing_support::ReadText;
using testing_support::ToolRun;

class CliRecoveredTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        const mkdisk::DiskPlan plan = testing_support::StaggeredPlan(3, {2006, 3, 15, 10, 0, 0}, 0x1);
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, Listed())));
        std::vector<uint8_t> bytes = testing_support::ReadBytes(Listed());
        ASSERT_GT(bytes.size(), 512u);
        // The header's record count (big-endian, bytes 24 and 25): one fewer.
        ASSERT_EQ(bytes[24], 0);
        ASSERT_EQ(bytes[25], 3);
        bytes[25] = 2;
        firstEntryPosition = bytes[38] << 8 | bytes[39];
        ASSERT_TRUE(testing_support::WriteBytes(Unlisted(), bytes));
    }
    static void TearDownTestSuite() { dir.reset(); }
    static std::string Listed() { return dir->File("listed.img"); }
    static std::string Unlisted() { return dir->File("unlisted.img"); }
    static ToolRun Cli(const std::string& args)
    {
        return testing_support::RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-cli " + args, dir->File("err.txt"));
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    static inline int firstEntryPosition = 0;
};

TEST_F(CliRecoveredTest, AnUnlistedRecordReadsByItsIdAsItReadByItsNumber)
{
    // The listed numbers stay the header's.
    const ToolRun gone = Cli("frames '" + Unlisted() + "' --record 3");
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.err.find("record out of range: the volume has 2 records"), std::string::npos) << gone.err;

    const ToolRun listed = Cli("frames '" + Listed() + "' --record 3 --audio-camera 1");
    ASSERT_EQ(listed.status, 0) << listed.err;
    ASSERT_GT(listed.out.size(), 100u);
    const ToolRun recovered = Cli("frames '" + Unlisted() + "' --record u1 --audio-camera 1");
    ASSERT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_EQ(recovered.out, listed.out);

    for (const char* command : {"hash", "audio"}) {
        SCOPED_TRACE(command);
        const std::string tail = std::string(command) == "audio" ? " --camera 1 -o '" : "";
        const ToolRun a = Cli(std::string(command) + " '" + Listed() + "' --record 3" +
                              (tail.empty() ? "" : tail + dir->File("a.wav") + "'"));
        const ToolRun b = Cli(std::string(command) + " '" + Unlisted() + "' --record u1" +
                              (tail.empty() ? "" : tail + dir->File("b.wav") + "'"));
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(b.status, 0) << b.err;
        // hash ends with the disk's path: the same bytes of the other image.
        std::string expected = a.out;
        if (const size_t at = expected.find(Listed()); at != std::string::npos)
            expected.replace(at, Listed().size(), Unlisted());
        EXPECT_EQ(b.out, expected);
    }
    EXPECT_EQ(ReadText(dir->File("a.wav")), ReadText(dir->File("b.wav")));

    // An id the scan did not find is refused with what it did find.
    const ToolRun unknown = Cli("frames '" + Unlisted() + "' --record u9");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("no recovered recording u9 on this disk (the scan found u1"), std::string::npos)
        << unknown.err;
    EXPECT_EQ(unknown.out, "");
}

TEST_F(CliRecoveredTest, AnExportOfARecoveredRecordingSaysSoAndVerifies)
{
    const std::string out = dir->File("u1.mpg");
    const ToolRun exported = Cli("export '" + Unlisted() + "' --record u1 --from 0 --to 3 -o '" + out + "'");
    ASSERT_EQ(exported.status, 0) << exported.err;
    const nlohmann::json report = nlohmann::json::parse(ReadText(out + ".report.json"));
    EXPECT_TRUE(report["complete"].get<bool>());
    EXPECT_TRUE(report["record"]["number"].is_null());
    EXPECT_EQ(report["record"]["begin_time"], "2006/03/15 10:20:00");
    EXPECT_EQ(report["segment"]["begin_time"], "2006/03/15 10:20:00");
    const nlohmann::json& recovered = report["recovered"];
    EXPECT_EQ(recovered["id"], "u1");
    EXPECT_EQ(recovered["source"], "table slot");
    EXPECT_EQ(recovered["slot"], firstEntryPosition + 2) << "the third entry's slot";
    EXPECT_EQ(recovered["times"], "recorded");
    ASSERT_EQ(recovered["segments"].size(), 1u);
    EXPECT_EQ(recovered["segments"][0]["status"], "intact");
    EXPECT_EQ(recovered["segments"][0]["last_position"], 4) << "the end mark's second and the one after it";

    const ToolRun verify = Cli("verify '" + out + ".report.json'");
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
    EXPECT_NE(verify.out.find("recording\tu1\trecovered (table slot)"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find("all match"), std::string::npos) << verify.out;

    // The same span of the listed record: the same pictures.
    const std::string listedOut = dir->File("r3.mpg");
    const ToolRun listed = Cli("export '" + Listed() + "' --record 3 --from 0 --to 3 -o '" + listedOut + "'");
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(std::filesystem::file_size(listedOut), std::filesystem::file_size(out));
}

}  // namespace

namespace {

// The recovery demo disk (records the table no longer lists, one of each
// kind, one of them partly overwritten) beside its all-listed twin, which
// holds the same streams with every record listed.
class CliRecoveryDemoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::RecoverDemoPlan(), Demo())));
        ASSERT_TRUE(
            testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::AllListed(mkdisk::RecoverDemoPlan()), Twin())));
    }
    static void TearDownTestSuite() { dir.reset(); }
    static std::string Demo() { return dir->File("demo.img"); }
    static std::string Twin() { return dir->File("twin.img"); }
    static ToolRun Cli(const std::string& args)
    {
        return testing_support::RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-cli " + args, dir->File("err.txt"));
    }
    // frames' lines whose segment column is one of those given.
    static std::vector<std::string> InSeconds(const std::string& out, std::initializer_list<int> seconds)
    {
        std::vector<std::string> kept;
        for (const std::string& line : testing_support::Lines(out)) {
            const size_t a = line.find('\t'), b = line.find('\t', a + 1), c = line.find('\t', b + 1);
            const int segment = std::stoi(line.substr(b + 1, c - b - 1));
            if (std::find(seconds.begin(), seconds.end(), segment) != seconds.end())
                kept.push_back(line);
        }
        return kept;
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
};

TEST_F(CliRecoveryDemoTest, EveryIntactRecoveredRecordingReadsAsItsListedTwin)
{
    // Unlisted entries, an orphan index run and carved seconds, against the
    // twin's records in plan order.
    for (const auto& [id, number] : {std::pair{"u1", 1}, {"u3", 4}, {"i1", 6}, {"c1", 7}}) {
        SCOPED_TRACE(id);
        const ToolRun recovered = Cli("frames '" + Demo() + "' --record " + id);
        const ToolRun listed = Cli("frames '" + Twin() + "' --record " + std::to_string(number));
        ASSERT_EQ(recovered.status, 0) << recovered.err;
        ASSERT_EQ(listed.status, 0) << listed.err;
        ASSERT_GT(listed.out.size(), 100u);
        EXPECT_EQ(recovered.out, listed.out);
    }
}

TEST_F(CliRecoveryDemoTest, OverwrittenSecondsAreLostAndNeverShownAsTheRecordingsOwn)
{
    // u2's last two seconds were written over by the next record.
    const ToolRun frames = Cli("frames '" + Demo() + "' --record u2");
    const ToolRun twin = Cli("frames '" + Twin() + "' --record 2");
    ASSERT_EQ(frames.status, 0) << frames.err;
    ASSERT_EQ(twin.status, 0) << twin.err;
    EXPECT_EQ(InSeconds(frames.out, {0, 1}), InSeconds(twin.out, {0, 1}));
    for (const std::string& line : InSeconds(frames.out, {2, 3}))
        EXPECT_NE(line.find("\t-\t-\t-\t-"), std::string::npos) << "a frame from an overwritten second: " << line;
    EXPECT_FALSE(InSeconds(twin.out, {2, 3}).empty());

    const std::string failed = dir->File("failed.mpg");
    const ToolRun refused = Cli("export '" + Demo() + "' --record u2 --from 0 --to 2 -o '" + failed + "'");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("position 2 (2024/06/01 08:10:02): second 2 of u2 is overwritten: sectors "),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(std::filesystem::exists(failed));

    const std::string out = dir->File("u2.mpg");
    const ToolRun kept = Cli("export '" + Demo() + "' --record u2 --from 0 --to 2 --keep-going -o '" + out + "'");
    ASSERT_EQ(kept.status, 0) << kept.err;
    const nlohmann::json report = nlohmann::json::parse(ReadText(out + ".report.json"));
    EXPECT_FALSE(report["complete"].get<bool>());
    ASSERT_EQ(report["lost_seconds"].size(), 2u);
    EXPECT_EQ(report["lost_seconds"][0]["position"], 2);
    EXPECT_EQ(report["lost_seconds"][1]["position"], 3);
    for (const nlohmann::json& read : report["reads"])
        EXPECT_LT(read["position"].get<int>(), 2) << "an overwritten second was read";
    const nlohmann::json& segments = report["recovered"]["segments"];
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[0]["status"], "intact");
    EXPECT_EQ(segments[0]["last_position"], 1);
    EXPECT_EQ(segments[1]["status"], "overwritten");
    EXPECT_TRUE(segments[1]["note"].is_string());
    EXPECT_EQ(segments[2]["first_position"], 3);
    const ToolRun verify = Cli("verify '" + out + ".report.json'");
    EXPECT_EQ(verify.status, 2) << verify.out;
    EXPECT_EQ(verify.out.find("all match"), std::string::npos);
    EXPECT_NE(verify.out.find("lost second\tLOST\tposition 2: second 2 of u2 is overwritten"), std::string::npos)
        << verify.out;
}

TEST_F(CliRecoveryDemoTest, CarvedSecondsWithoutATimeAreStampedByIdAndPositionAndVerify)
{
    const std::string out = dir->File("c1.mkv");
    const ToolRun exported = Cli("export '" + Demo() + "' --record c1 --from 1 --to 1 -o '" + out + "'");
    ASSERT_EQ(exported.status, 0) << exported.err;
    const nlohmann::json report = nlohmann::json::parse(ReadText(out + ".report.json"));
    EXPECT_TRUE(report["complete"].get<bool>()) << report["reason"];
    EXPECT_EQ(report["record"]["begin_time"], "c1 +00:00:00");
    EXPECT_EQ(report["record"]["end_time"], "c1 +00:00:02");
    EXPECT_EQ(report["segment"]["begin_time"], "c1 +00:00:01");
    EXPECT_EQ(report["segment"]["end_time"], "c1 +00:00:01");
    EXPECT_EQ(report["recovered"]["source"], "carved");
    EXPECT_EQ(report["recovered"]["times"], "unknown");
    EXPECT_TRUE(report["source"]["record_index"].is_null());
    const ToolRun verify = Cli("verify '" + out + ".report.json'");
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
    EXPECT_NE(verify.out.find("recording\tc1\trecovered (carved)"), std::string::npos) << verify.out;

    // The master's own tags, read by ffprobe: no clock anywhere.
    const ToolRun tags = testing_support::RunTool(
        "ffprobe -v error -show_entries format_tags -of default=nw=1 '" + out + "'", dir->File("probe.txt"));
    ASSERT_EQ(tags.status, 0) << tags.err;
    EXPECT_NE(tags.out.find("=Record c1 from c1 +00:00:01\n"), std::string::npos) << tags.out;
    EXPECT_NE(tags.out.find("RECORD_BEGIN_TIME=c1 +00:00:00\n"), std::string::npos) << tags.out;
    EXPECT_EQ(tags.out.find("2024"), std::string::npos) << tags.out;

    // An MP4 of it has no creation time; the twin's record has its own.
    const std::string mp4 = dir->File("c1.mp4"), twinMp4 = dir->File("r7.mp4");
    ASSERT_EQ(Cli("export '" + Demo() + "' --record c1 --from 0 --to 1 -o '" + mp4 + "'").status, 0);
    ASSERT_EQ(Cli("export '" + Twin() + "' --record 7 --from 0 --to 1 -o '" + twinMp4 + "'").status, 0);
    const std::string probe = "ffprobe -v error -show_entries format_tags=creation_time -of default=nw=1 '";
    EXPECT_EQ(testing_support::RunTool(probe + mp4 + "'", dir->File("probe.txt")).out, "");
    EXPECT_EQ(testing_support::RunTool(probe + twinMp4 + "'", dir->File("probe.txt")).out,
              "TAG:creation_time=2024-06-01T09:00:00.000000Z\n");
}

}  // namespace
