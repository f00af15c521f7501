// The MP4 writer's two callers: pictures from one thread while the sound is
// encoded on another, and pictures lent to libx264 without a copy, read back
// with ffprobe and ffmpeg.
#include "platform/mp4_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "export/capture_tools.h"
#include "platform/yuv_planes.h"
#include "support/temp_dir.h"

namespace {

using capture_test::Shell;

constexpr int kWidth = 64, kHeight = 48, kSeconds = 3;
constexpr int kPictures = kSeconds * platform::mp4::Writer::kPicturesPerSecond;
constexpr int kSoundRate = platform::mp4::Writer::kSoundInputRate;

// Picture i: flat grey whose level climbs by 2 a picture, so a picture taken
// from the wrong moment shows in its mean.
int Level(int i) { return 20 + 2 * i; }

void Paint(int i, std::vector<uint8_t>& yuv)
{
    const std::size_t luma = std::size_t(kWidth) * kHeight;
    std::memset(yuv.data(), Level(i), luma);
    std::memset(yuv.data() + luma, 128, yuv.size() - luma);
}

// One second of a 440 Hz tone as little-endian 16-bit samples.
std::vector<uint8_t> Second(int second)
{
    std::vector<uint8_t> pcm;
    for (int s = 0; s < kSoundRate; ++s) {
        const auto v =
            int16_t(std::lround(6000 * std::sin(2 * M_PI * 440 * double(second * kSoundRate + s) / kSoundRate)));
        pcm.push_back(uint8_t(v & 0xFF));
        pcm.push_back(uint8_t((v >> 8) & 0xFF));
    }
    return pcm;
}

bool Pictures(platform::mp4::Writer& w, int buffers)
{
    std::vector<std::vector<uint8_t>> ring(std::size_t(buffers),
                                           std::vector<uint8_t>(platform::YuvPlanesBytes(kWidth, kHeight)));
    for (int i = 0; i < kPictures; ++i) {
        auto& yuv = ring[std::size_t(i % buffers)];
        Paint(i, yuv);
        if (!w.EncodePlanes(yuv.data()))
            return false;
        // Written over at once, as the export reuses its frame buffers.
        std::memset(yuv.data(), 250, yuv.size());
    }
    return true;
}

bool Sound(platform::mp4::Writer& w)
{
    for (int s = 0; s < kSeconds; ++s)
        if (!w.EncodeSound(Second(s)))
            return false;
    return true;
}

std::string Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The mean of each decoded picture's luma plane.
std::vector<double> Means(const std::string& path)
{
    const auto raw = Shell("ffmpeg -nostdin -v error -i '" + path + "' -f rawvideo -pix_fmt yuv420p -");
    std::vector<double> means;
    if (!raw)
        return means;
    const std::size_t luma = std::size_t(kWidth) * kHeight, size = platform::YuvPlanesBytes(kWidth, kHeight);
    for (std::size_t at = 0; at + size <= raw->size(); at += size) {
        double sum = 0;
        for (std::size_t i = 0; i < luma; ++i)
            sum += uint8_t((*raw)[at + i]);
        means.push_back(sum / double(luma));
    }
    return means;
}

TEST(Mp4WriterTest, SoundFromAnotherThreadGivesTheBytesOfOneThread)
{
    testing_support::TempDir dir;
    const std::string one = dir.File("one.mp4"), two = dir.File("two.mp4");
    {
        platform::mp4::Writer w;
        ASSERT_TRUE(w.Open(one, kWidth, kHeight, ""));
        // Each second's sound before its pictures, as the stage once did.
        std::vector<uint8_t> yuv(platform::YuvPlanesBytes(kWidth, kHeight));
        for (int s = 0; s < kSeconds; ++s) {
            ASSERT_TRUE(w.EncodeSound(Second(s)));
            for (int i = s * 30; i < (s + 1) * 30; ++i) {
                Paint(i, yuv);
                ASSERT_TRUE(w.EncodePlanes(yuv.data()));
            }
        }
        ASSERT_TRUE(w.Close());
    }
    {
        platform::mp4::Writer w;
        ASSERT_TRUE(w.Open(two, kWidth, kHeight, ""));
        bool sound = false;
        std::thread soundThread([&] { sound = Sound(w); });
        const bool pictures = Pictures(w, 3);
        soundThread.join();
        ASSERT_TRUE(pictures);
        ASSERT_TRUE(sound);
        ASSERT_TRUE(w.Close());
        EXPECT_EQ(w.PicturesWritten(), kPictures);
    }
    const std::string a = Bytes(one);
    EXPECT_GT(a.size(), 1000u);
    EXPECT_TRUE(a == Bytes(two));
    const auto streams = Shell(
        "ffprobe -v error -count_frames -show_entries stream=codec_name,nb_read_frames -of csv=p=0 '" + two + "'");
    ASSERT_TRUE(streams);
    EXPECT_NE(streams->find("h264," + std::to_string(kPictures)), std::string::npos) << *streams;
    EXPECT_NE(streams->find("aac,"), std::string::npos) << *streams;
}

// Each picture is the one handed over, though its buffer is written over as
// soon as the call returns: whether the few buffers are lent as they are or
// more buffers than are lent are copied.
TEST(Mp4WriterTest, APictureIsTakenBeforeItsBufferIsWrittenOver)
{
    testing_support::TempDir dir;
    for (const int buffers : {1, 3, 12}) {
        SCOPED_TRACE(std::to_string(buffers) + " buffers");
        const std::string path = dir.File("ring" + std::to_string(buffers) + ".mp4");
        platform::mp4::Writer w;
        ASSERT_TRUE(w.Open(path, kWidth, kHeight, ""));
        ASSERT_TRUE(Pictures(w, buffers));
        ASSERT_TRUE(Sound(w));
        ASSERT_TRUE(w.Close());
        const auto means = Means(path);
        ASSERT_EQ(means.size(), std::size_t(kPictures));
        for (int i = 0; i < kPictures; ++i)
            EXPECT_NEAR(means[std::size_t(i)], Level(i), 1.5) << "picture " << i;
    }
}

TEST(Mp4WriterTest, FailuresAreKeptAndNamed)
{
    testing_support::TempDir dir;
    platform::mp4::Writer w;
    ASSERT_TRUE(w.Open(dir.File("odd.mp4"), kWidth, kHeight, ""));
    const std::vector<uint8_t> odd(3);
    EXPECT_FALSE(w.EncodeSound(odd));
    EXPECT_TRUE(w.Failed());
    EXPECT_NE(w.LastError().find("not whole 16-bit samples"), std::string::npos) << w.LastError();
    // The first failure stays the reason; what follows it is refused.
    std::vector<uint8_t> yuv(platform::YuvPlanesBytes(kWidth, kHeight));
    EXPECT_FALSE(w.EncodePlanes(yuv.data()));
    EXPECT_NE(w.LastError().find("not whole 16-bit samples"), std::string::npos) << w.LastError();
    EXPECT_FALSE(w.Close());
}

}  // namespace
