// The range hasher on a disk past 2 TiB (a sparse 3 TiB image costs
// nothing): runs past sector 2^32 and across it hash as dd and sha256sum /
// md5sum read them, and a run past the end is refused with its reason. Many
// runs of every size through the ring of buffers, and a read that fails in
// the middle of a pass.
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

// More chunks than the ring has slots, in runs of every size (empty, one
// sector, exactly a chunk, a chunk and a bit, several chunks), each hashed
// as dd and the coreutils read it; then a disk that shrinks under the pass.
TEST(RangeHasherRingTest, ManyRunsHashAsDdReadsThemAndAFailedReadEndsThePass)
{
    testing_support::TempDir dir;
    const std::string image = dir.File("ring.img");
    constexpr uint64_t kSectors = 48 * 1024;  // 24 MiB
    ASSERT_TRUE(Shell("head -c " + std::to_string(kSectors * 512) + " /dev/urandom > '" + image + "'"));
    platform::SetDriveImages({image});
    disk::RawDisk disk;
    ASSERT_TRUE(disk.Open(0));
    constexpr uint32_t chunk = evidence::RangeHasher::kChunkSectors;
    const std::vector<evidence::SectorRun> runs = {
        {0, 1},  {5, 0},  {7, chunk},    {100, chunk + 1}, {3, 3 * chunk + 17},       {kSectors - 1, 1}, {9, 4096},
        {11, 0}, {13, 1}, {40000, 5000}, {0, 2 * chunk},   {kSectors - chunk, chunk}, {17, 5000},        {19, 8000},
    };
    const auto Dd = [&](const evidence::SectorRun& r, const char* sum) {
        return FirstWord(Shell("dd if='" + image + "' bs=512 skip=" + std::to_string(r.first) +
                               " count=" + std::to_string(r.count) + " status=none | " + sum));
    };
    evidence::RangeHasher hasher;
    uint64_t lastDone = 0, calls = 0;
    const auto hashed = hasher.Hash(disk, runs, true, [&](uint64_t done, uint64_t) {
        EXPECT_GT(done, lastDone);
        lastDone = done;
        ++calls;
    });
    ASSERT_TRUE(hashed) << hashed.Detail();
    uint64_t total = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(hashed->runs[i].sha256, Dd(runs[i], "sha256sum")) << i;
        EXPECT_EQ(hashed->runs[i].md5, Dd(runs[i], "md5sum")) << i;
        total += runs[i].count;
    }
    EXPECT_EQ(lastDone, total);
    EXPECT_GT(calls, uint64_t(evidence::RangeHasher::kRing));
    // The whole pass is the runs one after the other.
    std::string joined = "{ ";
    for (const auto& r : runs)
        joined += "dd if='" + image + "' bs=512 skip=" + std::to_string(r.first) + " count=" + std::to_string(r.count) +
                  " status=none; ";
    EXPECT_EQ(hashed->total.sha256, FirstWord(Shell(joined + "} | sha256sum")));

    // The image loses its second half after it was opened: the pass stops at
    // the first chunk it cannot read, says which, and leaves no thread behind.
    ASSERT_TRUE(Shell("truncate -s " + std::to_string(kSectors * 256) + " '" + image + "'"));
    const evidence::SectorRun whole{0, kSectors};
    const auto failed = hasher.Hash(disk, std::span(&whole, 1), true, {});
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.Failure().kind, platform::ErrorKind::ReadFailed);
    EXPECT_NE(failed.Detail().find("cannot read sectors 24576 to"), std::string::npos) << failed.Detail();
    platform::SetDriveImages({});
}

}  // namespace
