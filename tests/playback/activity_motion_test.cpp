// The exact activity measure over synthetic YUY2 scenes made here: a noisy
// textured still, a square moving across it, lighting that drifts or
// flickers, regions that leave the square out, and pictures and settings
// that are refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "playback/activity_motion.h"
#include "playback/activity_parameters.h"
#include "playback/activity_seconds.h"
#include "support/allocation_counter.h"

using playback::ActivityParameters;
using playback::ActivityRegion;
using playback::FrameShare;
using playback::MotionModel;

namespace {

constexpr int32_t kWidth = 352;
constexpr int32_t kHeight = 240;

// A deterministic noise source, the same on every machine.
struct Noise {
    uint32_t state;
    int Next(int amplitude)
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 16) % static_cast<uint32_t>(2 * amplitude + 1)) - amplitude;
    }
};

struct Square {
    int32_t x = 0, y = 0, side = 0;
    uint8_t luma = 235;
};

// A textured scene (luma 25..195) times gain/1000, plus offset, with
// per-pixel noise of +-noise levels and optionally a flat square on top.
class Scene {
public:
    explicit Scene(int noiseLevels, uint32_t seed = 1) : noise{seed}, noiseLevels(noiseLevels) {}

    std::span<const uint8_t> Picture(const Square& square = {}, int gainPermille = 1000, int offset = 0)
    {
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                // Blocks of 16x16 at levels 40..180 (what a cell sees), with a fine
                // texture of +-15 on them (what the box filter smooths away).
                const auto bx = static_cast<uint32_t>(x / 16), by = static_cast<uint32_t>(y / 16);
                int value = 40 + static_cast<int>((bx * 2654435761u ^ by * 40503u) % 141u) +
                            static_cast<int>((static_cast<uint32_t>(x) * 37u + static_cast<uint32_t>(y) * 91u) % 31u) -
                            15;
                value = value * gainPermille / 1000 + offset;
                if (square.side > 0 && x >= square.x && x < square.x + square.side && y >= square.y &&
                    y < square.y + square.side)
                    value = square.luma;
                if (noiseLevels > 0)
                    value += noise.Next(noiseLevels);
                const std::size_t at = (static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)) * 2;
                pixels[at] = static_cast<uint8_t>(std::clamp(value, 0, 255));
                pixels[at + 1] = 128;
            }
        }
        return pixels;
    }

private:
    std::vector<uint8_t> pixels = std::vector<uint8_t>(static_cast<std::size_t>(kWidth) * kHeight * 2);
    Noise noise;
    int noiseLevels;
};

FrameShare Fed(MotionModel& model, std::span<const uint8_t> picture)
{
    auto share = model.Feed(picture, kWidth, kHeight);
    EXPECT_TRUE(share.Ok()) << (share.Ok() ? "" : share.Detail());
    return share.Ok() ? share.Value() : FrameShare{};
}

// Feeds the still scene through the warm-up.
void WarmUp(MotionModel& model, Scene& scene, const ActivityParameters& parameters)
{
    for (uint32_t i = 0; i < parameters.warmupFrames; ++i)
        EXPECT_TRUE(Fed(model, scene.Picture()).warmingUp) << "frame " << i;
}

constexpr double kSquareShare = 48.0 * 48.0 / (kWidth * kHeight);

}  // namespace

TEST(ActivityMotionTest, StillNoisyScenesStayQuietAfterWarmUp)
{
    const ActivityParameters parameters;
    // Light noise stays under the floor; heavy noise (+-30 levels a pixel,
    // about 4 levels a cell) passes the floor in places and must be held
    // back by the learnt spread.
    for (int noiseLevels : {4, 30}) {
        SCOPED_TRACE(noiseLevels);
        Scene scene(noiseLevels);
        MotionModel model(parameters, 0);
        WarmUp(model, scene, parameters);
        uint32_t peak = 0;
        for (int i = 0; i < 200; ++i) {
            const FrameShare share = Fed(model, scene.Picture());
            EXPECT_FALSE(share.warmingUp);
            EXPECT_EQ(share.cells, 88u * 60u);
            peak = std::max(peak, share.foreground);
        }
        EXPECT_FALSE((FrameShare{peak, 88u * 60u}.Reaches(parameters.sharePermille))) << peak << " cells";
        EXPECT_LE(peak, 5u);
    }
}

TEST(ActivityMotionTest, MovingSquareGivesItsAreaAndRegionsSelect)
{
    ActivityParameters parameters;
    // Camera 1 watches the left half, where the square never goes; camera 2
    // the right half, where it moves; camera 0 the whole picture.
    parameters.regions[1] = ActivityRegion{0, 0, 160, kHeight};
    parameters.regions[2] = ActivityRegion{176, 0, 176, kHeight};
    MotionModel whole(parameters, 0), left(parameters, 1), right(parameters, 2);
    Scene scene(6);
    for (uint32_t i = 0; i < parameters.warmupFrames; ++i) {
        const auto picture = scene.Picture();
        Fed(whole, picture);
        Fed(left, picture);
        Fed(right, picture);
    }
    for (int i = 0; i < 40; ++i) {
        const Square square{180 + 3 * i, 100, 48, 235};
        const auto picture = scene.Picture(square);
        const FrameShare w = Fed(whole, picture);
        const FrameShare l = Fed(left, picture);
        const FrameShare r = Fed(right, picture);
        SCOPED_TRACE(i);
        EXPECT_GT(w.Share(), kSquareShare * 0.7);
        EXPECT_LT(w.Share(), kSquareShare * 1.4);
        EXPECT_EQ(l.foreground, 0u);
        EXPECT_EQ(l.cells, 40u * 60u);
        EXPECT_EQ(r.cells, 44u * 60u);
        EXPECT_EQ(r.foreground, w.foreground);
        EXPECT_TRUE(w.Reaches(parameters.sharePermille));
    }
    // Gone again: no trail stays behind it.
    for (int i = 0; i < 5; ++i)
        Fed(whole, scene.Picture());
    EXPECT_LT(Fed(whole, scene.Picture()).Share(), kSquareShare * 0.1);
}

TEST(ActivityMotionTest, SlowLightingChangesAreNotMotion)
{
    const ActivityParameters parameters;
    // 25 % brighter over 300 frames, as a gain and as an offset; then the
    // same again darker.
    for (bool asGain : {true, false}) {
        for (int direction : {1, -1}) {
            SCOPED_TRACE(std::to_string(asGain) + " " + std::to_string(direction));
            Scene scene(6);
            MotionModel model(parameters, 0);
            WarmUp(model, scene, parameters);
            for (int i = 1; i <= 300; ++i) {
                const int gain = asGain ? 1000 + direction * 250 * i / 300 : 1000;
                const int offset = asGain ? 0 : direction * 30 * i / 300;
                const FrameShare share = Fed(model, scene.Picture({}, gain, offset));
                ASSERT_FALSE(share.Reaches(parameters.sharePermille / 2)) << "frame " << i << ": " << share.foreground;
            }
        }
    }
}

TEST(ActivityMotionTest, FlickerDoesNotMakeASecondActive)
{
    const ActivityParameters parameters;
    // A lamp flickering and the camera's exposure jumping, brighter and
    // darker: once in the middle of a second of 25 frames, and in every
    // other frame of a second (a failing tube).
    struct Flicker {
        int gain;
        int offset;
    };
    for (bool everyOther : {false, true})
        for (Flicker flicker : {Flicker{1300, 0}, Flicker{1000, 40}, Flicker{700, 0}, Flicker{1000, -35}}) {
            SCOPED_TRACE(std::to_string(flicker.gain) + " " + std::to_string(flicker.offset) + " " +
                         std::to_string(everyOther));
            Scene scene(6);
            MotionModel model(parameters, 0);
            playback::SecondTally tally(parameters);
            WarmUp(model, scene, parameters);
            for (int frame = 0; frame < 25; ++frame) {
                const bool flickers = everyOther ? frame % 2 == 1 : frame == 12;
                tally.Add(Fed(model, flickers ? scene.Picture({}, flicker.gain, flicker.offset) : scene.Picture()));
            }
            const playback::CameraSecond second = tally.End();
            EXPECT_EQ(second.frames, 25u);
            EXPECT_FALSE(second.active) << second.framesReaching << " frames, peak " << second.peakPermille;
            EXPECT_LT(second.peakPermille, parameters.sharePermille);
        }
}

TEST(ActivityMotionTest, SecondsOfMovementBecomeOneEvent)
{
    // Eight seconds of 25 frames on camera 2; the square crosses in seconds
    // 4 and 5 only. With a pad of one second the event is seconds 3 to 6.
    const ActivityParameters parameters;
    Scene scene(6);
    MotionModel model(parameters, 1);
    playback::SecondTally tally(parameters);
    playback::ActivitySeconds seconds(parameters, 3);
    std::vector<uint32_t> peaks;
    for (int64_t second = 0; second < 8; ++second) {
        for (int frame = 0; frame < 25; ++frame) {
            const bool moving = second == 4 || second == 5;
            const Square square{20 + 5 * (static_cast<int>(second - 4) * 25 + frame), 150, 48, 20};
            tally.Add(Fed(model, scene.Picture(moving ? square : Square{})));
        }
        const playback::CameraSecond verdict = tally.End();
        peaks.push_back(verdict.peakPermille);
        ASSERT_TRUE(seconds.Add(1, second, verdict.peakPermille, verdict.active).Ok());
    }
    EXPECT_EQ(seconds.ActiveSeconds(), 2u) << ::testing::PrintToString(peaks);
    const auto events = seconds.Events(7);
    ASSERT_EQ(events.size(), 1u) << ::testing::PrintToString(peaks);
    EXPECT_EQ(events[0].record, 3u);
    EXPECT_EQ(events[0].camera, 1);
    EXPECT_EQ(events[0].begin, 3);
    EXPECT_EQ(events[0].end, 6);
    // The square is 2.7 % of the picture.
    EXPECT_GE(events[0].peak, 20u);
    EXPECT_LE(events[0].peak, 38u);
}

// A square that stood in the scene since the start walks off and stops
// elsewhere: only its walk counts. Neither the place it left (the
// background there held the square) nor the square standing at its new
// place leaves a trail, and once taken into the background it is seen to
// move again.
TEST(ActivityMotionTest, WhatStandsStillLeavesNoTrail)
{
    const ActivityParameters parameters;
    Scene scene(6);
    MotionModel model(parameters, 0);
    const Square start{40, 100, 48, 20};
    for (uint32_t i = 0; i < parameters.warmupFrames + 60; ++i)
        Fed(model, scene.Picture(start));
    Square square = start;
    for (int i = 1; i <= 30; ++i) {
        square.x = start.x + 6 * i;
        const FrameShare share = Fed(model, scene.Picture(square));
        EXPECT_TRUE(share.Reaches(parameters.sharePermille)) << "walking, frame " << i << ": " << share.foreground;
    }
    // Still at x = 220 from here on: one frame of the last step, then nothing.
    Fed(model, scene.Picture(square));
    for (int i = 0; i < 60; ++i)
        ASSERT_EQ(Fed(model, scene.Picture(square)).foreground, 0u) << "standing, frame " << i;
    for (int i = 1; i <= 10; ++i) {
        square.x -= 6;
        EXPECT_TRUE(Fed(model, scene.Picture(square)).Reaches(parameters.sharePermille)) << "back, frame " << i;
    }
}

// A burnt-in clock: a plate whose digits are drawn anew once a second
// (every 25 frames) in the corner of a still scene. The frame a digit
// changes may count; the second never does, however long the clock runs.
TEST(ActivityMotionTest, ABurntInClockDoesNotMakeASecondActive)
{
    const ActivityParameters parameters;
    Scene scene(6);
    MotionModel model(parameters, 0);
    playback::SecondTally tally(parameters);
    std::vector<uint8_t> picture;
    auto withClock = [&](int second) {
        const auto base = scene.Picture();
        picture.assign(base.begin(), base.end());
        // Eight digits of 20x40 pixels on a dark plate (as large as a
        // recorder's date and time): each digit a pattern of bars that the
        // second picks.
        for (int32_t y = 4; y < 52; ++y)
            for (int32_t x = 4; x < 180; ++x) {
                const int digit = (x - 4) / 22;
                const int value = (second / (digit % 2 ? 1 : 10) + digit) % 10;
                const bool bar = y >= 8 && y < 48 && (x - 4) % 22 < 20 && ((x - 4) % 22 / 4 + value + y / 8) % 3 == 0;
                picture[(static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)) * 2] = bar ? 235 : 16;
            }
        return std::span<const uint8_t>(picture);
    };
    for (uint32_t i = 0; i < parameters.warmupFrames; ++i)
        Fed(model, withClock(0));
    for (int second = 1; second <= 12; ++second) {
        for (int frame = 0; frame < 25; ++frame)
            tally.Add(Fed(model, withClock(second)));
        const playback::CameraSecond verdict = tally.End();
        EXPECT_FALSE(verdict.active) << "second " << second << ": " << verdict.framesReaching << " frames, peak "
                                     << verdict.peakPermille;
    }
}

TEST(ActivityMotionTest, SamePicturesGiveTheSameSharesBitForBit)
{
    const ActivityParameters parameters;
    auto run = [&](uint32_t seed) {
        Scene scene(20, seed);
        MotionModel model(parameters, 3);
        std::vector<FrameShare> shares;
        for (int i = 0; i < 120; ++i) {
            const Square square{10 + 2 * i, 20 + i, 32, static_cast<uint8_t>(i % 2 ? 250 : 10)};
            shares.push_back(Fed(model, scene.Picture(i > 40 ? square : Square{}, 1000 + (i % 7) * 20)));
        }
        return shares;
    };
    const auto first = run(7), second = run(7);
    ASSERT_EQ(first.size(), second.size());
    uint64_t total = 0;
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].foreground, second[i].foreground) << i;
        EXPECT_EQ(first[i].warmingUp, second[i].warmingUp) << i;
        total += first[i].foreground;
    }
    EXPECT_GT(total, 0u);  // the runs measured something
}

TEST(ActivityMotionTest, FeedAllocatesNothingAfterTheFirstPicture)
{
    const ActivityParameters parameters;
    Scene scene(6);
    MotionModel model(parameters, 0);
    Fed(model, scene.Picture());
    const long before = testing_support::allocations.load();
    for (int i = 0; i < 60; ++i) {
        auto share = model.Feed(scene.Picture({100 + i, 50, 40, 200}), kWidth, kHeight);
        ASSERT_TRUE(share.Ok());
    }
    EXPECT_EQ(testing_support::allocations.load(), before);
}

TEST(ActivityMotionTest, BadPicturesAndSettingsAreRefusedWithTheReason)
{
    Scene scene(0);
    const auto picture = scene.Picture();
    const ActivityParameters defaults;

    struct PictureCase {
        int32_t width, height;
        std::size_t bytes;
        const char* says;
    };
    for (const PictureCase& c :
         {PictureCase{0, kHeight, picture.size(), "0x240"}, PictureCase{kWidth, 0, picture.size(), "352x0"},
          PictureCase{-2, kHeight, picture.size(), "-2x240"}, PictureCase{351, kHeight, picture.size(), "even"},
          PictureCase{kWidth, kHeight, picture.size() - 1, "168959 bytes"},
          PictureCase{2, 2, 8, "smaller than one 4x4 cell"}, PictureCase{20000, 2, picture.size(), "20000x2"}}) {
        MotionModel model(defaults, 0);
        auto share = model.Feed(picture.first(c.bytes), c.width, c.height);
        ASSERT_FALSE(share.Ok()) << c.width << "x" << c.height;
        EXPECT_EQ(share.Failure().kind, platform::ErrorKind::Refused);
        EXPECT_NE(share.Detail().find(c.says), std::string::npos) << share.Detail();
        EXPECT_EQ(model.Frames(), 0u);
    }

    // The first picture fixes the size.
    MotionModel model(defaults, 0);
    ASSERT_TRUE(model.Feed(picture, kWidth, kHeight).Ok());
    auto changed = model.Feed(picture, kWidth / 2, kHeight);
    ASSERT_FALSE(changed.Ok());
    EXPECT_NE(changed.Detail().find("from 352x240 to 176x240"), std::string::npos) << changed.Detail();
    EXPECT_EQ(model.Frames(), 1u);

    struct RegionCase {
        ActivityRegion region;
        const char* says;
        uint32_t downscale = 4;
        bool badForEveryCamera = false;  // no picture can hold it
    };
    for (const RegionCase& c :
         {RegionCase{{300, 0, 60, 10}, "lies outside its 352x240 picture"},
          RegionCase{{0, 200, 10, 41}, "lies outside"}, RegionCase{{2147483000, 0, 2000, 10}, "lies outside"},
          // 352 = 117 cells of 3 and a column left over.
          RegionCase{{351, 0, 1, 240}, "beyond the last whole cell", 3},
          RegionCase{{-4, 0, 10, 10}, "a position of 0 or more", 4, true},
          RegionCase{{0, 0, 10, 0}, "width and height above 0", 4, true},
          RegionCase{{8, 8, 0, 0}, "width and height above 0", 4, true}}) {
        ActivityParameters parameters;
        parameters.regions[2] = c.region;
        parameters.downscale = c.downscale;
        MotionModel refused(parameters, 2);
        auto share = refused.Feed(picture, kWidth, kHeight);
        ASSERT_FALSE(share.Ok()) << c.says;
        EXPECT_NE(share.Detail().find(c.says), std::string::npos) << share.Detail();
        EXPECT_NE(share.Detail().find("camera 3"), std::string::npos) << share.Detail();
        // A region another camera's picture may not hold is that camera's
        // business; a region no picture holds makes the settings unusable.
        MotionModel other(parameters, 1);
        EXPECT_EQ(other.Feed(picture, kWidth, kHeight).Ok(), !c.badForEveryCamera) << c.says;
    }

    MotionModel noCamera(defaults, 4);
    auto share = noCamera.Feed(picture, kWidth, kHeight);
    ASSERT_FALSE(share.Ok());
    EXPECT_NE(share.Detail().find("no camera 5"), std::string::npos) << share.Detail();
}
