// quillon-cli on damaged copies of the demo disk: a runaway segment count,
// a disk cut after its index or inside a record, zeroed data. What can be
// read is kept and said once; what cannot is refused with no file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using testing_support::ToolRun;

std::vector<uint8_t> Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Save(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class CliDamagedTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::DemoPlan(), dir->File("demo.img"))));
        demo = Bytes(dir->File("demo.img"));
    }
    static void TearDownTestSuite() { dir.reset(); }

    // The demo disk with record 1's segment count (table sector 1, entry 0) set.
    static std::string WithCount(uint32_t count)
    {
        std::vector<uint8_t> image = demo;
        for (int i = 0; i < 4; ++i)
            image[512 + 6 + i] = uint8_t(count >> (24 - 8 * i));
        const std::string path = dir->File("count" + std::to_string(count) + ".img");
        Save(path, image);
        return path;
    }
    static std::string CutAt(size_t sectors)
    {
        const std::string path = dir->File("cut" + std::to_string(sectors) + ".img");
        Save(path, std::vector<uint8_t>(demo.begin(), demo.begin() + std::ptrdiff_t(sectors * 512)));
        return path;
    }

    ToolRun Cli(const std::string& args)
    {
        // Bounded: the walk over garbage this guards against took minutes.
        return testing_support::RunTool("timeout 60 " + std::string(QUILLON_BIN_DIR) + "/quillon-cli " + args,
                                        dir->File("stderr.txt"));
    }
    void ExpectRefusedWithoutFile(const std::string& args, const std::string& out, const std::string& fragment)
    {
        const ToolRun run = Cli(args + " -o " + out);
        EXPECT_EQ(run.status, 1) << args << ": " << run.err;
        EXPECT_EQ(Count(run.err, "\n"), 1u) << args << ": " << run.err;
        EXPECT_NE(run.err.find(fragment), std::string::npos) << args << ": " << run.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << args;
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    static inline std::vector<uint8_t> demo;
};

TEST_F(CliDamagedTest, ARunawaySegmentCountKeepsTheRecordsOwnSoundAndSaysSoOnce)
{
    // 20 -> 65,300 (one flipped byte) and 3,000,000 (48 GB of samples if sized from it).
    for (const uint32_t count : {65300u, 3000000u}) {
        const std::string disk = WithCount(count);
        const std::string wav = dir->File("runaway.wav");
        const ToolRun run = Cli("audio " + disk + " --record 1 --camera 1 -o " + wav);
        ASSERT_EQ(run.status, 0) << count << ": " << run.err;
        EXPECT_EQ(Count(run.err, "record 1 is damaged"), 1u) << run.err;
        EXPECT_NE(run.err.find("of " + std::to_string(count)), std::string::npos) << run.err;
        // The record's 20 seconds, and not one byte of the next record's.
        const std::vector<uint8_t> bytes = Bytes(wav);
        ASSERT_EQ(bytes.size(), 44u + 20 * 16000);
        const uint32_t riff = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | uint32_t(bytes[7]) << 24;
        EXPECT_EQ(riff, 36u + 20 * 16000) << "the header's sizes are patched at the end";
        const ToolRun probe = testing_support::RunTool(
            "ffprobe -v error -show_entries stream=codec_name,sample_rate,duration -of csv=p=0 " + wav,
            dir->File("probe.txt"));
        EXPECT_EQ(probe.out, "pcm_s16le,8000,20.000000\n") << probe.err;

        const ToolRun list = Cli("records " + disk);
        EXPECT_EQ(list.status, 0);
        EXPECT_EQ(Count(list.err, "record 1 is damaged: its index runs into the next record's index"), 1u) << list.err;
        EXPECT_EQ(Count(list.err, "\n"), 1u) << "the other records are sound: " << list.err;
    }
}

TEST_F(CliDamagedTest, UnreadablePicturesAndSoundAreRefusedWithoutAFile)
{
    // Cut right after the index: no record has a segment on the disk.
    const std::string cut = CutAt(3);
    ExpectRefusedWithoutFile("still " + cut + " --record 1 --at 5", dir->File("s.png"), "none of its 20 segments");
    ExpectRefusedWithoutFile("snapshot " + cut + " --record 1 --at 5", dir->File("s.jpg"), "none of its 20 segments");
    ExpectRefusedWithoutFile("audio " + cut + " --record 1 --camera 1", dir->File("s.wav"), "none of its 20 segments");
    const ToolRun list = Cli("records " + cut);
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(Count(list.err, "points past the end of the disk"), 4u) << list.err;

    // Record 1's seconds zeroed but its last: a seek to 5 would find second
    // 19's picture, which must not pass for position 5's.
    std::vector<uint8_t> zeroed = demo;
    std::fill(zeroed.begin() + 3 * 512, zeroed.begin() + 10100 * 512, 0);
    const std::string blank = dir->File("zeroed.img");
    Save(blank, zeroed);
    ExpectRefusedWithoutFile("still " + blank + " --record 1 --at 5", dir->File("z.png"), "no picture could be read");
    ExpectRefusedWithoutFile("snapshot " + blank + " --record 1 --at 5 --view 2", dir->File("z.bmp"),
                             "no picture could be read");
    EXPECT_EQ(Cli("still " + blank + " --record 1 --at 19 -o " + dir->File("19.png")).status, 0);
}

TEST_F(CliDamagedTest, ADiskCutInsideARecordKeepsTheSecondsBeforeTheCut)
{
    const std::string cut = CutAt(5000);
    const std::string wav = dir->File("cut.wav");
    const ToolRun run = Cli("audio " + cut + " --record 1 --camera 2 -o " + wav);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Count(run.err, "only segments 0 to 8 of 20 can be read"), 1u) << run.err;
    EXPECT_EQ(std::filesystem::file_size(wav), 44u + 9 * 16000);
    EXPECT_EQ(Cli("still " + cut + " --record 1 --at 8 -o " + dir->File("8.png")).status, 0);
    // Past the cut: refused after the warning that says where it is.
    const ToolRun past = Cli("still " + cut + " --record 1 --at 9 -o " + dir->File("9.png"));
    EXPECT_EQ(past.status, 1);
    EXPECT_NE(past.err.find("--at must lie between 0 and 8"), std::string::npos) << past.err;
    EXPECT_FALSE(std::filesystem::exists(dir->File("9.png")));
}

TEST_F(CliDamagedTest, NoiseReadAsSoundIsNamed)
{
    // Second 2 of record 1: its audio area overwritten with noise (segment
    // 2 begins at index entry 2, sector 1065 of the demo disk).
    std::vector<uint8_t> noisy = demo;
    const size_t area = size_t(1065) * 512;
    uint32_t x = 12345;
    for (size_t k = 0; k < 16384; ++k) {
        x = x * 1103515245u + 12345u;
        noisy[area + k] = uint8_t(x >> 16);
    }
    const std::string disk = dir->File("noisy.img");
    Save(disk, noisy);
    const std::string wav = dir->File("noisy.wav");
    const ToolRun run = Cli("audio " + disk + " --record 1 --camera 1 -o " + wav);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Count(run.err, "1 of 20 seconds hold damaged sound"), 1u) << run.err;
    EXPECT_EQ(std::filesystem::file_size(wav), 44u + 20 * 16000) << "written as read: it is the evidence";
    const ToolRun clean = Cli("audio " + dir->File("demo.img") + " --record 1 --camera 1 -o " + wav);
    EXPECT_TRUE(clean.err.empty()) << "no warning, and no bar into a pipe: " << clean.err;
    // On a terminal, a bar to the end.
    const ToolRun terminal =
        testing_support::RunTool("script -qec \"" + std::string(QUILLON_BIN_DIR) + "/quillon-cli audio " + disk +
                                     " --record 1 --camera 1 -o " + wav + "\" /dev/null",
                                 dir->File("stderr.txt"));
    EXPECT_EQ(terminal.status, 0);
    EXPECT_NE(terminal.out.find("audio [##############################] 100 %"), std::string::npos) << terminal.out;
}

TEST_F(CliDamagedTest, AWavThatCannotBeWrittenIsReportedAndRemoved)
{
    // A file size limit makes the writes fail part way (EFBIG, the signal ignored).
    const std::string wav = dir->File("limited.wav");
    const ToolRun run = testing_support::RunTool("sh -c \"trap '' XFSZ; ulimit -f 100; exec " +
                                                     std::string(QUILLON_BIN_DIR) + "/quillon-cli audio " +
                                                     dir->File("demo.img") + " --record 1 --camera 1 -o " + wav + "\"",
                                                 dir->File("stderr.txt"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write " + wav), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(wav));
    // Over a device: refused, and the device node stays.
    const ToolRun full = Cli("audio " + dir->File("demo.img") + " --record 1 --camera 1 -o /dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("cannot write /dev/full"), std::string::npos) << full.err;
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

}  // namespace
