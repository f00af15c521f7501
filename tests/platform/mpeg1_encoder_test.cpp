// The MPEG-1 export encoder, its files read back with ffprobe and ffmpeg.
#include "platform/mpeg1_encoder.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "export/capture_tools.h"
#include "support/temp_dir.h"

namespace {

using capture_test::Shell;

constexpr int kWidth = 640, kHeight = 480, kSoundIn = 11200, kSoundOut = 32000;
constexpr size_t kPictureBytes = size_t{kWidth} * kHeight * 3;
using Picture = std::vector<char>;

void Grey(int index, Picture& p)
{
    std::memset(p.data(), 96, p.size());
    for (int y = 200; y < 264; ++y)  // a bright square that moves
        std::memset(p.data() + (size_t(y) * kWidth + (index * 8) % 576) * 3, 230, 64 * 3);
}

void Noise(int index, Picture& p)
{
    uint64_t x = 0x9E3779B97F4A7C15ull * uint64_t(index + 1);
    for (size_t i = 0; i + 8 <= p.size(); i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(p.data() + i, &x, 8);
    }
}

int16_t Tone(int64_t sample)  // 1 kHz at 11,200 samples per second
{
    return int16_t(std::lround(8000 * std::sin(2 * M_PI * 1000 * double(sample) / kSoundIn)));
}

// Pictures at 30 a second, each followed by its share of the sound as
// little-endian bytes, as the exporter hands them over.
bool Write(CMPEG1Encoder& e, int pictures, const std::function<void(int, Picture&)>& picture,
           const std::function<int16_t(int64_t)>& sound)
{
    Picture p(kPictureBytes);
    std::vector<char> pcm;
    for (int64_t i = 0, s = 0; i < pictures; ++i) {
        picture(int(i), p);
        for (pcm.clear(); s < (i + 1) * kSoundIn / 30; ++s)
            pcm.insert(pcm.end(), {char(sound(s) & 0xFF), char(sound(s) >> 8)});
        if (!e.EncodeVideoFrame(p.data()) || !e.EncodeAudioData(pcm.data(), int(pcm.size())))
            return false;
    }
    return true;
}

bool WriteFile(const std::string& path, int pictures, const std::function<void(int, Picture&)>& picture,
               const std::function<int16_t(int64_t)>& sound)
{
    CMPEG1Encoder e;
    return e.Init(kWidth, kHeight, path.c_str(), 32, 300) && Write(e, pictures, picture, sound) && e.Close();
}

std::string Probe(const std::string& path, const std::string& query)
{
    return Shell("ffprobe -v error " + query + " -of csv=p=0 '" + path + "'").value_or("ffprobe failed");
}

int Pictures(const std::string& path)
{
    return std::atoi(Probe(path, "-count_frames -select_streams v:0 -show_entries stream=nb_read_frames").c_str());
}

double StartTime(const std::string& path, const char* stream)
{
    const std::string query = std::string("-select_streams ") + stream + " -show_entries stream=start_time";
    return std::atof(Probe(path, query).c_str());
}

std::vector<int16_t> DecodeSound(const std::string& path)
{
    const std::string bytes = Shell("ffmpeg -v error -i '" + path + "' -map 0:a -f s16le -").value_or("");
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8));
    return samples;
}

std::optional<std::string> DecodesCleanly(const std::string& path)
{
    return Shell("ffmpeg -v error -i '" + path + "' -f null - 2>&1");
}

// What libav says while one lives: everything, and what its default callback would print.
struct LogCapture {
    LogCapture()
    {
        active = this;
        av_log_set_callback(&Take);
    }
    ~LogCapture()
    {
        av_log_set_callback(av_log_default_callback);
        active = nullptr;
    }
    static void Take(void*, int level, const char* format, va_list args)
    {
        char line[1024];
        std::vsnprintf(line, sizeof line, format, args);
        active->all += line;
        active->printed += level <= av_log_get_level() ? line : "";
    }
    static inline LogCapture* active = nullptr;
    std::string all, printed;
};

TEST(Mpeg1EncoderTest, WritesAnMpeg1SystemStreamThatFfmpegReadsWithoutComplaint)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("out.mpg");
    LogCapture log;
    CMPEG1Encoder e;
    ASSERT_TRUE(e.Init(kWidth, kHeight, path.c_str(), 32, 300)) << e.LastError();
    ASSERT_TRUE(Write(e, 90, Grey, Tone));
    ASSERT_TRUE(e.Close()) << e.LastError();
    EXPECT_FALSE(e.Failed());
    EXPECT_EQ(e.VideoFramesWritten(), 90);
    EXPECT_EQ(log.printed, "");

    EXPECT_EQ(Probe(path, "-show_entries format=format_name"), "mpeg\n");
    EXPECT_EQ(Probe(path, "-select_streams v:0 -show_entries stream=codec_name,width,height,pix_fmt,r_frame_rate"),
              "mpeg1video,640,480,yuv420p,30/1\n");
    // MP2 at a bit rate valid for mono (at most 192 kbit/s).
    EXPECT_EQ(Probe(path, "-select_streams a:0 -show_entries stream=codec_name,sample_rate,channels,bit_rate"),
              "mp2,32000,1,96000\n");
    EXPECT_EQ(Pictures(path), 90);  // the encoder's held-back picture too
    EXPECT_EQ(DecodesCleanly(path), "");

    // The 1 kHz tone comes out at 1 kHz: upward zero crossings in the second second.
    const auto samples = DecodeSound(path);
    ASSERT_GE(samples.size(), size_t{3 * kSoundOut});
    int crossings = 0;
    for (size_t i = kSoundOut; i < 2 * kSoundOut; ++i)
        crossings += samples[i - 1] < 0 && samples[i] >= 0;
    EXPECT_NEAR(crossings, 1000, 2);
}

TEST(Mpeg1EncoderTest, TheSameCallsGiveTheSameBytes)
{
    testing_support::TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("a.mpg"), 31, Noise, Tone));
    ASSERT_TRUE(WriteFile(dir.File("b.mpg"), 31, Noise, Tone));
    const auto a = capture_test::ReadBytes(dir.File("a.mpg"));
    EXPECT_GT(a.size(), 100000u);
    EXPECT_TRUE(a == capture_test::ReadBytes(dir.File("b.mpg")));
    EXPECT_EQ(Pictures(dir.File("a.mpg")), 31);
}

TEST(Mpeg1EncoderTest, SoundAndPictureStayTogetherOverAMinute)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("minute.mpg");
    // A 0.1 s burst of tone at the start of every second.
    ASSERT_TRUE(WriteFile(path, 1800, Grey, [](int64_t s) { return s % kSoundIn < kSoundIn / 10 ? Tone(s) : 0; }));
    EXPECT_EQ(Pictures(path), 1800);

    const double videoStart = StartTime(path, "v:0"), soundStart = StartTime(path, "a:0");
    const auto samples = DecodeSound(path);
    // The sound ends with the pictures, give or take its last (padded) frame.
    EXPECT_NEAR(soundStart + double(samples.size()) / kSoundOut, videoStart + 60.0, 1152.0 / kSoundOut);
    // Each burst starts with its second's first picture, at the end as at the start.
    for (const int second : {1, 30, 59}) {
        const double picture = videoStart + second;
        size_t onset = size_t((picture - 0.2 - soundStart) * kSoundOut);
        while (onset < samples.size() && std::abs(samples[onset]) < 4000)
            ++onset;
        EXPECT_NEAR(soundStart + double(onset) / kSoundOut, picture, 0.002) << second;
    }
}

TEST(Mpeg1EncoderTest, NoiseNeverRunsTheBuffersDry)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("noise.mpg");
    LogCapture log;
    // Ten seconds of noise, then ten of noise and flat grey by turns.
    const auto content = [](int i, Picture& p) {
        if (i < 300 || i % 2 == 0)
            Noise(i, p);
        else
            std::memset(p.data(), 128, p.size());
    };
    ASSERT_TRUE(WriteFile(path, 600, content, Tone));
    // At any level ("re-encoding due to VBV" is how the encoder keeps its model).
    for (const char* complaint : {"underflow", "VBV buffer size not set", "packet too large"})
        EXPECT_EQ(log.all.find(complaint), std::string::npos) << complaint;
    EXPECT_EQ(log.printed, "");
    EXPECT_EQ(Pictures(path), 600);
    EXPECT_EQ(DecodesCleanly(path), "");
}

// The file's first picture as ffmpeg decodes it, red-green-blue rows.
std::optional<std::string> FirstPictureRgb(const std::string& path)
{
    return Shell("ffmpeg -v error -i '" + path + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
}

// Whether the pixel at x, y is within 12 levels of want in each channel.
bool NearRgb(const std::string& rgb, int x, int y, std::array<int, 3> want)
{
    for (int i = 0; i < 3; ++i)
        if (std::abs(uint8_t(rgb[(size_t(y) * kWidth + x) * 3 + i]) - want[i]) > 12)
            return false;
    return true;
}

TEST(Mpeg1EncoderTest, ColoursAndRowOrderComeBackRight)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("colours.mpg");
    // Bottom row first: the bottom quarter green, the next blue, the top half
    // red. Green and red are not each other's image under a red/blue swap, so
    // a missing flip, a wrong byte order and both at once all show.
    const auto bands = [](int, Picture& p) {
        for (int row = 0; row < kHeight; ++row) {
            const char bgr[3] = {char(row >= 120 && row < 240 ? 255 : 0), char(row < 120 ? 255 : 0),
                                 char(row >= 240 ? 255 : 0)};
            for (int x = 0; x < kWidth; ++x)
                std::memcpy(p.data() + (size_t(row) * kWidth + x) * 3, bgr, 3);
        }
    };
    ASSERT_TRUE(WriteFile(path, 5, bands, [](int64_t) { return int16_t{0}; }));
    const auto rgb = FirstPictureRgb(path);
    ASSERT_TRUE(rgb && rgb->size() == kPictureBytes);
    const auto near = [&](int x, int y, std::array<int, 3> want) { return NearRgb(*rgb, x, y, want); };
    EXPECT_TRUE(near(320, 120, {255, 0, 0}) && near(10, 10, {255, 0, 0}));  // top half
    EXPECT_TRUE(near(320, 300, {0, 0, 255}));
    EXPECT_TRUE(near(320, 420, {0, 255, 0}));  // bottom quarter
}

// Pictures handed over as YUV planes (the export's own composition): the
// planes in the order luma, blue, red, rows without padding. A swapped
// chroma pair turns red into blue, a wrong plane size smears the bands.
TEST(Mpeg1EncoderTest, PlanesComeBackInTheirOrder)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("planes.mpg");
    const size_t luma = size_t{kWidth} * kHeight, chroma = luma / 4;
    std::vector<unsigned char> planes(luma + 2 * chroma);
    // The top half red (81, 90, 240), the bottom half green (145, 54, 34).
    for (int row = 0; row < kHeight; ++row)
        std::memset(planes.data() + size_t(row) * kWidth, row < kHeight / 2 ? 81 : 145, kWidth);
    for (int row = 0; row < kHeight / 2; ++row) {
        std::memset(planes.data() + luma + size_t(row) * kWidth / 2, row < kHeight / 4 ? 90 : 54, kWidth / 2);
        std::memset(planes.data() + luma + chroma + size_t(row) * kWidth / 2, row < kHeight / 4 ? 240 : 34, kWidth / 2);
    }
    CMPEG1Encoder encoder;
    ASSERT_TRUE(encoder.Init(kWidth, kHeight, path.c_str(), 32, 300)) << encoder.LastError();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(encoder.EncodeVideoPlanes(planes.data())) << encoder.LastError();
    EXPECT_FALSE(encoder.EncodeVideoPlanes(nullptr));
    EXPECT_TRUE(encoder.Failed());
    encoder.Close();

    // A refused call fails the encoder from there on; a clean run is checked.
    CMPEG1Encoder clean;
    ASSERT_TRUE(clean.Init(kWidth, kHeight, path.c_str(), 32, 300)) << clean.LastError();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(clean.EncodeVideoPlanes(planes.data())) << clean.LastError();
    ASSERT_TRUE(clean.Close()) << clean.LastError();
    const auto rgb = FirstPictureRgb(path);
    ASSERT_TRUE(rgb && rgb->size() == kPictureBytes);
    const auto near = [&](int x, int y, std::array<int, 3> want) { return NearRgb(*rgb, x, y, want); };
    EXPECT_TRUE(near(320, 100, {255, 0, 0}) && near(10, 10, {255, 0, 0}));
    EXPECT_TRUE(near(320, 400, {0, 255, 0}) && near(630, 470, {0, 255, 0}));
}

TEST(Mpeg1EncoderTest, RefusesWhatItCannotDoAndLeavesNothingBehind)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("refused.mpg");
    CMPEG1Encoder e;
    EXPECT_FALSE(e.Init(641, 480, path.c_str(), 32, 300));
    EXPECT_FALSE(e.Init(640, 480, path.c_str(), 22, 300));
    EXPECT_FALSE(e.Init(640, 480, path.c_str(), 32, 5));
    EXPECT_FALSE(e.Init(640, 480, nullptr, 32, 300));
    EXPECT_TRUE(e.Failed());
    EXPECT_FALSE(e.EncodeVideoFrame(Picture(kPictureBytes).data()));
    EXPECT_FALSE(std::filesystem::exists(path));

    const std::string missing = dir.File("no-such-folder/out.mpg");
    EXPECT_FALSE(e.Init(kWidth, kHeight, missing.c_str(), 32, 300));
    EXPECT_EQ(e.LastError(), "cannot write " + missing + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-folder")));

    // A file that got no picture is not left behind.
    ASSERT_TRUE(e.Init(kWidth, kHeight, path.c_str(), 32, 300)) << e.LastError();
    EXPECT_FALSE(e.Failed());
    EXPECT_TRUE(e.Close());
    EXPECT_FALSE(std::filesystem::exists(path));

    // A second Init leaves the open file alone; half a sample fails, and that sticks.
    ASSERT_TRUE(e.Init(kWidth, kHeight, path.c_str(), 32, 300));
    EXPECT_FALSE(e.Init(kWidth, kHeight, dir.File("other.mpg").c_str(), 32, 300));
    ASSERT_TRUE(Write(e, 3, Grey, Tone));
    EXPECT_FALSE(e.EncodeAudioData("\x01\x02\x03", 3));
    EXPECT_TRUE(e.Failed());
    EXPECT_FALSE(e.EncodeVideoFrame(Picture(kPictureBytes).data()));
    EXPECT_FALSE(e.Close());
    EXPECT_NE(e.LastError().find("16-bit"), std::string::npos) << e.LastError();
}

// Noise until a call fails: the first failing picture, whether the failure
// sticks (no more calls succeed, no more pictures counted), Close, the message.
std::string WriteUntilFull(const std::string& path)
{
    CMPEG1Encoder e;
    if (!e.Init(kWidth, kHeight, path.c_str(), 32, 300))
        return "init failed: " + e.LastError();
    Picture p(kPictureBytes);
    int failedAt = 0;
    for (Noise(0, p); failedAt < 300 && e.EncodeVideoFrame(p.data()) && e.EncodeAudioData(p.data(), 746);)
        Noise(++failedAt, p);
    const int64_t written = e.VideoFramesWritten();
    const bool stuck =
        !e.EncodeVideoFrame(p.data()) && !e.EncodeAudioData(p.data(), 2) && written == e.VideoFramesWritten();
    const bool closed = e.Close();
    return std::to_string(failedAt) + (stuck ? " stuck" : " not stuck") + (closed ? " closed: " : " not closed: ") +
           e.LastError();
}

TEST(Mpeg1EncoderTest, AFullDeviceFailsTheCallsAndTheClose)
{
    const std::string report = WriteUntilFull("/dev/full");
    EXPECT_LT(std::atoi(report.c_str()), 300) << report;
    EXPECT_NE(report.find(" stuck not closed: cannot write /dev/full: No space left on device"), std::string::npos)
        << report;
}

// body's result from a child process that has a 256 KiB tmpfs at dir, in
// user and mount namespaces of its own; nothing where the system allows none.
std::optional<std::string> InSmallFilesystem(const std::string& dir, const std::function<std::string()>& body)
{
    int ends[2];
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    const pid_t child = pipe(ends) == 0 ? fork() : -1;
    if (child == 0) {
        const auto put = [](const char* file, const std::string& text) { return bool(std::ofstream(file) << text); };
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !put("/proc/self/setgroups", "deny") ||
            !put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1") ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") != 0)
            _exit(77);
        const std::string result = body();
        _exit(write(ends[1], result.data(), result.size()) == ssize_t(result.size()) ? 0 : 1);
    }
    if (child < 0)
        return std::nullopt;
    close(ends[1]);
    std::string result;
    char chunk[512];
    for (ssize_t n; (n = read(ends[0], chunk, sizeof chunk)) > 0;)
        result.append(chunk, size_t(n));
    close(ends[0]);
    int status = 0;
    const bool ran = waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return ran ? std::optional(result) : std::nullopt;
}

TEST(Mpeg1EncoderTest, AFullFilesystemFailsTheCallsAndTheClose)
{
    testing_support::TempDir dir;
    const std::string mount = dir.File("small");
    std::filesystem::create_directory(mount);
    const auto report = InSmallFilesystem(mount, [&] { return WriteUntilFull(mount + "/out.mpg"); });
    if (!report)
        GTEST_SKIP() << "no user namespace with a tmpfs of its own here";
    EXPECT_GT(std::atoi(report->c_str()), 0) << *report;  // some pictures fit first
    EXPECT_LT(std::atoi(report->c_str()), 300) << *report;
    EXPECT_NE(report->find(" stuck not closed: cannot write " + mount + "/out.mpg: No space left on device"),
              std::string::npos)
        << *report;
}

}  // namespace
