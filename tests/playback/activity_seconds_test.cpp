// The fast measure over predicted-frame sizes, the settings' checks and
// text, and active seconds joined into events with their canonical text.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "playback/activity_parameters.h"
#include "playback/activity_seconds.h"
#include "playback/activity_size_baseline.h"
#include "support/allocation_counter.h"

using playback::ActivityEvent;
using playback::ActivityParameters;
using playback::ActivitySeconds;
using playback::SecondScore;
using playback::SizeBaseline;

namespace {

// Twenty seconds of 25 frames: an intra frame first, then predicted ones
// of about 1000 bytes (+-20); the second `doubled` has predicted frames of
// twice that; the second `bigIntra` has 13 large intra frames among them.
std::vector<SecondScore> Scores(SizeBaseline& baseline, int doubled, int bigIntra)
{
    std::vector<SecondScore> scores;
    for (int second = 0; second < 20; ++second) {
        for (int frame = 0; frame < 25; ++frame) {
            const auto jitter = static_cast<uint32_t>((second * 25 + frame) * 7 % 41);
            const uint32_t predicted = (second == doubled ? 2000 : 980) + jitter;
            if (frame == 0)
                baseline.Feed(30000, true);
            else if (second == bigIntra && frame <= 13)
                baseline.Feed(8000, true);
            else
                baseline.Feed(predicted, false);
        }
        scores.push_back(baseline.EndSecond());
    }
    return scores;
}

}  // namespace

TEST(ActivitySizeBaselineTest, OneSecondOfDoubledPredictedFramesScoresHigh)
{
    const ActivityParameters parameters;
    SizeBaseline baseline(parameters);
    const auto scores = Scores(baseline, 12, 15);
    // The first two seconds have no baseline yet (0, then 24 < 25
    // predicted frames).
    EXPECT_FALSE(scores[0].scored);
    EXPECT_FALSE(scores[1].scored);
    EXPECT_EQ(scores[0].predictedFrames, 24u);
    for (int second = 2; second < 20; ++second) {
        SCOPED_TRACE(second);
        const SecondScore& s = scores[static_cast<std::size_t>(second)];
        EXPECT_TRUE(s.scored);
        if (second == 12) {
            EXPECT_TRUE(s.active);
            EXPECT_GE(s.scoreHundredths, 1000u);
            EXPECT_GE(s.medianBytes, 2000u);
        } else {
            // Intra frames, however large or many, are not counted.
            EXPECT_FALSE(s.active);
            EXPECT_LT(s.scoreHundredths, 100u);
            EXPECT_EQ(s.predictedFrames, second == 15 ? 11u : 24u);
            EXPECT_LE(s.medianBytes, 1020u);
        }
    }
    // The doubled second joined the baseline, hardly moving its median.
    EXPECT_NEAR(scores[13].baselineBytes, scores[11].baselineBytes, 5);
}

TEST(ActivitySizeBaselineTest, SecondsWithoutPredictedFramesAreNotScored)
{
    ActivityParameters parameters;
    parameters.sizeWarmupFrames = 8;
    parameters.scoreHundredths = 400;  // a threshold far above what the floor lets a few bytes score
    SizeBaseline baseline(parameters);
    for (int i = 0; i < 10; ++i)
        baseline.Feed(500, false);
    EXPECT_FALSE(baseline.EndSecond().scored);  // the baseline was empty before it
    baseline.Feed(90000, true);
    const SecondScore intraOnly = baseline.EndSecond();
    EXPECT_FALSE(intraOnly.scored);
    EXPECT_FALSE(intraOnly.active);
    EXPECT_EQ(intraOnly.predictedFrames, 0u);
    // Equal sizes give no spread: a few bytes more still score low, the
    // spread being at least 1/16 of the baseline.
    for (int i = 0; i < 10; ++i)
        baseline.Feed(520, false);
    const SecondScore slightlyMore = baseline.EndSecond();
    EXPECT_TRUE(slightlyMore.scored);
    EXPECT_EQ(slightlyMore.baselineBytes, 500u);
    EXPECT_FALSE(slightlyMore.active);
    EXPECT_EQ(slightlyMore.scoreHundredths, 20u * 100 * 10000 / (31 * 14826));
}

TEST(ActivitySizeBaselineTest, FeedAndEndSecondAllocateNothing)
{
    const ActivityParameters parameters;
    SizeBaseline baseline(parameters);
    const long before = testing_support::allocations.load();
    // More frames in a second than the window holds are counted, not stored.
    for (int second = 0; second < 30; ++second) {
        for (uint32_t frame = 0; frame < 300; ++frame)
            baseline.Feed(1000 + frame, frame == 0);
        EXPECT_EQ(baseline.EndSecond().predictedFrames, 299u);
    }
    EXPECT_EQ(testing_support::allocations.load(), before);
}

TEST(ActivityParametersTest, DefaultsPassAndEveryValueIsInTheText)
{
    ActivityParameters parameters;
    EXPECT_TRUE(Validate(parameters).Ok());
    EXPECT_EQ(Describe(parameters),
              "share>=0.5% frames>=2 learn=1/32 k=3.0 floor=10 downscale=4 warmup=25 global>=40.0% "
              "moving-cells=3 absorb=15 roi=all,all,all,all size-window=250 size-warmup=25 score>=0.15 gap=2 before=1 "
              "after=1 "
              "min-event=1");
    parameters.sharePermille = 12;
    parameters.kTenths = 25;
    parameters.globalPermille = 655;
    parameters.movingCells = 1;
    parameters.absorbFrames = 90;
    parameters.scoreHundredths = 1205;
    parameters.regions[1] = {8, 16, 100, 60};
    EXPECT_EQ(Describe(parameters), "share>=1.2% frames>=2 learn=1/32 k=2.5 floor=10 downscale=4 warmup=25 "
                                    "global>=65.5% moving-cells=1 absorb=90 roi=all,8:16:100x60,all,all "
                                    "size-window=250 size-warmup=25 score>=12.05 gap=2 "
                                    "before=1 after=1 min-event=1");
}

TEST(ActivityParametersTest, OutOfRangeValuesAreRefusedByName)
{
    struct Case {
        void (*change)(ActivityParameters&);
        const char* says;
    };
    const Case cases[] = {
        {[](ActivityParameters& p) { p.sharePermille = 0; }, "share (permille) is 0"},
        {[](ActivityParameters& p) { p.sharePermille = 1001; }, "share (permille) is 1001"},
        {[](ActivityParameters& p) { p.minFramesPerSecond = 0; }, "frames per second is 0"},
        {[](ActivityParameters& p) { p.learningShift = 0; }, "learning shift is 0"},
        {[](ActivityParameters& p) { p.learningShift = 40; }, "learning shift is 40"},
        {[](ActivityParameters& p) { p.downscale = 0; }, "downscale is 0"},
        {[](ActivityParameters& p) { p.floorLevels = 256; }, "floor (luma levels) is 256"},
        {[](ActivityParameters& p) { p.sizeWindow = 4; }, "size window (frames) is 4"},
        {[](ActivityParameters& p) { p.globalPermille = 0; }, "global change (permille) is 0"},
        {[](ActivityParameters& p) { p.globalPermille = 1001; }, "global change (permille) is 1001"},
        {[](ActivityParameters& p) { p.movingCells = 0; }, "moving cells is 0"},
        {[](ActivityParameters& p) { p.absorbFrames = 0; }, "absorb (frames) is 0"},
        {[](ActivityParameters& p) { p.minEventSeconds = 0; }, "minimum event (seconds) is 0"},
        {[](ActivityParameters& p) { p.sizeWarmupFrames = 300; }, "longer than the size window"},
        {[](ActivityParameters& p) {
             p.regions[3] = {0, 0, -5, 10};
         },
         "region of camera 4"},
    };
    for (const Case& c : cases) {
        ActivityParameters parameters;
        c.change(parameters);
        const auto checked = Validate(parameters);
        ASSERT_FALSE(checked.Ok()) << c.says;
        EXPECT_EQ(checked.Failure().kind, platform::ErrorKind::Refused);
        EXPECT_NE(checked.Detail().find(c.says), std::string::npos) << checked.Detail();
    }
}

TEST(ActivitySecondsTest, TallyNeedsEnoughFramesAtTheShare)
{
    ActivityParameters parameters;
    parameters.minFramesPerSecond = 3;
    parameters.sharePermille = 10;
    playback::SecondTally tally(parameters);
    // 1.0 % of 1000 cells is 10: 9 does not reach it, 10 does.
    tally.Add({500, 1000, true});  // warming up: not measured
    tally.Add({9, 1000});
    tally.Add({10, 1000});
    tally.Add({30, 1000});
    auto second = tally.End();
    EXPECT_FALSE(second.active);
    EXPECT_EQ(second.frames, 3u);
    EXPECT_EQ(second.framesReaching, 2u);
    EXPECT_EQ(second.peakPermille, 30u);
    for (int i = 0; i < 3; ++i)
        tally.Add({10, 1000});
    second = tally.End();
    EXPECT_TRUE(second.active);
    EXPECT_EQ(second.peakPermille, 10u);
    EXPECT_EQ(tally.End().frames, 0u);  // each second starts empty
}

TEST(ActivitySecondsTest, ActiveSecondsJoinIntoEvents)
{
    ActivityParameters parameters;
    parameters.gapSeconds = 2;
    parameters.beforeSeconds = parameters.afterSeconds = 1;
    parameters.minEventSeconds = 2;
    ActivitySeconds seconds(parameters, 7);
    auto add = [&](int camera, int64_t position, uint32_t score, bool active = true) {
        ASSERT_TRUE(seconds.Add(camera, position, score, active).Ok());
    };
    // Camera 0: 0,1 and 4 (gap of 2) join; 8 alone is too short; 20..21.
    add(0, 4, 30);
    add(0, 0, 12);
    add(0, 1, 50);
    add(0, 2, 999, false);  // inactive seconds do not count, whatever their score
    add(0, 8, 80);
    add(0, 20, 15);
    add(0, 21, 16);
    add(0, 21, 40);  // given twice: the larger score
    // Camera 2: 10,11 and 15,16 (gap of 3) stay apart, padded too. Camera
    // 3: 98, 99 padded up to the record's end.
    add(2, 10, 5);
    add(2, 11, 5);
    add(2, 15, 6);
    add(2, 16, 6);
    add(3, 98, 1);
    add(3, 99, 2);
    EXPECT_EQ(seconds.ActiveSeconds(), 12u);

    const std::vector<ActivityEvent> events = seconds.Events(99);
    const std::vector<ActivityEvent> expected = {
        {7, 0, 0, 5, 50}, {7, 0, 19, 22, 40}, {7, 2, 9, 12, 5}, {7, 2, 14, 17, 6}, {7, 3, 97, 99, 2}};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(playback::CanonicalText(events), "7 1 0 5 50\n7 1 19 22 40\n7 3 9 12 5\n7 3 14 17 6\n7 4 97 99 2\n");

    // A gap of 0 joins only adjacent seconds.
    parameters.gapSeconds = 0;
    parameters.minEventSeconds = 1;
    parameters.beforeSeconds = parameters.afterSeconds = 0;
    ActivitySeconds strict(parameters, 1);
    for (int64_t p : {3, 4, 6})
        ASSERT_TRUE(strict.Add(1, p, 9, true).Ok());
    EXPECT_EQ(playback::CanonicalText(strict.Events()), "1 2 3 4 9\n1 2 6 6 9\n");
    // Padded, those two runs overlap and are one event.
    parameters.beforeSeconds = parameters.afterSeconds = 1;
    ActivitySeconds padded(parameters, 1);
    for (int64_t p : {6, 3, 4})
        ASSERT_TRUE(padded.Add(1, p, p == 6 ? 11 : 9, true).Ok());
    EXPECT_EQ(playback::CanonicalText(padded.Events()), "1 2 2 7 11\n");
    // Seconds kept before and after are each their own.
    parameters.beforeSeconds = 2;
    parameters.afterSeconds = 0;
    ActivitySeconds leading(parameters, 1);
    for (int64_t p : {3, 4, 6})
        ASSERT_TRUE(leading.Add(1, p, 9, true).Ok());
    EXPECT_EQ(playback::CanonicalText(leading.Events()), "1 2 1 6 9\n");
}

TEST(ActivitySecondsTest, CanonicalTextIgnoresOrderAndBadInputIsRefused)
{
    std::vector<ActivityEvent> events = {{2, 1, 5, 9, 3}, {1, 3, 0, 1, 8}, {2, 0, 7, 7, 1}, {1, 3, 0, 1, 4}};
    const std::string text = playback::CanonicalText(events);
    EXPECT_EQ(text, "1 4 0 1 4\n1 4 0 1 8\n2 1 7 7 1\n2 2 5 9 3\n");
    std::reverse(events.begin(), events.end());
    EXPECT_EQ(playback::CanonicalText(events), text);
    EXPECT_EQ(playback::CanonicalText({}), "");

    ActivitySeconds seconds(ActivityParameters{}, 0);
    auto camera = seconds.Add(4, 0, 1, true);
    ASSERT_FALSE(camera.Ok());
    EXPECT_NE(camera.Detail().find("no camera 5"), std::string::npos);
    auto before = seconds.Add(0, -1, 1, true);
    ASSERT_FALSE(before.Ok());
    EXPECT_NE(before.Detail().find("before the record's start"), std::string::npos);
    EXPECT_TRUE(seconds.Events().empty());
}
