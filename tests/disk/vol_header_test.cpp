// The stream header parser: VOLs from ffmpeg's MPEG-4 encoder at the
// recorder's four picture formats, VOLs written by hand with the optional
// fields, and cut-short or garbage input refused without reading past it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "disk/vol_header.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "vol_bytes.h"

namespace {

bool HaveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

// The first VOL of an elementary stream ffmpeg's encoder writes.
std::vector<uint8_t> EncodedVol(int width, int height, int rate)
{
    testing_support::TempDir dir;
    const std::string out = dir.File("vol.m4v");
    const std::string command = "ffmpeg -v error -y -f lavfi -i testsrc=size=" + std::to_string(width) + "x" +
                                std::to_string(height) + ":rate=" + std::to_string(rate) +
                                " -frames:v 2 -c:v mpeg4 -f m4v '" + out + "'";
    if (std::system(command.c_str()) != 0)
        return {};
    const std::vector<uint8_t> bytes = testing_support::ReadBytes(out);
    for (size_t i = 0; i + 4 <= bytes.size(); ++i)
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && bytes[i + 3] >= 0x20 && bytes[i + 3] <= 0x2F)
            return {bytes.begin() + long(i), bytes.end()};
    return {};
}

TEST(VolHeader, VolsOfFfmpegsEncoderGiveTheirSizeAndRate)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed";
    struct Format {
        int width, height, rate;
    };
    for (const Format f : {Format{352, 240, 30}, Format{720, 240, 15}, Format{352, 288, 25}, Format{720, 288, 12}}) {
        SCOPED_TRACE(std::to_string(f.width) + "x" + std::to_string(f.height));
        const std::vector<uint8_t> stream = EncodedVol(f.width, f.height, f.rate);
        ASSERT_FALSE(stream.empty());
        const disk::VolParse parsed = disk::ParseVolHeader(stream);
        ASSERT_TRUE(parsed.header) << parsed.failure;
        EXPECT_EQ(parsed.header->width, uint32_t(f.width));
        EXPECT_EQ(parsed.header->height, uint32_t(f.height));
        EXPECT_EQ(parsed.header->FrameRate(), uint32_t(f.rate));
        // The first picture after it is coded.
        size_t vop = 4;
        while (vop + 4 <= stream.size() &&
               !(stream[vop] == 0 && stream[vop + 1] == 0 && stream[vop + 2] == 1 && stream[vop + 3] == 0xB6))
            ++vop;
        ASSERT_LT(vop + 4, stream.size());
        const std::optional<bool> coded = disk::VopCoded(std::span<const uint8_t>(stream).subspan(vop), *parsed.header);
        ASSERT_TRUE(coded);
        EXPECT_TRUE(*coded);
    }
}

TEST(VolHeader, OptionalFieldsAreSteppedOverAndAFixedRateIsUsed)
{
    const std::vector<uint8_t> voVol = testing_support::VoVol(720, 288, 25000, 2000, true);
    ASSERT_TRUE(disk::HasVoVolAt(voVol, 0));
    const disk::VolParse parsed = disk::ParseVolHeader(std::span<const uint8_t>(voVol).subspan(4));
    ASSERT_TRUE(parsed.header) << parsed.failure;
    EXPECT_EQ(parsed.header->width, 720u);
    EXPECT_EQ(parsed.header->height, 288u);
    EXPECT_EQ(parsed.header->timeResolution, 25000u);
    EXPECT_EQ(parsed.header->timeIncrementBits, 15u);
    EXPECT_EQ(parsed.header->FrameRate(), 12u);
}

TEST(VolHeader, CutShortOrGarbageInputIsRefusedWithAReason)
{
    const std::vector<uint8_t> voVol = testing_support::VoVol(352, 240, 30);
    const std::span<const uint8_t> vol = std::span<const uint8_t>(voVol).subspan(4);
    ASSERT_TRUE(disk::ParseVolHeader(vol).header);
    // Every cut before the height's marker bit is refused: the bytes up to
    // the height end at bit 32 + 1 + 8 + 1 + 4 + 1 + 2 + 1 + 16 + 1 + 1 + 1 + 13 + 1 + 13 + 1.
    for (size_t n = 0; n < 13; ++n) {
        const disk::VolParse parsed = disk::ParseVolHeader(vol.first(n));
        EXPECT_FALSE(parsed.header) << n;
        EXPECT_FALSE(parsed.failure.empty()) << n;
    }
    // Not a VOL start code; a zero resolution; a zero size; a cleared marker.
    std::vector<uint8_t> bad(vol.begin(), vol.end());
    bad[3] = 0xB6;
    EXPECT_FALSE(disk::ParseVolHeader(bad).header);
    const std::vector<uint8_t> noRate = testing_support::VoVol(352, 240, 0);
    EXPECT_FALSE(disk::ParseVolHeader(std::span<const uint8_t>(noRate).subspan(4)).header);
    const std::vector<uint8_t> noSize = testing_support::VoVol(0, 240, 30);
    EXPECT_FALSE(disk::ParseVolHeader(std::span<const uint8_t>(noSize).subspan(4)).header);
    // Garbage after a start code: refused or parsed, never read past.
    uint32_t x = 7;
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> g = {0, 0, 1, uint8_t(0x20 + round % 16)};
        for (int i = 0; i < round % 24; ++i) {
            x = x * 1664525u + 1013904223u;
            g.push_back(uint8_t(x >> 24));
        }
        const disk::VolParse parsed = disk::ParseVolHeader(g);
        if (parsed.header) {
            EXPECT_GT(parsed.header->width, 0u);
            EXPECT_GT(parsed.header->FrameRate(), 0u);
        }
        disk::VopCoded(g, disk::VolHeader{});
    }
    EXPECT_FALSE(disk::HasVoVolAt(voVol, voVol.size() - 4));
}

}  // namespace
