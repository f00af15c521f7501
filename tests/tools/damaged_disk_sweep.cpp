// A seeded sweep over damaged copies of a small written disk: flips in the
// header, the record table, the index and the data, truncations,
// implausible counts and indexes, start-code floods and damaged audio
// areas, each run through every quillon-cli command that reads a disk.
// Each run must end in time with status 0 or 1, a refusal must say why,
// and a sanitizer build must report nothing (its report exits with a
// status of its own).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using Image = std::vector<uint8_t>;
constexpr int kShards = 8;

uint32_t Be32(const Image& b, size_t at)
{
    return at + 4 <= b.size() ? uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3]
                              : 0;
}

void PutBe32(Image& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4 && at + i < b.size(); ++i)
        b[at + i] = uint8_t(v >> (24 - 8 * i));
}

struct Layout {
    uint32_t tableSector = 0;
    uint32_t indexSector = 0;
    uint32_t records = 0;
    size_t EntryAt(uint32_t record) const { return size_t(tableSector) * 512 + record * 32; }
};

struct Variant {
    std::string name;
    std::function<void(Image&)> damage;
};

class DamagedDiskSweep : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan = mkdisk::DemoPlan();
        plan.records.resize(2);
        plan.records[0].seconds = 3;  // small: the sweep's time is mostly the commands' own
        plan.records[0].straddles = {{1, 0}};
        plan.records[1].seconds = 2;
        plan.records[1].straddles = {};
        plan.records[1].audioCameras = 0x01;
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("small.img"))));
        std::ifstream in(dir->File("small.img"), std::ios::binary);
        clean.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        layout.tableSector = Be32(clean, 12);
        layout.indexSector = Be32(clean, 16);
        layout.records = uint32_t(clean[24]) << 8 | clean[25];
        ASSERT_EQ(layout.records, 2u);
    }
    static void TearDownTestSuite() { dir.reset(); }

    // Record r's index entry j, as bytes of the image.
    static size_t IndexEntryAt(uint32_t record, uint32_t j)
    {
        return size_t(layout.indexSector) * 512 + (size_t(Be32(clean, layout.EntryAt(record) + 10)) + j) * 4;
    }
    static uint32_t SegmentSector(uint32_t record, uint32_t segment)
    {
        return Be32(clean, IndexEntryAt(record, segment));
    }

    static std::vector<Variant> Variants();

    // leakCheck: whether the leak checker runs at each command's exit (under
    // AddressSanitizer). It costs about a third of a short command's time;
    // the sweep's own concern is memory errors on damaged input, so a
    // quarter of the variants check for leaks as well.
    void RunEveryCommand(const std::string& name, const std::string& disk, int record, bool leakCheck)
    {
        const std::string r = " --record " + std::to_string(record);
        const std::string out = dir->File("out-" + std::to_string(GetParam()));
        const std::vector<std::string> commands = {
            "records " + disk,
            "timeline " + disk,
            "locate " + disk + " '2023-05-14 09:30:01'",
            "frames " + disk + r + " --calls 40 --intra-first --audio-camera 1",
            "audio " + disk + r + " --camera 1 -o " + out + ".wav",
            "still " + disk + r + " --at 1 -o " + out + ".png",
            "snapshot " + disk + r + " --at 1 --view 2 -o " + out + ".jpg",
            "play " + disk + r + " --speed 16 --seconds 1",
            "export " + disk + r + " --from 0 --to 0 -o " + out + ".mpg",
            "export " + disk + " --from-time '2023-05-14 09:30:01' --to-time '2023-05-14 09:30:04' -o " + out +
                "-range.mpg",
            "hash " + disk + r,
            "recover " + disk + " --json --segments",
            "activity " + disk + r + " --json",
            "activity " + disk + " --mode fast --per-second",
            "timeline " + disk + " --png " + out + "-timeline.png",
            "case create " + out + ".case --disk " + disk,
        };
        // A sanitizer report ends the run with a status of its own. The
        // commands run side by side: most of their time is waiting.
        const std::string env = "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}exitcode=86" +
                                std::string(leakCheck ? "" : ":detect_leaks=0") +
                                "\" "
                                "UBSAN_OPTIONS=\"${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}halt_on_error=1:exitcode=87\" ";
        std::string script;
        for (size_t k = 0; k < commands.size(); ++k) {
            const std::string file = out + "." + std::to_string(k);
            std::filesystem::remove(file + ".rc");
            script += "(" + env + "timeout -k 5 30 " + std::string(QUILLON_BIN_DIR) + "/quillon-cli " + commands[k] +
                      " >/dev/null 2>" + file + ".err; echo $? >" + file + ".rc) & ";
        }
        const testing_support::ToolRun batch = testing_support::RunTool(script + "wait", out + ".batch");
        ASSERT_EQ(batch.status, 0) << batch.err;
        for (size_t k = 0; k < commands.size(); ++k) {
            const std::string file = out + "." + std::to_string(k);
            const std::string what = name + ": quillon-cli " + commands[k];
            int status = -1;
            std::ifstream(file + ".rc") >> status;
            std::ifstream in(file + ".err", std::ios::binary);
            const std::string err{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            EXPECT_TRUE(status == 0 || status == 1) << what << " ended with " << status << "\n" << err;
            if (status == 1) {
                EXPECT_FALSE(err.empty()) << what << " refused without a word";
            }
            EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << what << "\n" << err;
            EXPECT_EQ(err.find("runtime error"), std::string::npos) << what << "\n" << err;
        }
        for (const char* ext : {".wav", ".png", ".jpg", ".mpg", ".mpg.report.json", "-range.mpg",
                                "-range.mpg.report.json", "-timeline.png", ".case", ".case-wal", ".case-shm"})
            std::filesystem::remove(out + ext);
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    static inline Image clean;
    static inline Layout layout;
};

std::vector<Variant> DamagedDiskSweep::Variants()
{
    std::vector<Variant> v;
    std::mt19937 rng(20261208);  // the same variants every run
    const auto pick = [&rng](size_t from, size_t to) {
        return std::uniform_int_distribution<size_t>(from, to - 1)(rng);
    };
    const auto flips = [&](const std::string& what, size_t from, size_t to, int count, int bytes) {
        for (int i = 0; i < count; ++i) {
            std::vector<std::pair<size_t, uint8_t>> at;
            for (int k = 0; k < bytes; ++k)
                at.push_back({pick(from, to), uint8_t(1u << pick(0, 8))});
            v.push_back({what + " flip " + std::to_string(i), [at](Image& b) {
                             for (const auto& [offset, bit] : at)
                                 b[offset] ^= bit;
                         }});
        }
    };
    const size_t indexBegin = IndexEntryAt(0, 0);
    const size_t indexEnd = IndexEntryAt(1, 3) + 4;
    const size_t dataBegin = size_t(SegmentSector(0, 0)) * 512;
    flips("header", 12, 40, 10, 1);
    flips("record table", layout.EntryAt(0), layout.EntryAt(2), 12, 1);
    flips("index", indexBegin, indexEnd, 10, 1);
    flips("data", dataBegin, clean.size(), 10, 200);

    const std::vector<size_t> cuts = {0,
                                      100,
                                      512,
                                      1024,
                                      indexEnd,
                                      dataBegin,
                                      dataBegin + 9000,
                                      dataBegin + 16384,
                                      size_t(SegmentSector(0, 1)) * 512 + 700,
                                      clean.size() - 512,
                                      clean.size() - 1};
    for (const size_t cut : cuts)
        v.push_back({"cut at " + std::to_string(cut), [cut](Image& b) { b.resize(std::min(cut, b.size())); }});

    for (const uint32_t count : {0u, 1u, 4u, 65300u, 3000000u, 16777216u, 16777217u, 0xFFFFFFFFu})
        for (const uint32_t record : {0u, 1u})
            v.push_back({"record " + std::to_string(record + 1) + " count " + std::to_string(count),
                         [count, record](Image& b) { PutBe32(b, layout.EntryAt(record) + 6, count); }});
    for (const uint32_t offset : {1u, 3u, 127u, 128u, 0x00FFFFFFu, 0x40000000u, 0xFFFFFFFFu})
        v.push_back({"record 1 index offset " + std::to_string(offset),
                     [offset](Image& b) { PutBe32(b, layout.EntryAt(0) + 10, offset); }});
    for (const uint16_t count : {3, 255, 8192, 8193, 0xFFFF})
        v.push_back({"record count " + std::to_string(count), [count](Image& b) {
                         b[24] = uint8_t(count >> 8);
                         b[25] = uint8_t(count);
                     }});
    v.push_back({"first entry position 0", [](Image& b) { b[38] = b[39] = 0; }});
    v.push_back({"first entry position 0xFFFF", [](Image& b) { b[38] = b[39] = 0xFF; }});
    v.push_back({"table sector past the end", [](Image& b) { PutBe32(b, 12, 0xFFFFFFF0u); }});
    v.push_back({"index sector past the end", [](Image& b) { PutBe32(b, 16, 0x7FFFFFFFu); }});

    const auto entries = [&](const std::string& what, std::function<uint32_t(uint32_t j, uint32_t was)> value) {
        v.push_back({"index " + what, [value](Image& b) {
                         for (uint32_t j = 0; j <= 3; ++j)
                             PutBe32(b, IndexEntryAt(0, j), value(j, Be32(clean, IndexEntryAt(0, j))));
                     }});
    };
    entries("reversed", [](uint32_t j, uint32_t) { return SegmentSector(0, 3 - j); });
    entries("all zero", [](uint32_t, uint32_t) { return 0u; });
    entries("all ones", [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
    entries("all equal", [](uint32_t, uint32_t) { return SegmentSector(0, 1); });
    entries("into the index itself", [](uint32_t j, uint32_t) { return layout.indexSector + j; });
    entries("one past the disk",
            [](uint32_t j, uint32_t was) { return j == 3 ? uint32_t(clean.size() / 512 + 1) : was; });
    entries("a huge segment", [](uint32_t j, uint32_t was) { return j == 0 ? 0u : was + 40000; });
    entries("second entry backwards", [](uint32_t j, uint32_t was) { return j == 1 ? was - 100 : was; });

    // Start-code floods at the start of segment 1's video area (2 KiB: a few
    // hundred tiny frames in one second), and damaged audio areas.
    const size_t video = size_t(SegmentSector(0, 1)) * 512 + 16384;
    const size_t videoEnd = video + 2048;
    for (const auto& [name, code] : std::vector<std::pair<std::string, std::vector<uint8_t>>>{
             {"VOP", {0, 0, 1, 0xB6}},
             {"intra VOP", {0, 0, 1, 0xB6, 0x00}},
             {"user data", {0, 0, 1, 0xB2}},
             {"prefix", {0, 0, 1}},
             {"VOP and user data", {0, 0, 1, 0xB6, 0, 0, 1, 0xB2}}})
        v.push_back({"flood of " + name, [video, videoEnd, code](Image& b) {
                         for (size_t at = video; at + code.size() <= videoEnd; at += code.size())
                             std::copy(code.begin(), code.end(), b.begin() + std::ptrdiff_t(at));
                     }});
    v.push_back({"no start code in segment 1", [video](Image& b) {
                     const size_t end = size_t(SegmentSector(0, 2)) * 512;
                     std::fill(b.begin() + std::ptrdiff_t(video), b.begin() + std::ptrdiff_t(end), 0x11);
                 }});
    for (uint32_t segment = 0; segment < 3; ++segment) {
        const size_t area = size_t(SegmentSector(0, segment)) * 512;
        const uint32_t seed = uint32_t(rng());
        v.push_back({"noise in audio area " + std::to_string(segment), [area, seed](Image& b) {
                         std::mt19937 noise(seed);
                         for (size_t k = 0; k < 16384; ++k)
                             b[area + k] = uint8_t(noise());
                     }});
    }
    v.push_back({"step indexes 255", [dataBegin](Image& b) {
                     for (size_t row = 0; row < 2048; row += 128)
                         std::fill(b.begin() + std::ptrdiff_t(dataBegin + (row + 1) * 8),
                                   b.begin() + std::ptrdiff_t(dataBegin + (row + 1) * 8 + 8), 0xFF);
                 }});
    // Record 2 unlisted, its entry wiped (an orphan index run), its index
    // wiped too (carved seconds), and then damaged on top.
    const size_t second = layout.EntryAt(1);
    const auto unlist = [](Image& b) { b[24] = 0, b[25] = 1; };
    const auto wipeEntry = [second](Image& b) { std::fill_n(b.begin() + std::ptrdiff_t(second), 32, 0); };
    const auto wipeIndex = [](Image& b) {
        for (uint32_t j = 0; j <= 2; ++j)
            PutBe32(b, IndexEntryAt(1, j), 0);
    };
    v.push_back({"record 2 unlisted", unlist});
    v.push_back({"record 2 orphaned", [=](Image& b) { unlist(b), wipeEntry(b); }});
    v.push_back({"record 2 carved", [=](Image& b) { unlist(b), wipeEntry(b), wipeIndex(b); }});
    for (int k = 0; k < 6; ++k) {
        const size_t at = pick(size_t(SegmentSector(1, 0)) * 512, clean.size());
        const uint8_t value = uint8_t(pick(0, 256));
        v.push_back({"record 2 carved, byte " + std::to_string(at) + " = " + std::to_string(value), [=](Image& b) {
                         unlist(b), wipeEntry(b), wipeIndex(b);
                         b[at] = value;
                     }});
    }
    return v;
}

TEST_P(DamagedDiskSweep, EveryCommandEndsInTimeAndSaysWhy)
{
    const std::vector<Variant> variants = Variants();
    if (GetParam() == 0) {
        EXPECT_GE(variants.size(), 100u);
    }
    const std::string disk = dir->File("variant-" + std::to_string(GetParam()) + ".img");
    for (size_t i = size_t(GetParam()); i < variants.size(); i += kShards) {
        Image image = clean;
        variants[i].damage(image);
        std::ofstream(disk, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
        RunEveryCommand(variants[i].name, disk, 1 + int(i % 2), (i / kShards) % 4 == 0);
    }
    std::filesystem::remove(disk);
}

INSTANTIATE_TEST_SUITE_P(Shards, DamagedDiskSweep, ::testing::Range(0, kShards));

}  // namespace
