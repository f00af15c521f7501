// quillon-cli recover on written disks with records unlisted, orphaned and
// carved: its lines, its segments, and its JSON read back by jq and Python.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/file_bytes.h"
#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using testing_support::Lines;
using testing_support::ToolRun;

class CliRecoverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan;
        for (int r = 0; r < 3; ++r) {
            mkdisk::RecordPlan record;
            record.begin = {2023, 5, 6, 7, 10 * r, 0};
            record.seconds = 3;
            record.sensorNoise = false;
            plan.records.push_back(record);
        }
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("plain.img"), &manifest)));
        plain = testing_support::ReadBytes(dir->File("plain.img"));
    }
    static void TearDownTestSuite() { dir.reset(); }

    // The disk with 2 of its 3 records listed; zeroSlot wipes the third's
    // entry, zeroIndex its index entries too.
    static std::string Patched(const std::string& name, bool zeroSlot, bool zeroIndex)
    {
        std::vector<uint8_t> image = plain;
        image[25] = 2;
        const size_t slot = size_t(manifest.tableSector) * 512 + 2 * 32;
        if (zeroSlot)
            std::fill_n(image.begin() + long(slot), 32, 0);
        const auto& r = manifest.records[2];
        if (zeroIndex)
            std::fill_n(image.begin() + long(size_t(manifest.indexSector) * 512 + r.indexOffset * 4),
                        (r.segmentCount + 1) * 4, 0);
        const std::string path = dir->File(name);
        EXPECT_TRUE(testing_support::WriteBytes(path, image));
        return path;
    }

    ToolRun Recover(const std::string& args)
    {
        return testing_support::RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-cli recover " + args,
                                        local.File("err.txt"));
    }

    static std::vector<std::string> Fields(const std::string& line)
    {
        std::vector<std::string> fields;
        size_t at = 0;
        for (size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
            fields.push_back(line.substr(at, tab - at));
        fields.push_back(line.substr(at));
        return fields;
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    static inline std::vector<uint8_t> plain;
    static inline mkdisk::Manifest manifest;
    testing_support::TempDir local;
};

TEST_F(CliRecoverTest, AnUnlistedRecordIsOneLineWithItsSecondsAndTheMapTotalsTheDisk)
{
    const ToolRun run = Recover("'" + Patched("u.img", false, false) + "' --segments");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::vector<std::string>> recordings, segments;
    uint64_t total = 0, disk = 0;
    for (const std::string& line : Lines(run.out)) {
        const auto f = Fields(line);
        if (f[0] == "u1" && f.size() == 15)
            recordings.push_back(f);
        else if (f.size() > 2 && f[1] == "segment")
            segments.push_back(f);
        else if (f[0] == "total" && f[1] == "disk")
            disk = std::stoull(f[2]);
        else if (f[0] == "total")
            total += std::stoull(f[2]);
    }
    ASSERT_EQ(recordings.size(), 1u) << run.out;
    EXPECT_EQ(recordings[0],
              (std::vector<std::string>{"u1", "table slot", "slot 3", "2023-05-06 07:20:00", "2023-05-06 07:20:02",
                                        "recorded", "A", "352x240", "30", "1,2,3,4", "1", "3", "3", "0", "0"}));
    ASSERT_EQ(segments.size(), 3u);
    for (size_t j = 0; j < 3; ++j) {
        EXPECT_EQ(segments[j][2], std::to_string(j + 1));
        EXPECT_EQ(segments[j][3], std::to_string(manifest.records[2].segments[j].firstSector));
        EXPECT_EQ(segments[j][4], std::to_string(manifest.records[2].segments[j].sectors));
        EXPECT_EQ(segments[j][5], "intact");
    }
    EXPECT_EQ(disk, plain.size() / 512);
    EXPECT_EQ(total, disk);
}

TEST_F(CliRecoverTest, TheJsonReadsBackAndNamesAnIndexRunAndCarvedSeconds)
{
    const std::string orphan = Patched("i.img", true, false);
    const std::string json = local.File("i.json");
    ToolRun run = Recover("'" + orphan + "' --json --segments > '" + json + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    // Python reads the whole document; jq picks the fields.
    EXPECT_EQ(std::system(("python3 -c 'import json,sys; json.load(open(sys.argv[1]))' '" + json + "'").c_str()), 0);
    if (std::system("jq --version >/dev/null 2>&1") == 0) {
        run = testing_support::RunTool(
            "jq -r '.recordings[] | [.id, .source, .index_offset, .time, (.begin|tostring), .width, .height, .fps, "
            "(.video|tostring), .segments, .intact, ([.segment_list[].first_sector]|tostring)] | @tsv' '" +
                json + "'",
            local.File("jq.txt"));
        ASSERT_EQ(run.status, 0) << run.err;
        std::string sectors = "[";
        for (const auto& s : manifest.records[2].segments)
            sectors += (sectors.size() > 1 ? "," : "") + std::to_string(s.firstSector);
        sectors += "]";
        EXPECT_EQ(run.out, "i1\tindex run\t" + std::to_string(manifest.records[2].indexOffset) +
                               "\tunknown\tnull\t352\t240\t30\t[1,2,3,4]\t3\t3\t" + sectors + "\n");
        // The map's runs total the disk.
        run = testing_support::RunTool("jq '[.map[].sector_count] | add' '" + json + "'", local.File("jq.txt"));
        EXPECT_EQ(run.out, std::to_string(plain.size() / 512) + "\n");
    }

    const std::string carved = local.File("c.json");
    run = Recover("'" + Patched("c.img", true, true) + "' --json > '" + carved + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string text = testing_support::ReadText(carved);
    EXPECT_NE(text.find("\"id\": \"c1\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"source\": \"carved\""), std::string::npos);
    EXPECT_NE(text.find("\"first_sector\": " + std::to_string(manifest.records[2].segments[0].firstSector)),
              std::string::npos);
    EXPECT_EQ(text.find("segment_list"), std::string::npos);
}

TEST_F(CliRecoverTest, NothingToRecoverIsSuccessAndANonDiskIsRefused)
{
    ToolRun run = Recover("'" + dir->File("plain.img") + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& line : Lines(run.out))
        EXPECT_TRUE(line.starts_with("Id\t") || line.starts_with("map\t") || line.starts_with("total\t")) << line;
    run = Recover("'" + dir->File("plain.img") + "' --json");
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\"recordings\": []"), std::string::npos);

    const std::string junk = local.File("junk.img");
    ASSERT_TRUE(testing_support::WriteBytes(junk, std::vector<uint8_t>(4096, 0x5A)));
    run = Recover("'" + junk + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("not a recorder volume"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
}

}  // namespace
