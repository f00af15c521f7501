#include <gtest/gtest.h>

#include <map>

#include "picture/bmp_format.h"
#include "picture/snapshot_watermark.h"

namespace {

picture::BmpInfoHeader Header(int width, int height, int bits = 24)
{
    picture::BmpInfoHeader h;
    h.headerSize = 40;
    h.width = width;
    h.height = height;
    h.planes = 1;
    h.bitsPerPixel = static_cast<std::uint16_t>(bits);
    return h;
}

// 24-bit pixels whose red byte is given per pixel by redOf(x, y).
template <typename F>
std::vector<std::uint8_t> Pixels(int width, int height, F redOf)
{
    const int stride = static_cast<int>(picture::DibStride(width, 24));
    std::vector<std::uint8_t> p(static_cast<std::size_t>(stride) * height, 0x5A);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[static_cast<std::size_t>(y) * stride + 3 * x + 2] = redOf(x, y);
    return p;
}

// Pixel k of the block -> which bit it carries ("m0".."m7", "s0".."s7").
const std::map<int, std::string> kCarriers = {{1, "s0"},  {2, "s4"},  {3, "s6"},  {4, "s7"},  {5, "m7"},  {12, "m2"},
                                              {16, "m1"}, {19, "s3"}, {20, "m5"}, {23, "m3"}, {32, "s1"}, {33, "m4"},
                                              {40, "s2"}, {41, "s5"}, {42, "m6"}, {52, "m0"}};

int BitOf(const std::string& carrier, int mean, int sd)
{
    const int value = carrier[0] == 'm' ? mean : sd;
    return (value >> (7 - (carrier[1] - '0'))) & 1;  // bit 0 is the most significant
}

void ExpectBlock(const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& after, int width, int bx,
                 int by, int mean, int sd)
{
    const int stride = static_cast<int>(picture::DibStride(width, 24));
    for (int k = 0; k < 64; ++k) {
        const std::size_t at = static_cast<std::size_t>(by * 8 + k / 8) * stride + (bx * 8 + k % 8) * 3;
        EXPECT_EQ(after[at], before[at]);
        EXPECT_EQ(after[at + 1], before[at + 1]);
        const auto it = kCarriers.find(k);
        if (it == kCarriers.end()) {
            EXPECT_EQ(after[at + 2], before[at + 2]) << "pixel " << k;
        } else {
            EXPECT_EQ(after[at + 2] & ~8, before[at + 2] & ~8);
            EXPECT_EQ((after[at + 2] >> 3) & 1, BitOf(it->second, mean, sd)) << "pixel " << k;
        }
    }
}

}  // namespace

TEST(SnapshotWatermark, ScrambleVisitsEverySlotOnce)
{
    std::vector<int> seen(64, 0);
    for (int i = 0; i < 64; ++i)
        ++seen[picture::SnapshotWatermark::SourceSlot(i)];
    EXPECT_EQ(seen, std::vector<int>(64, 1));
    EXPECT_EQ(picture::SnapshotWatermark::SourceSlot(63), 0);
}

TEST(SnapshotWatermark, UniformBlocksCarryTheirNibbleAndZeroDeviation)
{
    // Block (0,0) red 0xB7 (nibble 11), block (1,0) red 0x30 (nibble 3),
    // and a second block row with red 0xFF (nibble 15).
    auto red = [](int x, int y) -> std::uint8_t { return y >= 8 ? 0xFF : (x < 8 ? 0xB7 : 0x30); };
    const auto before = Pixels(16, 16, red);
    picture::SnapshotWatermark mark;
    ASSERT_TRUE(mark.Prepare(Header(16, 16), before));
    ASSERT_EQ(mark.Embed(), 1);
    const std::vector<std::uint8_t> after(mark.Result().begin(), mark.Result().end());
    ASSERT_EQ(after.size(), before.size());
    ExpectBlock(before, after, 16, 0, 0, 11, 0);
    ExpectBlock(before, after, 16, 1, 0, 3, 0);
    ExpectBlock(before, after, 16, 0, 1, 15, 0);
    ExpectBlock(before, after, 16, 1, 1, 15, 0);
}

TEST(SnapshotWatermark, HalfBlackHalfRedGivesMeanEightDeviationEight)
{
    // Samples 0 and 15 half and half: mean 7.5 -> 8, sd sqrt(56.5) -> 8.
    const auto before = Pixels(8, 8, [](int x, int) -> std::uint8_t { return x < 4 ? 0x00 : 0xF0; });
    picture::SnapshotWatermark mark;
    ASSERT_TRUE(mark.Prepare(Header(8, 8), before));
    ASSERT_EQ(mark.Embed(), 1);
    const std::vector<std::uint8_t> after(mark.Result().begin(), mark.Result().end());
    ExpectBlock(before, after, 8, 0, 0, 8, 8);
}

TEST(SnapshotWatermark, SizesNotMultiplesOfEightAreLeftAlone)
{
    for (const auto& [w, h] : {std::pair{12, 8}, std::pair{8, 12}, std::pair{7, 7}}) {
        const auto before =
            Pixels(w, h, [](int x, int y) -> std::uint8_t { return static_cast<std::uint8_t>(x * 20 + y); });
        picture::SnapshotWatermark mark;
        ASSERT_TRUE(mark.Prepare(Header(w, h), before));
        EXPECT_EQ(mark.Embed(), 0);
        EXPECT_TRUE(std::equal(before.begin(), before.end(), mark.Result().begin(), mark.Result().end()));
    }
}

TEST(SnapshotWatermark, RefusesPixelsShorterThanThePictureAndPalettePictures)
{
    const auto pixels = Pixels(8, 8, [](int, int) -> std::uint8_t { return 0x80; });
    picture::SnapshotWatermark mark;
    EXPECT_FALSE(mark.Prepare(Header(8, 9), pixels));
    std::vector<std::uint8_t> indices(64, 7);
    ASSERT_TRUE(mark.Prepare(Header(8, 8, 8), indices));
    EXPECT_EQ(mark.Embed(), 0);  // no red byte to carry the bits
}
