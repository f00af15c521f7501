#include "playback/wave_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using playback::WavePlayer;

namespace {

// SDL reads its driver choice when the audio subsystem starts, that is at
// each Open of a closed player.
void UseDriver(const char* driver, const std::string& file = std::string())
{
    setenv("SDL_AUDIODRIVER", driver, 1);
    if (!file.empty())
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
}

std::vector<uint8_t> Pcm(const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> bytes;
    for (int16_t s : samples) {
        bytes.push_back(static_cast<uint8_t>(s & 0xFF));
        bytes.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
    return bytes;
}

std::string TempPath(const char* name)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/quillon-" + std::to_string(::getpid()) + "-" + name;
}

}  // namespace

class WavePlayerDummy : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseDriver("dummy");
        ASSERT_EQ(player.Open(2000), 1);
        ASSERT_TRUE(player.IsOpen()) << "SDL's dummy audio driver is missing";
    }
    unsigned long Queued() const { return player.Device().QueuedTotal(); }
    WavePlayer player;
};

TEST_F(WavePlayerDummy, OneSecondQueuesEightBuffers)
{
    const std::vector<uint8_t> second(16000, 1);
    EXPECT_EQ(player.Write(second), 16000);
    EXPECT_EQ(Queued(), 8u);
    EXPECT_EQ(player.Fill(), 0);
    EXPECT_EQ(player.Current(), 8);
}

// A write that fills the buffer exactly queues it at once.
TEST_F(WavePlayerDummy, FourSmallWritesFillOneBuffer)
{
    const std::vector<uint8_t> part(500, 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(player.Write(part), 500);
    EXPECT_EQ(Queued(), 0u);
    EXPECT_EQ(player.Fill(), 1500);
    player.Write(part);
    EXPECT_EQ(Queued(), 1u);
    EXPECT_EQ(player.Fill(), 0);
    EXPECT_EQ(player.Current(), 1);
}

TEST_F(WavePlayerDummy, ResetDropsThePartBufferAndStartsAtBufferZero)
{
    player.Write(std::vector<uint8_t>(5300, 1));
    EXPECT_EQ(player.Current(), 2);
    EXPECT_EQ(player.Fill(), 1300);
    player.Reset();
    EXPECT_EQ(player.Current(), 0);
    EXPECT_EQ(player.Fill(), 0);
    EXPECT_EQ(player.Device().PendingBlocks(), 0);
    player.Write(std::vector<uint8_t>(700, 1));
    EXPECT_EQ(player.Fill(), 700);
    EXPECT_EQ(Queued(), 2u);
}

TEST_F(WavePlayerDummy, VolumeArithmetic)
{
    player.SetVolume(50);
    EXPECT_EQ(player.Device().Volume(), 0x7FFF7FFFu);
    EXPECT_EQ(player.GetVolume(), 49);
    player.SetVolume(100);
    EXPECT_EQ(player.Device().Volume(), 0xFFFFFFFFu);
    EXPECT_EQ(player.GetVolume(), 100);
    player.SetVolume(0);
    EXPECT_EQ(player.Device().Volume(), 0u);
    EXPECT_EQ(player.GetVolume(), 0);
    player.SetVolume(150);  // clamped rather than wrapped to 16 bits
    EXPECT_EQ(player.GetVolume(), 100);
}

// A second Open (the next record attached) keeps the device and the ring.
TEST_F(WavePlayerDummy, SecondOpenChangesNothing)
{
    player.Write(std::vector<uint8_t>(2500, 1));
    player.SetVolume(30);
    EXPECT_EQ(player.Open(1000), 1);
    EXPECT_EQ(player.Fill(), 500);
    EXPECT_EQ(player.Current(), 1);
    EXPECT_EQ(player.GetVolume(), 29);
}

TEST(WavePlayer, BadChunkMeansTheWholeBuffer)
{
    UseDriver("dummy");
    WavePlayer player;
    player.Open(0);  // would never advance
    EXPECT_EQ(player.Write(std::vector<uint8_t>(4000, 1)), 4000);
    EXPECT_EQ(player.Current(), 2);
}

TEST(WavePlayer, WithoutDeviceSilentAndHarmless)
{
    UseDriver("no-such-driver");
    WavePlayer player;
    testing::internal::CaptureStderr();
    EXPECT_EQ(player.Open(2000), 1);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("no sound output"), std::string::npos) << said;
    EXPECT_FALSE(player.IsOpen());
    EXPECT_EQ(player.Write(std::vector<uint8_t>(16000, 1)), 0);
    player.SetVolume(50);
    EXPECT_EQ(player.GetVolume(), 0);
    player.Reset();
    player.Close();
    player.Close();
}

// What reaches the device: the samples in order, each channel scaled by its
// volume. SDL's disk driver writes the device's output to a file in real time.
TEST(WavePlayer, DeviceReceivesSamplesWithVolumeApplied)
{
    const std::string file = TempPath("wave.raw");
    UseDriver("disk", file);
    std::vector<int16_t> samples;
    for (int i = 0; i < 3000; ++i)
        samples.push_back(static_cast<int16_t>((i % 2 ? -1 : 1) * (200 + i * 10)));
    {
        WavePlayer player;
        player.Open(2000);
        ASSERT_TRUE(player.IsOpen()) << "SDL's disk audio driver is missing";
        player.SetVolume(50);
        EXPECT_EQ(player.Write(Pcm(samples)), 6000);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (player.Device().PendingBlocks() > 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(player.Device().PendingBlocks(), 0);
        player.Close();
    }
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(file.c_str());
    std::vector<int16_t> out;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
        out.push_back(static_cast<int16_t>(raw[i] | (raw[i + 1] << 8)));
    std::size_t start = 0;
    while (start < out.size() && out[start] == 0)
        ++start;
    ASSERT_GE(out.size(), start + samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const int expected = samples[i] * 32767 / 65535;
        ASSERT_EQ(out[start + 2 * i], expected) << "left, sample " << i;
        ASSERT_EQ(out[start + 2 * i + 1], expected) << "right, sample " << i;
    }
    for (std::size_t i = start + samples.size() * 2; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0) << "after the sound";
}

// Reset from the window's thread while the timer's thread writes.
TEST(WavePlayer, ResetDuringWritesFromAnotherThread)
{
    UseDriver("dummy");
    WavePlayer player;
    player.Open(2000);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const std::vector<uint8_t> second(16000, 3);
        while (!stop)
            player.Write(second);
    });
    for (int i = 0; i < 200; ++i) {
        player.Reset();
        EXPECT_LT(player.Current(), WavePlayer::kBuffers);
        EXPECT_LT(player.Fill(), WavePlayer::kBufferBytes);
    }
    stop = true;
    writer.join();
    player.Close();
}
