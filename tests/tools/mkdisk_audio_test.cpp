// The audio areas: layout, and the encoder's output decoded by the published
// IMA ADPCM algorithm, written here independently of the writer.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "mkdisk_support.h"
#include "support/succeeded.h"
#include "tools/mkdisk/audio_area.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/ima_adpcm_encoder.h"

using namespace mkdisk;

namespace {

constexpr int kSteps[89] = {7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
                            25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
                            88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
                            307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
                            1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
                            3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
                            12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kIndexAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

// One channel of an audio area: 8,080 samples, as a player decodes them.
std::vector<int> DecodeChannel(const uint8_t* area, int channel)
{
    std::vector<int> out;
    auto word = [&](int row) { return area + row * 8 + 2 * channel; };
    for (int b = 0; b < 16; ++b) {
        const uint8_t* w0 = word(b * 128);
        int predictor = static_cast<int16_t>(w0[0] | (w0[1] << 8));
        int index = word(b * 128 + 1)[0];
        out.push_back(predictor);
        for (int w = 2; w < 128; ++w) {
            for (int byte = 0; byte < 2; ++byte) {
                const uint8_t codes = word(b * 128 + w)[byte];
                for (int n : {codes & 0x0F, codes >> 4}) {
                    const int step = kSteps[index];
                    int diff = step / 8;
                    if (n & 1)
                        diff += step / 4;
                    if (n & 2)
                        diff += step / 2;
                    if (n & 4)
                        diff += step;
                    if (n & 8)
                        diff = -diff;
                    predictor += diff;
                    if (predictor >= 32767)
                        predictor = 32767;
                    if (predictor <= -32768)
                        predictor = -32768;
                    index += kIndexAdjust[n & 7];
                    if (index >= 88)
                        index = 88;
                    if (index <= 0)
                        index = 0;
                    out.push_back(predictor);
                }
            }
        }
    }
    return out;
}

double Power(const std::vector<int>& s, size_t from, size_t to)
{
    double p = 0;
    for (size_t i = from; i < to; ++i)
        p += double(s[i]) * s[i];
    return p / double(to - from);
}

// Goertzel power at `hz` over samples [from, to) at 8 kHz.
double ToneEnergy(const std::vector<int>& s, double hz, size_t from, size_t to)
{
    const double k = 2 * std::cos(2 * std::numbers::pi * hz / 8000);
    double a = 0, b = 0;
    for (size_t i = from; i < to; ++i) {
        const double c = s[i] + k * a - b;
        b = a;
        a = c;
    }
    return a * a + b * b - k * a * b;
}

}  // namespace

TEST(MkdiskAudio, EncoderStepsMatchThePublishedDecoder)
{
    // Code 7 then 0 from predictor 0, index 0: 11 then 13, index 8 then 7.
    ImaState s{0, 0};
    EXPECT_EQ(11, ImaDecodeStep(s, 7));
    EXPECT_EQ(8, s.index);
    EXPECT_EQ(13, ImaDecodeStep(s, 0));
    EXPECT_EQ(7, s.index);
    ImaState high{32760, 88};
    EXPECT_EQ(32767, ImaDecodeStep(high, 7));
    ImaState low{-32760, 88};
    EXPECT_EQ(-32768, ImaDecodeStep(low, 15));
}

TEST(MkdiskAudio, EachCameraToneSurvivesTheRoundTrip)
{
    std::array<uint8_t, kAudioAreaBytes> area{};
    BuildAudioArea(0x0F, area);
    for (int c = 0; c < 4; ++c) {
        SecondOfAudio source;
        SourceAudio(c, source);
        const auto decoded = DecodeChannel(area.data(), c);
        ASSERT_EQ(size_t{kSamplesPerArea}, decoded.size());
        // The click (a 2 kHz square) is beyond what 4-bit ADPCM follows; judge the
        // tone once the step size has settled after it.
        double signal = 0, noise = 0;
        for (size_t i = 200; i < decoded.size(); ++i) {
            signal += double(source[i]) * source[i];
            noise += double(source[i] - decoded[i]) * (source[i] - decoded[i]);
        }
        const double snr = 10 * std::log10(signal / noise);
        EXPECT_GT(snr, 22.0) << "camera " << c;
        // Each sub-block starts exactly on the source sample.
        for (int b = 0; b < 16; ++b)
            EXPECT_EQ(source[size_t(b) * 505], decoded[size_t(b) * 505]);
        // The camera's own tone dominates the others; the click opens the second.
        const double own = ToneEnergy(decoded, kToneHz[size_t(c)], 100, 8000);
        for (int other = 0; other < 4; ++other) {
            if (other != c) {
                EXPECT_GT(own, 100 * ToneEnergy(decoded, kToneHz[size_t(other)], 100, 8000));
            }
        }
        EXPECT_GT(Power(decoded, 0, kClickSamples), 4 * Power(decoded, 100, 8000));
    }
}

TEST(MkdiskAudio, SilentChannelsAndRowLayout)
{
    std::array<uint8_t, kAudioAreaBytes> area{};
    BuildAudioArea(0x04, area);  // camera 2 only: bytes 4 and 5 of each row
    for (int c : {0, 1, 3}) {
        const auto decoded = DecodeChannel(area.data(), c);
        EXPECT_TRUE(std::all_of(decoded.begin(), decoded.end(), [](int v) { return v == 0; })) << c;
    }
    for (size_t row = 0; row < 2048; ++row) {
        for (size_t b : {0u, 1u, 2u, 3u, 6u, 7u})
            ASSERT_EQ(0, area[row * 8 + b]);
        if (row % 128 == 1) {
            EXPECT_LE(area[row * 8 + 4], 88);  // step index
            EXPECT_EQ(0, area[row * 8 + 5]);
        }
    }
}

TEST(MkdiskAudio, EverySegmentOpensWithTheRecordsAudioArea)
{
    DiskPlan plan;
    RecordPlan r;
    r.seconds = 2;
    r.audioCameras = 0x05;
    plan.records = {r};
    mkdisk_test::TempPath path(".img");
    Manifest m;
    ASSERT_TRUE(testing_support::Succeeded(WriteDisk(plan, path.str(), &m)));
    const auto image = mkdisk_test::ReadBytes(path.str());
    std::array<uint8_t, kAudioAreaBytes> expected{};
    BuildAudioArea(0x05, expected);
    for (uint32_t s = 0; s < 2; ++s) {
        const uint8_t* seg = mkdisk_test::SegmentBytes(image, m.records[0], s);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), seg)) << s;
    }
    EXPECT_EQ(0x0005, m.records[0].header.audioChannels);
}
