// The range hasher on a disk past 2 TiB (a sparse 3 TiB image costs
// nothing): runs past sector 2^32 and across it hash as dd and sha256sum /
// md5sum read them, and a run past the end is refused with its reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "disk/raw_disk.h"
#include "evidence/range_hasher.h"
#include "export/capture_tools.h"
#include "platform/drive_table.h"
#include "support/temp_dir.h"

namespace {

using capture_test::Shell;

std::string FirstWord(const std::optional<std::string>& text) { return text ? text->substr(0, text->find(' ')) : ""; }

class RangeHasherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        image = dir.File("big.img");
        if (!Shell("truncate -s 3T '" + image + "'"))
            GTEST_SKIP() << "no room for a sparse 3 TiB file here";
        // Random bytes from just before 2 TiB to well past it.
        std::vector<char> bytes(kBytes);
        std::mt19937 random(7);
        for (char& b : bytes)
            b = static_cast<char>(random());
        const std::string chunk = dir.File("chunk");
        std::ofstream(chunk, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(Shell("dd if='" + chunk + "' of='" + image + "' bs=512 seek=" + std::to_string(kFirst) +
                          " conv=notrunc status=none"));
        platform::SetDriveImages({image});
        ASSERT_TRUE(disk.Open(0));
        ASSERT_EQ(disk.SectorCount(), (3ull << 40) / 512);
    }
    void TearDown() override { platform::SetDriveImages({}); }

    std::string Dd(uint64_t first, uint64_t count, const char* sum)
    {
        return FirstWord(Shell("dd if='" + image + "' bs=512 skip=" + std::to_string(first) +
                               " count=" + std::to_string(count) + " status=none | " + sum));
    }

    static constexpr uint64_t kFirst = (1ull << 32) - 64;  // 2 TiB less 32 KiB
    static constexpr std::size_t kBytes = 1 << 20;
    testing_support::TempDir dir;
    std::string image;
    disk::RawDisk disk;
};

TEST_F(RangeHasherTest, RunsPast2TiBHashAsDdReadsThem)
{
    const std::vector<evidence::SectorRun> runs = {
        {kFirst, 128},                      // across sector 2^32
        {(1ull << 32) + 500, 1000},         // past it
        {(3ull << 40) / 512 - 9000, 9000},  // the last sectors: more than one chunk
    };
    evidence::RangeHasher hasher;
    const auto hashed = hasher.Hash(disk, runs, true, {});
    ASSERT_TRUE(hashed) << hashed.Detail();
    const evidence::HashResult& result = *hashed;
    std::string error;
    ASSERT_EQ(result.runs.size(), runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(result.runs[i].sha256, Dd(runs[i].first, runs[i].count, "sha256sum")) << i;
        EXPECT_EQ(result.runs[i].md5, Dd(runs[i].first, runs[i].count, "md5sum")) << i;
    }
    EXPECT_EQ(result.bytes, (128u + 1000u + 9000u) * 512ull);

    std::vector<uint8_t> sector(512);
    ASSERT_TRUE(disk.ReadSectorRun(1ull << 32, 1, sector, error)) << error;
    EXPECT_EQ(disk.ReadSectors(0, 1, sector), 512u) << "the 32-bit path reads as before";

    const evidence::SectorRun past{(3ull << 40) / 512 - 4, 8};
    const auto refused = hasher.Hash(disk, std::span(&past, 1), false, {});
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.Detail().find("past the disk's end"), std::string::npos) << refused.Detail();
    std::vector<uint8_t> eight(8 * 512);
    EXPECT_FALSE(disk.ReadSectorRun(past.first, 8, eight, error));
    EXPECT_NE(error.find("past the disk's end"), std::string::npos) << error;
}

}  // namespace
