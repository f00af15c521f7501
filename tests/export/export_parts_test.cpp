// The export's pieces on their own: the MPEG-1 sound stretch and the encode
// stage's order, repeats and failures.
#include <gtest/gtest.h>

#include <atomic>
#include <numeric>

#include "export/encode_stage.h"
#include "export/sound_stretch.h"

namespace {

using exporter::EncodeStage;

TEST(SoundStretch, ASecondOf8000SamplesBecomes11200WithAveragesAtFixedPlaces)
{
    std::vector<int16_t> in(8000);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = int16_t((i * 7919) % 20001) - 10000;
    std::vector<int16_t> out(11200, 0x5555);
    ASSERT_EQ(exporter::StretchedCount(8000), 11200u);
    ASSERT_EQ(exporter::StretchSound(in, out), 11200u);
    EXPECT_EQ(out[0], in[0]);
    EXPECT_EQ(out[1], in[1] / 2 + in[0] / 2) << "the sample inserted at i = 0";
    EXPECT_EQ(out[2], (in[1] / 4) * 3 + in[0] / 4);
    EXPECT_EQ(out[3], in[2] / 2 + in[1] / 2) << "inserted after i = 1";

    // Division truncates toward zero: -3 / 2 is -1, not -2.
    const std::vector<int16_t> negative(40, -3);
    std::vector<int16_t> small(exporter::StretchedCount(40));
    ASSERT_EQ(exporter::StretchSound(negative, small), small.size());
    EXPECT_EQ(small[0], -3);
    EXPECT_EQ(small[1], -2);  // -3/2 + -3/2
    EXPECT_EQ(small[2], 0);   // (-3/4) * 3 + -3/4, and -3/4 is 0
}

TEST(SoundStretch, TooSmallAnOutputGetsNothing)
{
    const std::vector<int16_t> in(8000, 100);
    std::vector<int16_t> out(11199, 7);
    EXPECT_EQ(exporter::StretchSound(in, out), 0u);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(exporter::StretchSound({}, out), 0u);
}

TEST(EncodeStage, FramesAndSoundReachTheSinksInOrderWithTheirRepeats)
{
    std::vector<int> seen;  // frame id, or -(sound id) - 1
    EncodeStage stage;
    stage.Start(
        4,
        [&](const uint8_t* frame) {
            seen.push_back(frame[0]);
            return true;
        },
        [&](std::span<const uint8_t> pcm) {
            seen.push_back(-int(pcm[0]) - 1);
            return true;
        });
    std::vector<int> expected;
    for (int i = 0; i < 50; ++i) {
        const auto frame = stage.AcquireFrame();
        std::fill(frame.begin(), frame.end(), uint8_t(i));
        stage.SubmitFrame(frame, 1 + i % 3);
        expected.insert(expected.end(), 1 + i % 3, i);
        if (i % 7 == 0) {
            const uint8_t pcm[2] = {uint8_t(i), 0};
            stage.SubmitSound(pcm);
            expected.push_back(-i - 1);
        }
    }
    EXPECT_TRUE(stage.Finish());
    EXPECT_EQ(seen, expected);
}

TEST(EncodeStage, AFailedSinkIsStickyAndWhatFollowsIsDropped)
{
    std::atomic<int> calls{0};
    EncodeStage stage;
    stage.Start(
        8, [&](const uint8_t*) { return ++calls < 3; }, [&](std::span<const uint8_t>) { return true; });
    for (int i = 0; i < 10; ++i) {
        const auto frame = stage.AcquireFrame();
        stage.SubmitFrame(frame, 1);
    }
    EXPECT_FALSE(stage.Finish());
    EXPECT_TRUE(stage.Failed());
    EXPECT_EQ(calls.load(), 3) << "nothing encoded after the failure";
    // A new run starts clean.
    stage.Start(
        8, [](const uint8_t*) { return true; }, [](std::span<const uint8_t>) { return true; });
    stage.SubmitFrame(stage.AcquireFrame(), 1);
    EXPECT_TRUE(stage.Finish());
}

}  // namespace
