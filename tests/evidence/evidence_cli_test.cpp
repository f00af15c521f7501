// quillon-cli export, verify and hash as a script runs them: the report
// beside the export, verify passing on the untouched pair and naming the
// first mismatch otherwise, and hash agreeing with sha256sum, md5sum and dd.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "export/capture_tools.h"
#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using capture_test::Shell;
using Json = nlohmann::json;

using CliRun = testing_support::ToolRun;

std::string Text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string FirstWord(const std::optional<std::string>& text) { return text ? text->substr(0, text->find(' ')) : ""; }

// Overwrites one byte of a file.
void ChangeByte(const std::string& path, uint64_t offset)
{
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekg(static_cast<std::streamoff>(offset));
    const char old = static_cast<char>(f.get());
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(static_cast<char>(old ^ 0x5a));
}

class EvidenceCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::DemoPlan(), Image())));
        const CliRun r = Cli("export '" + Image() + "' --record 1 --from 3 --to 5 -o '" + Output() + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        report = Text(Output() + ".report.json");
    }
    static void TearDownTestSuite() { dir.reset(); }
    static std::string Image() { return dir->File("demo.img"); }
    static std::string Output() { return dir->File("out.mpg"); }

    static CliRun Cli(const std::string& args)
    {
        return testing_support::RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-cli " + args, dir->File("stderr.txt"));
    }

    // A copy of the export and its report in a folder of its own.
    std::string CopyPair(const std::string& name, const std::string& reportText)
    {
        const std::filesystem::path folder = dir->Path() / name;
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(Output(), folder / "out.mpg", std::filesystem::copy_options::overwrite_existing);
        WriteText((folder / "out.mpg.report.json").string(), reportText);
        return (folder / "out.mpg.report.json").string();
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    static inline std::string report;
};

TEST_F(EvidenceCliTest, TheCommandLinesExportHasItsReportAndVerifies)
{
    const Json j = Json::parse(report, nullptr, false);
    ASSERT_FALSE(j.is_discarded());
    EXPECT_EQ(j["complete"], true);
    EXPECT_EQ(j["output"]["sha256"], FirstWord(Shell("sha256sum '" + Output() + "'")));
    EXPECT_EQ(j["output"]["md5"], FirstWord(Shell("md5sum '" + Output() + "'")));
    ASSERT_GE(j["reads"].size(), 4u) << "positions 3 to 6";
    for (const Json& read : j["reads"])
        EXPECT_EQ(read["sha256"],
                  FirstWord(Shell(
                      "dd if='" + Image() + "' bs=512 skip=" + std::to_string(read["first_sector"].get<uint64_t>()) +
                      " count=" + std::to_string(read["sector_count"].get<uint64_t>()) + " status=none | sha256sum")));

    const CliRun r = Cli("verify '" + Output() + ".report.json'");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    // The disk's size, three structures, the reads, the stream header, the output.
    EXPECT_NE(r.out.find("summary\t" + std::to_string(4 + j["reads"].size() + 1 + 1) + " checks\tall match"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("MISMATCH"), std::string::npos);
}

// The stream header's sectors and the master's sound areas are read again
// like every other range: a changed byte in either is a mismatch. verify
// names the disk the export read, and says whether the disk given is it.
TEST_F(EvidenceCliTest, AChangedByteInTheStreamHeaderOrASoundAreaFailsVerify)
{
    const std::string master = dir->File("master.mkv");
    const CliRun made = Cli("export '" + Image() + "' --record 1 --from 3 --to 4 -o '" + master + "'");
    ASSERT_EQ(made.status, 0) << made.err;
    const Json j = Json::parse(Text(master + ".report.json"), nullptr, false);
    ASSERT_TRUE(j["stream_header"].is_object()) << j.dump(1);
    ASSERT_EQ(j["sound_reads"].size(), 3u) << "positions 3 to 5";
    const CliRun clean = Cli("verify '" + master + ".report.json'");
    EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
    const std::string header =
        "stream header (captured at position " + std::to_string(j["stream_header"]["position"].get<int>()) + ")";
    EXPECT_NE(clean.out.find(header + "\tok"), std::string::npos) << clean.out;
    EXPECT_NE(clean.out.find("sound area at position 4\tok"), std::string::npos) << clean.out;
    EXPECT_NE(clean.out.find("source\t" + Image() + "\traw image, device "), std::string::npos) << clean.out;
    EXPECT_NE(clean.out.find("disk now\tthe same\t"), std::string::npos) << clean.out;

    const uint64_t headerByte = j["stream_header"]["first_sector"].get<uint64_t>() * 512 +
                                j["stream_header"]["byte_offset"].get<uint64_t>() + 10;
    const uint64_t soundByte = j["sound_reads"][1]["first_sector"].get<uint64_t>() * 512 + 3000;
    for (const auto& [what, offset] :
         {std::pair{header, headerByte}, std::pair{std::string("sound area at position 4"), soundByte}}) {
        SCOPED_TRACE(what);
        const std::string copy = dir->File("flipped.img");
        std::filesystem::copy_file(Image(), copy, std::filesystem::copy_options::overwrite_existing);
        ChangeByte(copy, offset);
        const CliRun r = Cli("verify '" + master + ".report.json' --disk '" + copy + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(what + "\tMISMATCH"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("disk now\tanother or changed\t"), std::string::npos) << r.out;
    }
}

TEST_F(EvidenceCliTest, AFailedExportLeavesNoReport)
{
    const std::string full = dir->File("full.mpg");
    ASSERT_EQ(::symlink("/dev/full", full.c_str()), 0);
    EXPECT_EQ(Cli("export '" + Image() + "' --record 1 --from 0 --to 3 -o '" + full + "'").status, 1);
    EXPECT_FALSE(std::filesystem::exists(full + ".report.json"));
    EXPECT_EQ(Cli("export '" + Image() + "' --record 1 --from 30 --to 31 -o '" + dir->File("late.mpg") + "'").status,
              1);
    EXPECT_FALSE(std::filesystem::exists(dir->File("late.mpg.report.json")));
}

TEST_F(EvidenceCliTest, VerifyNamesTheFirstMismatch)
{
    const Json j = Json::parse(report);
    {
        const std::string changed = CopyPair("changed-output", report);
        ChangeByte((std::filesystem::path(changed).parent_path() / "out.mpg").string(), 5000);
        const CliRun r = Cli("verify '" + changed + "' --disk '" + Image() + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("first mismatch: output out.mpg"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("sha256 "), std::string::npos);
    }
    {
        // One byte in the second read's sectors of a copy of the image.
        const std::string copy = dir->File("copy.img");
        std::filesystem::copy_file(Image(), copy, std::filesystem::copy_options::overwrite_existing);
        const uint64_t first = j["reads"][1]["first_sector"];
        ChangeByte(copy, first * 512 + 700);
        const CliRun r = Cli("verify '" + Output() + ".report.json' --disk '" + copy + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("first mismatch: read at position 4: sectors " + std::to_string(first)), std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find("read at position 3\tok"), std::string::npos) << "the reads before it still match";
        EXPECT_NE(r.out.find("output out.mpg\tok"), std::string::npos) << "every check runs";
    }
    {
        const std::string missing = CopyPair("missing-output", report);
        std::filesystem::remove(std::filesystem::path(missing).parent_path() / "out.mpg");
        const CliRun r = Cli("verify '" + missing + "' --disk '" + Image() + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("output out.mpg: missing"), std::string::npos) << r.err;
    }
    {
        const CliRun r = Cli("verify '" + Output() + ".report.json' --disk '" + dir->File("gone.img") + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("first mismatch: disk"), std::string::npos) << r.err;
        EXPECT_EQ(Cli("verify '" + dir->File("no-report.json") + "'").status, 1);
    }
}

TEST_F(EvidenceCliTest, HandEditedReportsAreRefusedOrFailNeverCrash)
{
    const auto verify = [&](const std::string& name, const std::string& text) {
        return Cli("verify '" + CopyPair(name, text) + "' --disk '" + Image() + "'");
    };
    CliRun r = verify("truncated", report.substr(0, report.size() / 3));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not valid JSON"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << "nothing is checked from a damaged report";

    Json j = Json::parse(report);
    j["reads"][0]["sector_count"] = "531";
    r = verify("wrong-type", j.dump());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("reads[0].sector_count"), std::string::npos) << r.err;

    j = Json::parse(report);
    j["output"]["size_bytes"] = 1e300;
    r = verify("huge", j.dump());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("output.size_bytes"), std::string::npos) << r.err;

    // Sectors the disk does not have: a failed check, not a read past the end.
    j = Json::parse(report);
    const uint64_t sectors = std::filesystem::file_size(Image()) / 512;
    j["reads"][0]["first_sector"] = sectors - 2;
    j["reads"][0]["sector_count"] = 10;
    r = verify("past-the-disk", j.dump());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("read at position 3: sectors " + std::to_string(sectors - 2)), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("past the disk's end"), std::string::npos) << r.out;

    // A hash edited to another well-formed value: a mismatch.
    j = Json::parse(report);
    j["source"]["sector0"]["sha256"] = std::string(64, '0');
    r = verify("edited-hash", j.dump());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("first mismatch: sector 0"), std::string::npos) << r.err;
}

TEST_F(EvidenceCliTest, HashAgreesWithSha256sumMd5sumAndDd)
{
    CliRun r = Cli("hash '" + Image() + "' --md5");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string bytes = std::to_string(std::filesystem::file_size(Image()));
    EXPECT_EQ(r.out, "sha256\t" + FirstWord(Shell("sha256sum '" + Image() + "'")) + "\t" + bytes + "\t" + Image() +
                         "\nmd5\t" + FirstWord(Shell("md5sum '" + Image() + "'")) + "\t" + bytes + "\t" + Image() +
                         "\n");
    EXPECT_EQ(r.err, "") << "no progress bar off a terminal";

    // Segments 3 to 6 (the end mark's and the next second), each as dd reads
    // its sectors, and all of them in order as the export's reads did.
    r = Cli("hash '" + Image() + "' --record 1 --from 3 --to 5");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line, all;
    int segments = 0;
    while (std::getline(lines, line) && line.rfind("sha256", 0) != 0) {
        unsigned position = 0;
        unsigned long long first = 0, count = 0;
        char sha[65]{};
        ASSERT_EQ(std::sscanf(line.c_str(), "%u\t%llu\t%llu\t%64s", &position, &first, &count, sha), 4) << line;
        EXPECT_EQ(position, 3u + segments);
        const std::string dd = "dd if='" + Image() + "' bs=512 skip=" + std::to_string(first) +
                               " count=" + std::to_string(count) + " status=none";
        EXPECT_EQ(sha, FirstWord(Shell(dd + " | sha256sum")));
        all += dd + "; ";
        ++segments;
    }
    EXPECT_EQ(segments, 4);
    EXPECT_EQ(line.substr(7, 64), FirstWord(Shell("(" + all + ") | sha256sum")));

    EXPECT_EQ(Cli("hash '" + Image() + "' --record 9").status, 1);
    EXPECT_EQ(Cli("hash '" + Image() + "' --record 1 --from 99").status, 1);
    EXPECT_EQ(Cli("hash '" + Image() + "' --from 1").status, 1) << "--from needs --record";
}

// An E01 of the disk: the same hash as the plain image, the digest its
// imager stored checked, and an export from it verified against the plain
// image (the same sectors).
TEST_F(EvidenceCliTest, AnE01HashesAsThePlainImageAndChecksItsStoredDigest)
{
    if (!Shell("command -v ewfacquire"))
        GTEST_SKIP() << "ewf-tools missing";
    ASSERT_TRUE(Shell("cd '" + dir->Path().string() + "' && ewfacquire -u -q -c fast -S 4194304 -t ewf demo.img"));
    const std::string e01 = dir->File("ewf.E01");
    CliRun r = Cli("hash '" + e01 + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("sha256\t" + FirstWord(Shell("sha256sum '" + Image() + "'")) + "\t"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("stored\tmd5\t" + FirstWord(Shell("md5sum '" + Image() + "'")) + "\tmatches\n"),
              std::string::npos)
        << r.out;

    const std::string out = dir->File("from-e01.avi");
    ASSERT_EQ(Cli("export '" + e01 + "' --record 2 --from 1 --to 2 -o '" + out + "'").status, 0);
    r = Cli("verify '" + out + ".report.json' --disk '" + Image() + "'");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(Json::parse(Text(out + ".report.json"))["source"]["path"], e01);
}

// verify hashes the file the report sits beside, and that file must be the
// output the report names: a report copied beside another file, or named
// other than OUTPUT.report.json, never verifies.
TEST_F(EvidenceCliTest, VerifyChecksTheFileTheReportSitsBeside)
{
    const std::filesystem::path folder = dir->Path() / "renamed";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(Output(), folder / "other.mpg", std::filesystem::copy_options::overwrite_existing);
    WriteText((folder / "other.mpg.report.json").string(), report);
    CliRun r = Cli("verify '" + (folder / "other.mpg.report.json").string() + "' --disk '" + Image() + "'");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("output name\tMISMATCH\tthe report is for out.mpg, but sits beside other.mpg"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("output other.mpg\tok"), std::string::npos) << "the bytes beside it are still hashed";

    // The report's output is there, but the report is not named after it.
    std::filesystem::copy_file(Output(), folder / "out.mpg", std::filesystem::copy_options::overwrite_existing);
    WriteText((folder / "report.json").string(), report);
    r = Cli("verify '" + (folder / "report.json").string() + "' --disk '" + Image() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("OUTPUT.report.json"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    WriteText((folder / ".report.json").string(), report);
    EXPECT_EQ(Cli("verify '" + (folder / ".report.json").string() + "' --disk '" + Image() + "'").status, 1);
}

// What cannot be checked is never "all match": a report without its output
// or with a range it holds no hash for is status 1; a report saying the
// export is incomplete verifies its bytes and is status 2; a field given
// twice is refused.
TEST_F(EvidenceCliTest, OnlyACompleteExportWithEverythingCheckedIsAllMatch)
{
    const auto verify = [&](const std::string& name, const std::string& text) {
        return Cli("verify '" + CopyPair(name, text) + "' --disk '" + Image() + "'");
    };
    Json j = Json::parse(report);
    j["output"] = nullptr;
    CliRun r = verify("no-output", j.dump());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("output out.mpg\tUNCHECKED\tthe report names no output file"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("all match"), std::string::npos) << r.out;

    j = Json::parse(report);
    j["source"]["record_index"]["sha256"] = nullptr;
    r = verify("no-index-hash", j.dump());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.err.find("first mismatch: record index: the report has no hash"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("record index\tUNCHECKED"), std::string::npos) << r.out;

    j = Json::parse(report);
    j["complete"] = false;
    j["end"] = "stopped";
    j["reason"] = "the export was stopped";
    r = verify("incomplete", j.dump());
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    EXPECT_NE(r.out.find("export\tINCOMPLETE\tstopped: the export was stopped"), std::string::npos) << r.out;
    // The disk's size, sector 0, the table, the index, each read, the stream
    // header's sectors and the output.
    EXPECT_NE(r.out.find("summary\t" + std::to_string(4 + j["reads"].size() + 2) +
                         " checks\tbytes match\tINCOMPLETE export: stopped: the export was stopped"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("MISMATCH"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("all match"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("incomplete"), std::string::npos) << r.err;
    // Incomplete and changed: the mismatch wins.
    const std::string changed = CopyPair("incomplete-changed", j.dump());
    ChangeByte((std::filesystem::path(changed).parent_path() / "out.mpg").string(), 100);
    EXPECT_EQ(Cli("verify '" + changed + "' --disk '" + Image() + "'").status, 1);

    const std::string text = Json::parse(report).dump();
    const std::size_t complete = text.find("\"complete\":true");
    ASSERT_NE(complete, std::string::npos);
    r = verify("twice", text.substr(0, complete) + "\"complete\":false," + text.substr(complete));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"complete\" is given twice"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

// A full disk under the standard output is a failure, whatever the command.
TEST_F(EvidenceCliTest, AStandardOutputThatCannotBeWrittenIsAFailure)
{
    for (const std::string& args :
         std::vector<std::string>{"hash '" + Image() + "'", "verify '" + Output() + ".report.json'",
                                  "records '" + Image() + "'", "--help", "verify --help", "--version"}) {
        const CliRun r = Cli(args + " >/dev/full");
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_NE(r.err.find("cannot write the standard output"), std::string::npos) << args << ": " << r.err;
    }
    EXPECT_EQ(Cli("hash '" + Image() + "' >/dev/null").status, 0);
}

// Past 2 TiB: the demo disk at the start of a sparse 3 TiB image, its report
// given a read across sector 2^32 and one past it, verified against dd's
// bytes; a changed byte there is a mismatch named by its 64-bit sector.
TEST_F(EvidenceCliTest, ReportRangesPast2TiBVerify)
{
    const std::string big = dir->File("big.img");
    std::filesystem::copy_file(Image(), big, std::filesystem::copy_options::overwrite_existing);
    if (!Shell("truncate -s 3T '" + big + "'"))
        GTEST_SKIP() << "no room for a sparse 3 TiB file here";
    const uint64_t across = (1ull << 32) - 3, past = (5ull << 39) / 512;
    ASSERT_TRUE(Shell("head -c 1048576 /dev/urandom | dd of='" + big + "' bs=512 seek=" + std::to_string(across) +
                      " conv=notrunc status=none"));
    ASSERT_TRUE(Shell("head -c 65536 /dev/urandom | dd of='" + big + "' bs=512 seek=" + std::to_string(past) +
                      " conv=notrunc status=none"));
    const auto sha = [&](uint64_t first, uint64_t count) {
        return FirstWord(Shell("dd if='" + big + "' bs=512 skip=" + std::to_string(first) +
                               " count=" + std::to_string(count) + " status=none | sha256sum"));
    };
    Json j = Json::parse(report);
    j["source"]["size_bytes"] = 3ull << 40;
    j["reads"].push_back(
        {{"position", 7}, {"first_sector", across}, {"sector_count", 2000}, {"sha256", sha(across, 2000)}});
    j["reads"].push_back({{"position", 8}, {"first_sector", past}, {"sector_count", 128}, {"sha256", sha(past, 128)}});
    const std::string pair = CopyPair("past-2tib", j.dump());
    CliRun r = Cli("verify '" + pair + "' --disk '" + big + "'");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("read at position 7\tok\tsectors " + std::to_string(across) + " to " +
                         std::to_string(across + 1999)),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("read at position 8\tok\tsectors " + std::to_string(past)), std::string::npos) << r.out;

    ChangeByte(big, (past + 100) * 512);
    r = Cli("verify '" + pair + "' --disk '" + big + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("first mismatch: read at position 8: sectors " + std::to_string(past)), std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("read at position 7\tok"), std::string::npos) << r.out;
}

}  // namespace
