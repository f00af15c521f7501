// quillon-cli on a recording the record table no longer lists: the disk's
// header is made to count one record fewer, so its last record stands in
// the table as an unlisted entry. --record u1 scans the disk and reads it
// exactly as --record 3 read it before; an export of it says so in its
// report, which verify checks like any other.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using testing_support::ReadText;
using testing_support::ToolRun;

class CliRecoveredTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan;
        for (uint32_t r = 0; r < 3; ++r) {
            mkdisk::RecordPlan record;
            record.begin = {2006, 3, 15, 10, static_cast<int>(10 * r), 0};
            record.seconds = 3 + r;
            record.audioCameras = 0x1;
            plan.records.push_back(record);
        }
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, Listed())));
        std::ifstream in(Listed(), std::ios::binary);
        std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_GT(bytes.size(), 512u);
        // The header's record count (big-endian, bytes 24 and 25): one fewer.
        ASSERT_EQ(static_cast<uint8_t>(bytes[24]), 0);
        ASSERT_EQ(static_cast<uint8_t>(bytes[25]), 3);
        bytes[25] = 2;
        firstEntryPosition = static_cast<uint8_t>(bytes[38]) << 8 | static_cast<uint8_t>(bytes[39]);
        std::ofstream(Unlisted(), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
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
