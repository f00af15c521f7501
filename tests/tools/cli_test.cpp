// quillon-cli as a script sees it: output lines, exit status, files written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using CliRun = testing_support::ToolRun;

using testing_support::Lines;
using testing_support::ReadText;
class CliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::DemoPlan(), Demo())));
        mkdisk::DiskPlan silent = mkdisk::DemoPlan();
        silent.audioAreas = false;
        silent.records.resize(1);
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(silent, Silent())));
    }
    static void TearDownTestSuite() { dir.reset(); }
    static std::string Demo() { return dir->File("demo.img"); }
    static std::string Silent() { return dir->File("silent.img"); }

    CliRun Cli(const std::string& args)
    {
        return testing_support::RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-cli " + args, dir->File("stderr.txt"));
    }

    // An error: status 1, exactly one line on stderr, nothing on stdout.
    void ExpectRefusal(const std::string& args, const std::string& fragment)
    {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_EQ(Lines(run.err).size(), 1u) << args << ": " << run.err;
        EXPECT_NE(run.err.find(fragment), std::string::npos) << args << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << args;
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
};

// The libavcodec that encoded the disk (quillon-mkdisk links the same one):
// frame lengths and checksums in the dumps are its encoder's.
std::string AvcodecVersion()
{
    const unsigned v = avcodec_version();
    return std::to_string(AV_VERSION_MAJOR(v)) + "." + std::to_string(AV_VERSION_MINOR(v)) + "." +
           std::to_string(AV_VERSION_MICRO(v));
}

constexpr const char* kGoldenMark = "# made with libavcodec ";

// Golden dumps open with a line naming the libavcodec that made them;
// QUILLON_UPDATE_GOLDEN=1 rewrites them after a deliberate change.
void ExpectGolden(const std::string& name, const std::string& actual)
{
    const std::string path = std::string(QUILLON_SOURCE_DIR) + "/tests/tools/golden/" + name;
    if (std::getenv("QUILLON_UPDATE_GOLDEN")) {
        std::ofstream(path, std::ios::binary)
            << kGoldenMark << AvcodecVersion() << "; rewrite: QUILLON_UPDATE_GOLDEN=1 build/tests/cli_tests\n"
            << actual;
        return;
    }
    std::string golden = ReadText(path);
    std::string madeWith = "an unnamed libavcodec";
    if (golden.rfind(kGoldenMark, 0) == 0) {
        const std::size_t end = golden.find('\n');
        madeWith = golden.substr(2, golden.find(';') - 2);
        golden.erase(0, end == std::string::npos ? golden.size() : end + 1);
    }
    EXPECT_EQ(actual, golden) << "differs from " << path << " (" << madeWith << "; this is libavcodec "
                              << AvcodecVersion() << ")";
}

TEST_F(CliTest, RecordsListsTheTableAsTheRecordListShowsIt)
{
    const CliRun run = Cli("records " + Demo());
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectGolden("demo-records.txt", run.out);
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "No.\tRecord\tBegin Time\tEnd Time\tSegments\tSize\tFPS\tVideo\tAudio");
    EXPECT_EQ(lines[2], "2\tB\t2023/12/31 23:59:50\t2024/01/01 00:00:04\t15\t720x240\t15\t1,2,3,4\t-")
        << "the end is the last segment's begin, across the year's end";
    EXPECT_TRUE(lines[3].ends_with("\t1,2,3\t-")) << lines[3];
}

TEST_F(CliTest, FramesFollowTheCallsOfPlayback)
{
    const CliRun run = Cli("frames " + Demo() + " --record 1 --calls 12 --intra-first --audio-camera 2");
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectGolden("demo-frames-r1.txt", run.out);
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 12u);
    for (size_t i = 0; i < lines.size(); ++i) {
        std::stringstream s(lines[i]);
        int call, camera, segment, length, intra, audio;
        std::string crc;
        s >> call >> camera >> segment >> length >> intra >> audio >> crc;
        EXPECT_EQ(call, int(i));
        EXPECT_EQ(camera, int(i % 4));
        EXPECT_EQ(intra, i < 4 ? 1 : 0) << "an intra VOP opens each camera's second";
        EXPECT_EQ(audio, i == 0 ? 1 : 0) << "the block comes with the segment's first call";
        EXPECT_EQ(crc.size(), 8u);
    }

    // Seeking to the last position: the record ends, two failed calls stop it.
    const CliRun end = Cli("frames " + Demo() + " --record 2 --from 14 --intra-first");
    ASSERT_EQ(end.status, 0);
    const auto tail = Lines(end.out);
    ASSERT_GE(tail.size(), 3u);
    EXPECT_TRUE(tail[0].starts_with("0\t0\t14\t")) << tail[0];
    EXPECT_TRUE(tail.back().ends_with("\t-\t-\t-\t-")) << tail.back();
    EXPECT_TRUE(tail[tail.size() - 2].ends_with("\t-\t-\t-\t-"));
    EXPECT_EQ(tail.size(), 15u * 4 + 1) << "one second of 15 frames x 4 cameras, the last VOP lost, two failures";
}

TEST_F(CliTest, FramesDumpFormsADecodableStream)
{
    const std::string out = dir->File("dump");
    const CliRun run = Cli("frames " + Demo() + " --record 4 --calls 48 --dump " + out);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(std::filesystem::file_size(out + "/header.bin"), 29u);
    // Camera 1's frames behind the stream header: ffmpeg decodes all 12.
    const std::string stream = dir->File("cam0.m4v");
    {
        std::ofstream s(stream, std::ios::binary);
        s << ReadText(out + "/header.bin");
        for (int call = 0; call < 48; call += 4) {
            char name[32];
            std::snprintf(name, sizeof name, "/%06d.m4v", call);
            s << ReadText(out + name);
        }
    }
    if (std::system("command -v ffprobe >/dev/null") != 0)
        GTEST_SKIP() << "ffprobe not installed";
    const std::string probe = "ffprobe -v error -count_frames -select_streams v -show_entries "
                              "stream=nb_read_frames,width,height -of csv=p=0 " +
                              stream;
    FILE* pipe = ::popen(probe.c_str(), "r");
    char line[256] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, pipe));
    ::pclose(pipe);
    EXPECT_EQ(std::string(line), "720,288,12\n");
}

TEST_F(CliTest, AudioIsOneSecondPerSegmentOfTheCamerasTone)
{
    const std::string wav = dir->File("cam2.wav");
    const CliRun run = Cli("audio " + Demo() + " --record 1 --camera 2 --from 3 --seconds 5 -o " + wav);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = ReadText(wav);
    ASSERT_EQ(bytes.size(), 44u + 5 * 16000);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(uint8_t(bytes[24]) | uint8_t(bytes[25]) << 8, 8000);
    // Camera 2's tone is 550 Hz: its energy dwarfs camera 1's 400 Hz.
    auto power = [&](double hz) {
        double re = 0, im = 0;
        for (size_t i = 2000; i < 10000; ++i) {
            const int16_t s = int16_t(uint8_t(bytes[44 + 2 * i]) | uint8_t(bytes[45 + 2 * i]) << 8);
            re += s * std::cos(2 * M_PI * hz * double(i) / 8000);
            im += s * std::sin(2 * M_PI * hz * double(i) / 8000);
        }
        return re * re + im * im;
    };
    EXPECT_GT(power(550), 100 * power(400));

    // Without --seconds: to the record's end.
    ASSERT_EQ(Cli("audio " + Demo() + " --record 1 --camera 1 --from 18 -o " + wav).status, 0);
    EXPECT_EQ(std::filesystem::file_size(wav), 44u + 2 * 16000);
}

TEST_F(CliTest, RefusalsWriteNothing)
{
    const std::string wav = dir->File("never.wav");
    ExpectRefusal("audio " + Demo() + " --record 2 --camera 1 -o " + wav, "no sound");
    ExpectRefusal("audio " + Demo() + " --record 1 --camera 5 -o " + wav, "camera");
    ExpectRefusal("audio " + Demo() + " --record 9 --camera 1 -o " + wav, "record");
    ExpectRefusal("audio " + Demo() + " --record 1 --camera 1 --from 20 -o " + wav, "--from");
    ExpectRefusal("audio " + Silent() + " --record 1 --camera 1 -o " + wav, "no audio areas");
    EXPECT_FALSE(std::filesystem::exists(wav));

    const std::string notVolume = dir->File("zeros.img");
    std::ofstream(notVolume) << std::string(4096, '\0');
    ExpectRefusal("records " + notVolume, "not a recorder volume");
    ExpectRefusal("records " + dir->File("missing.img"), "no such disk");
    ExpectRefusal("frames " + Demo() + " --record 0", "record");
    ExpectRefusal("frames " + Demo(), "--record");
    // A FIFO never hangs a command: refused as neither a file nor a disk.
    const std::string fifo = dir->File("pipe.img");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ExpectRefusal("records " + fifo, "pipe.img");
    ExpectRefusal("convert " + fifo + " " + dir->File("from-pipe.bmp"), "pipe.img");
    EXPECT_FALSE(std::filesystem::exists(dir->File("from-pipe.bmp")));
    for (const char* speed : {".", "x.y", "1e40.", "0.5x", "nan", "-1"})
        ExpectRefusal("play " + Demo() + " --record 1 --seconds 1 --speed '" + speed + "'", "--speed");
}

TEST_F(CliTest, PlayRunsTheEngineToTheRecordsEnd)
{
    const CliRun run = Cli("play " + Demo() + " --record 2 --speed 16 --view 2");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 15u) << run.out;
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].ends_with("\t" + std::to_string(i))) << lines[i];

    const CliRun back = Cli("play " + Demo() + " --record 4 --from 2 --reverse --speed 8");
    ASSERT_EQ(back.status, 0) << back.err;
    const auto reverse = Lines(back.out);
    ASSERT_EQ(reverse.size(), 3u) << back.out;
    EXPECT_TRUE(reverse[2].ends_with("\t0"));

    ExpectRefusal("play " + Demo() + " --record 1 --speed 3", "--speed");
    ExpectRefusal("play " + Demo() + " --record 1 --view 5", "--view");
}

TEST_F(CliTest, DisksPutsImagesFirst)
{
    const CliRun run = Cli("disks " + Demo());
    ASSERT_EQ(run.status, 0);
    const auto lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "0\t0 GBytes\t" + Demo());
}

}  // namespace

namespace {

TEST_F(CliTest, ExportWritesThePlayersFileAndRefusesWithoutLeavingOne)
{
    const std::string out = dir->File("cli.avi");
    const CliRun run = Cli("export " + Demo() + " --record 2 --from 1 --to 2 --view 3 -o " + out);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, out + "\t90\t1\t3\tcompleted\n");
    EXPECT_TRUE(run.err.empty()) << "no progress bar into a file: " << run.err;
    FILE* pipe = ::popen(("ffprobe -v error -count_frames -show_entries stream=codec_name,nb_read_frames,width "
                          "-of csv=p=0 '" +
                          out + "'")
                             .c_str(),
                         "r");
    ASSERT_TRUE(pipe);
    char buffer[256] = {};
    std::string facts;
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        facts.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(facts.rfind("mpeg4,640,90\npcm_s16le,", 0), 0u) << "XviD pictures and the PCM track: " << facts;

    const std::string none = dir->File("none.mpg");
    ExpectRefusal("export " + Demo() + " --record 9 --from 0 --to 2 -o " + none, "record");
    ExpectRefusal("export " + Demo() + " --record 1 --from 5 --to 2 -o " + none, "before");
    ExpectRefusal("export " + Demo() + " --record 2 --from 40 --to 41 -o " + none, "--from");
    ExpectRefusal("export " + Demo() + " --record 1 --from 0 --to 2 -o " + dir->File("x.MPG"), ".mpg");
    ExpectRefusal("export " + Demo() + " --record 1 --from 0 --to 2 -o " + dir->File("gone/x.mpg"), "gone");
    ExpectRefusal("export " + Demo() + " --record 1 --from 0 -o " + none, "usage");
    EXPECT_FALSE(std::filesystem::exists(none));
    EXPECT_FALSE(std::filesystem::exists(dir->File("x.MPG")));
}

// A picture that cannot be written whole (here: past a 1 or 2 KiB file size
// limit, which the tool turns from a kill into a failed write) leaves no
// file, not even a temporary one; a file that was there before is left as
// it was, and a device under the name is refused without being touched.
TEST_F(CliTest, APictureNotWrittenWholeLeavesNoFile)
{
    const std::string input = dir->File("input.bmp");
    ASSERT_EQ(Cli("snapshot " + Demo() + " --record 1 --at 3 -o " + input).status, 0);
    const std::filesystem::path folder = dir->Path() / "limited";
    std::filesystem::create_directories(folder);
    const auto underLimit = [&](const std::string& args) {
        // QImage::save cut short by the limit leaks Qt's row buffer: see SlowUnwind.
        return testing_support::RunTool("ulimit -f 2; " + testing_support::SlowUnwind() + "exec " +
                                            std::string(QUILLON_BIN_DIR) + "/quillon-cli " + args,
                                        dir->File("stderr.txt"));
    };
    const auto entries = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        return names;
    };
    for (const std::string name : {"s.png", "s.jpg", "s.bmp", "c.bmp", "c.jpg"}) {
        const std::string out = (folder / name).string();
        const std::string args = name[0] == 'c'    ? "convert " + input + " " + out + " --quality 100"
                                 : name == "s.png" ? "still " + Demo() + " --record 1 --at 3 -o " + out
                                                   : "snapshot " + Demo() + " --record 1 --at 3 -o " + out;
        CliRun r = underLimit(args);
        EXPECT_EQ(r.status, 1) << args << ": " << r.err;
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << args << ": " << r.err;
        EXPECT_TRUE(entries().empty()) << args << ": " << (entries().empty() ? "" : entries()[0]);

        // A file there before keeps its bytes.
        std::ofstream(out) << "before";
        EXPECT_EQ(underLimit(args).status, 1) << args;
        EXPECT_EQ(ReadText(out), "before") << args;
        EXPECT_EQ(entries().size(), 1u) << args;
        // Without the limit the same command replaces it whole.
        r = Cli(args);
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        EXPECT_GT(std::filesystem::file_size(out), 2048u) << args;
        EXPECT_EQ(entries().size(), 1u) << args;
        std::filesystem::remove(out);
    }
    // A name that is a device: refused, and the device is still there.
    const std::string device = (folder / "null.bmp").string();
    ASSERT_EQ(::symlink("/dev/null", device.c_str()), 0);
    const CliRun r = Cli("convert " + input + " " + device);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    struct stat st {};
    EXPECT_TRUE(::stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
    EXPECT_TRUE(std::filesystem::is_symlink(device));
    EXPECT_EQ(entries().size(), 1u);
}

// A disk with footage the table no longer lists: the player lists the two
// listed records only, and each reads as the same record does on the twin disk
// where every record is listed (the overwriter's segments, whatever sectors
// they stand on, hash the same; its frames are the same frames).
TEST_F(CliTest, TheRecoverDemoListsOnlyItsListedRecordsAndReadsThemAsListedOnes)
{
    const std::string demo = dir->File("recover.img"), twin = dir->File("recover-twin.img");
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::RecoverDemoPlan(), demo)));
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::AllListed(mkdisk::RecoverDemoPlan()), twin)));
    const CliRun records = Cli("records " + demo);
    ASSERT_EQ(records.status, 0) << records.err;
    const auto lines = Lines(records.out);
    ASSERT_EQ(lines.size(), 3u) << records.out;
    EXPECT_TRUE(lines[1].starts_with("1\tA\t2024/06/01 08:20:00\t")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("2\tS\t2024/06/01 08:40:00\t")) << lines[2];
    EXPECT_EQ(Lines(Cli("records " + twin).out).size(), 8u);

    // Per segment: position, first sector, sectors, digest. The sectors differ
    // for the overwriter (written over an earlier record's last seconds).
    auto hashes = [&](const std::string& disk, int record) {
        std::vector<std::string> out;
        for (const std::string& line : Lines(Cli("hash " + disk + " --record " + std::to_string(record)).out)) {
            std::istringstream fields(line);
            std::string position, first, sectors, digest;
            fields >> position >> first >> sectors >> digest;
            if (position != "sha256")
                out.push_back(position + " " + sectors + " " + digest);
        }
        return out;
    };
    const auto overwriter = hashes(demo, 1);
    EXPECT_EQ(overwriter.size(), 4u);
    EXPECT_EQ(overwriter, hashes(twin, 3));
    EXPECT_EQ(hashes(demo, 2), hashes(twin, 5));
    const CliRun frames = Cli("frames " + demo + " --record 2 --calls 40");
    ASSERT_EQ(frames.status, 0) << frames.err;
    EXPECT_EQ(frames.out, Cli("frames " + twin + " --record 5 --calls 40").out);
}

}  // namespace
