// A second that cannot be read whole from the disk, in an image cut short
// and in an E01 image whose chunk fails its checksum: quillon-cli export
// fails with one line naming the position and leaves nothing; with
// --keep-going it writes the second without picture, keeps every camera in
// its cell after it, and leaves a report that says the export is
// incomplete, which verify never passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "export/export_tools.h"
#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/manifest.h"

namespace {

using testing_support::ReadText;
using testing_support::ToolRun;

constexpr int kWidth = 640, kHeight = 480;

class CliLostSecondTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan r;
        r.begin = {2006, 3, 15, 23, 59, 30};
        r.seconds = 7;
        r.audioCameras = 0x1;
        plan.records.push_back(r);
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, Disk(), &manifest)));
        ASSERT_EQ(manifest.records.size(), 1u);
        ASSERT_EQ(manifest.records[0].segments.size(), 7u);
    }
    static void TearDownTestSuite() { dir.reset(); }
    static std::string Disk() { return dir->File("disk.img"); }
    static const mkdisk::ManifestSegment& Segment(int position) { return manifest.records[0].segments.at(position); }

    static ToolRun Run(const std::string& command) { return testing_support::RunTool(command, dir->File("err.txt")); }
    static ToolRun Cli(const std::string& args) { return Run(std::string(QUILLON_BIN_DIR) + "/quillon-cli " + args); }

    static std::vector<uint8_t> Bytes(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Write(const std::string& path, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    // The default: status 1, one line naming the position, nothing left.
    static void ExpectFailure(const std::string& disk, int from, int to, int lostPosition, const std::string& error)
    {
        const std::string out = dir->File("failed.mpg");
        const ToolRun run = Cli("export '" + disk + "' --record 1 --from " + std::to_string(from) + " --to " +
                                std::to_string(to) + " -o '" + out + "'");
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_EQ(run.out, "");
        // One line says why (a warning on the damaged index may come first).
        std::vector<std::string> failures;
        for (const std::string& line : testing_support::Lines(run.err))
            if (line.rfind("quillon-cli: warning:", 0) != 0)
                failures.push_back(line);
        ASSERT_EQ(failures.size(), 1u) << run.err;
        EXPECT_NE(failures[0].find("position " + std::to_string(lostPosition) + " ("), std::string::npos) << run.err;
        EXPECT_NE(failures[0].find(error), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_FALSE(std::filesystem::exists(out + ".report.json"));
    }

    // With --keep-going: status 0, and a report that lists the lost second,
    // says the export is incomplete, and verifies as incomplete (status 2).
    static nlohmann::json KeepGoing(const std::string& disk, int from, int to, int lostPosition, const std::string& out)
    {
        const ToolRun run = Cli("export '" + disk + "' --record 1 --from " + std::to_string(from) + " --to " +
                                std::to_string(to) + " --keep-going -o '" + out + "'");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("position " + std::to_string(lostPosition) + " ("), std::string::npos) << run.err;
        const auto report = nlohmann::json::parse(ReadText(out + ".report.json"), nullptr, false);
        EXPECT_FALSE(report.is_discarded());
        if (report.is_discarded())
            return report;
        EXPECT_EQ(report["complete"], false);
        EXPECT_NE(report["reason"].get<std::string>().find("position " + std::to_string(lostPosition)),
                  std::string::npos)
            << report["reason"];
        const auto& lost = report["lost_seconds"];
        EXPECT_EQ(lost.size(), 1u) << lost;
        if (lost.size() == 1) {
            EXPECT_EQ(lost[0]["position"], lostPosition);
            EXPECT_EQ(lost[0]["first_sector"], Segment(lostPosition).firstSector);
            EXPECT_FALSE(lost[0]["error"].get<std::string>().empty());
        }
        const ToolRun verify = Cli("verify '" + out + ".report.json'");
        // The bytes it holds match, the export is incomplete: status 2.
        EXPECT_EQ(verify.status, 2) << verify.out;
        EXPECT_EQ(verify.out.find("all match"), std::string::npos) << verify.out;
        EXPECT_NE(verify.out.find("lost second\tLOST\tposition " + std::to_string(lostPosition)), std::string::npos)
            << verify.out;
        EXPECT_NE(verify.out.find("INCOMPLETE export"), std::string::npos) << verify.out;
        return report;
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    static inline mkdisk::Manifest manifest;
};

TEST_F(CliLostSecondTest, AnImageCutShortInsideASecondFailsTheExportUnlessKeepGoing)
{
    // The image ends half-way through position 5.
    std::vector<uint8_t> image = Bytes(Disk());
    const mkdisk::ManifestSegment& cut = Segment(5);
    image.resize((std::size_t(cut.firstSector) + cut.sectors / 2) * 512);
    const std::string disk = dir->File("cut.img");
    Write(disk, image);

    // Position 5 is the second after the end mark's: it belongs to the export.
    ExpectFailure(disk, 2, 4, 5, "past the disk's end");
    const nlohmann::json report = KeepGoing(disk, 2, 4, 5, dir->File("cut.mpg"));
    EXPECT_EQ(report["lost_seconds"][0]["sector_count"], cut.sectors);

    // An export that ends before it never meets it.
    const ToolRun before = Cli("export '" + disk + "' --record 1 --from 1 --to 3 -o '" + dir->File("ok.mpg") + "'");
    EXPECT_EQ(before.status, 0) << before.err;
    EXPECT_EQ(Cli("verify '" + dir->File("ok.mpg") + ".report.json'").status, 0);
}

TEST_F(CliLostSecondTest, AnE01ChunkFailingItsChecksumIsALostSecondAndTheCamerasKeepTheirCells)
{
    if (Run("command -v ewfacquire").status != 0)
        GTEST_SKIP() << "ewf-tools missing (scripts/install-deps installs them)";
    // Chunks stored as they are, so that a byte of position 3 can be found
    // in the image file and changed.
    ASSERT_EQ(Run("cd '" + dir->Path().string() + "' && ewfacquire -u -q -c none -t lost disk.img").status, 0);
    const std::string e01 = dir->File("lost.E01");
    std::vector<uint8_t> ewf = Bytes(e01);
    const std::vector<uint8_t> raw = Bytes(Disk());
    const mkdisk::ManifestSegment& damaged = Segment(3);
    const std::size_t at =
        std::size_t(damaged.firstSector) * 512 + damaged.videoStart + (damaged.contentBytes - damaged.videoStart) / 2;
    const auto pattern = std::span(raw).subspan(at, 64);
    const auto found = std::search(ewf.begin(), ewf.end(), pattern.begin(), pattern.end());
    ASSERT_NE(found, ewf.end()) << "the chunk's bytes are not stored as they are";
    ASSERT_EQ(std::search(found + 1, ewf.end(), pattern.begin(), pattern.end()), ewf.end());
    found[32] ^= 0x5a;
    Write(e01, ewf);

    ExpectFailure(e01, 1, 5, 3, "could not be read");
    // Beginning at it: the seek to the begin mark reads it first, and the
    // export's own read of it fails again.
    ExpectFailure(e01, 3, 4, 3, "could not be read");
    const std::string out = dir->File("e01.mpg");
    KeepGoing(e01, 1, 5, 3, out);

    // Every camera's code only ever in its own cell; the lost second has no
    // picture at all; the seconds after it are there.
    struct Cell {
        int left, top;
    };
    const Cell cells[] = {{0, 0}, {320, 0}, {0, 240}, {320, 240}};
    int withoutPicture = 0, afterLoss = 0;
    export_test::ForEachPicture(out, kWidth, kHeight, [&](int index, const uint8_t* rgb) {
        int coded = 0;
        for (int camera = 0; camera < 4; ++camera) {
            const Cell& c = cells[camera];
            const auto code = mkdisk::DecodeFrameCodeRgb(rgb + (std::size_t(c.top) * kWidth + c.left) * 3, kWidth / 2,
                                                         kHeight / 2, std::size_t(kWidth) * 3, 3);
            if (!code)
                continue;
            ++coded;
            EXPECT_EQ(code->camera, camera) << "picture " << index;
            EXPECT_NE(code->second, 3u) << "picture " << index << " shows the lost second";
            afterLoss += code->second >= 4 ? 1 : 0;
        }
        withoutPicture += coded == 0 ? 1 : 0;
    });
    EXPECT_GE(withoutPicture, 30) << "the lost second: 30 pictures without a camera's picture";
    EXPECT_LE(withoutPicture, 40);
    EXPECT_GT(afterLoss, 4 * 30) << "positions 4 to 6 in their cells";
}

}  // namespace
