// The playback engine driven tick by tick over a written disk: positions,
// pictures per cell, sound, speeds, reverse, loops and view changes.
#include "engine_harness.h"
#include "support/succeeded.h"

using engine_test::EngineTest;
using engine_test::TonePower;
using playback::PlaybackEngine;

namespace {

TEST_F(EngineTest, StartShowsEachCameraInItsCellAndTheIndicators)
{
    Open(0);
    EXPECT_EQ(engine->Position(), 0);
    EXPECT_EQ(engine->Length(), 8);
    for (int c = 0; c < 4; ++c) {
        const auto code = CodeInCell(c);
        ASSERT_TRUE(code) << "camera " << c;
        EXPECT_EQ(*code, (mkdisk::FrameCode{c, 0, 0}));
    }
    EXPECT_EQ(slider.thumb, 0);
    EXPECT_EQ(engine->PositionTime().day, 15);
    EXPECT_FALSE(timer->IsRunning()) << "no timer before the first play";
    // Nothing plays before GotoStart has shown position 0.
    playback::PlaybackEngine idle(decoder);
    idle.PlayForward();
    idle.Faster();
    EXPECT_FALSE(idle.IsPlaying());
    EXPECT_EQ(idle.Speed(), 1.0f);
}

TEST_F(EngineTest, NormalSpeedAdvancesOneFramePerCameraPerTick)
{
    Open(0);
    engine->PlayForward();
    EXPECT_EQ(timer->period, 33u) << "30 frames a second";
    timer->Fire(12);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(CodeInCell(c), (mkdisk::FrameCode{c, 0, 12})) << "camera " << c;
    timer->Fire(16);
    EXPECT_EQ(engine->Position(), 0);
    timer->Fire(1);
    EXPECT_EQ(engine->Position(), 1) << "a second's last frame runs to its segment's end and is joined there";
    EXPECT_EQ(CodeInCell(3), (mkdisk::FrameCode{3, 0, 29}));
    timer->Fire(1);
    EXPECT_EQ(CodeInCell(3), (mkdisk::FrameCode{3, 1, 0}));
    EXPECT_EQ(slider.thumb, 1 * 300 / 7);
    EXPECT_TRUE(sound.empty()) << "sound is off until the sound button";
}

TEST_F(EngineTest, SoundIsTheQuadsFirstCameraOncePerSecondAtSpeedOne)
{
    Open(0);
    engine->ToggleSound();
    engine->PlayForward();
    timer->Fire(30 * 3);
    ASSERT_EQ(engine->Position(), 3);
    ASSERT_EQ(sound.size(), 3u) << "one block per second entered";
    for (const auto& block : sound) {
        ASSERT_EQ(block.size(), 16000u);
        EXPECT_GT(TonePower(block, 400), 50 * TonePower(block, 700)) << "camera 1's tone, not camera 3's";
    }

    // Half speed: pictures go on, sound does not.
    engine->Slower();
    EXPECT_EQ(timer->period, 66u);
    sound.clear();
    timer->Fire(30 * 2);
    EXPECT_EQ(engine->Position(), 5);
    EXPECT_TRUE(sound.empty());
}

TEST_F(EngineTest, SoundFollowsTheSelectedCamera)
{
    Open(1);  // sound on camera 3 only
    engine->ToggleSound();
    engine->PlayForward();
    EXPECT_EQ(timer->period, 83u) << "12 frames a second";
    timer->Fire(12 * 2);
    EXPECT_TRUE(sound.empty()) << "the quad view plays camera 1, which has no sound";
    engine->SetView(PlaybackEngine::kSingleView, 2);
    EXPECT_TRUE(engine->IsPlaying());
    timer->Fire(12 * 2);
    ASSERT_EQ(sound.size(), 2u);
    EXPECT_GT(TonePower(sound[0], 700), 50 * TonePower(sound[0], 400));
}

TEST_F(EngineTest, FastForwardJumpsASecondPerTickAndHaltsAtTheEnd)
{
    Open(0);
    engine->Faster();
    EXPECT_EQ(timer->period, 500u) << "a speed change arms the timer even while halted";
    engine->PlayForward();
    timer->Fire(3);
    EXPECT_EQ(engine->Position(), 3);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(CodeInCell(c), (mkdisk::FrameCode{c, 3, 0})) << "first intra frame of each camera";
    engine->Faster();
    engine->Faster();
    engine->Faster();
    EXPECT_EQ(timer->period, 62u);
    engine->Faster();
    EXPECT_EQ(engine->Speed(), 16.0f) << "16 is the top";
    timer->Fire(10);
    EXPECT_EQ(engine->Position(), 7);
    EXPECT_FALSE(engine->IsPlaying()) << "the seek past the last position halts";
    for (int i = 0; i < 10; ++i)
        engine->Slower();
    EXPECT_EQ(engine->Speed(), 0.125f) << "1/8 is the bottom";
    EXPECT_EQ(timer->period, 266u);
    EXPECT_TRUE(sound.empty());
}

TEST_F(EngineTest, ReverseGoesBackASecondPerTickAndHaltsAtZero)
{
    Open(0);
    ASSERT_EQ(engine->ShowPosition(3, true, true), 1);
    engine->ToggleSound();
    engine->PlayReverse();
    EXPECT_EQ(timer->period, 1000u);
    timer->Fire(1);
    EXPECT_EQ(engine->Position(), 2);
    timer->Fire(2);
    EXPECT_EQ(engine->Position(), 0);
    EXPECT_TRUE(engine->IsPlaying());
    timer->Fire(1);
    EXPECT_FALSE(engine->IsPlaying()) << "the tick that starts at position 0 halts";
    EXPECT_TRUE(sound.empty()) << "no sound in reverse";
}

TEST_F(EngineTest, ViewChangeWhilePlayingInReverseKeepsTheTimer)
{
    Open(0);
    ASSERT_EQ(engine->ShowPosition(5, true, true), 1);
    engine->PlayReverse();
    const int starts = timer->starts;
    timer->Fire(1);
    engine->SetView(PlaybackEngine::kSingleView, 1);
    EXPECT_EQ(timer->starts, starts) << "same rate: the running timer goes on";
    EXPECT_TRUE(engine->IsPlaying());
    EXPECT_TRUE(engine->IsReverse());
    EXPECT_EQ(CodeInWindow(), (mkdisk::FrameCode{1, 4, 0})) << "camera 2 over the whole window, same second";
    timer->Fire(1);
    EXPECT_EQ(CodeInWindow(), (mkdisk::FrameCode{1, 3, 0}));
    engine->SetView(PlaybackEngine::kQuadView, 0);
    EXPECT_EQ(CodeInCell(2), (mkdisk::FrameCode{2, 3, 0}));
}

TEST_F(EngineTest, MarksNeedFourSecondsAndThenLoop)
{
    Open(0);
    ASSERT_EQ(engine->ShowPosition(1, true, true), 1);
    engine->ToggleMark();
    EXPECT_EQ(engine->MarkBegin(), 1);
    EXPECT_EQ(slider.begin, 300 / 7);
    ASSERT_EQ(engine->ShowPosition(4, true, true), 1);
    engine->ToggleMark();
    EXPECT_EQ(engine->MarkEnd(), -1) << "three seconds is too close";
    EXPECT_EQ(messages.lines, std::vector<int>{21});
    ASSERT_EQ(engine->ShowPosition(5, true, true), 1);
    engine->ToggleMark();
    EXPECT_EQ(engine->MarkEnd(), 5);
    EXPECT_TRUE(engine->Looping());

    // Forward play at the end mark jumps back to the begin mark.
    engine->PlayForward();
    timer->Fire(1);
    EXPECT_EQ(engine->Position(), 1);
    timer->Fire(29);
    EXPECT_EQ(engine->Position(), 2);
    // Reverse below the begin mark jumps to the end mark.
    engine->PlayReverse();
    timer->Fire(1);
    EXPECT_EQ(engine->Position(), 1);
    timer->Fire(1);
    EXPECT_EQ(engine->Position(), 5);

    engine->ToggleMark();
    EXPECT_EQ(engine->MarkBegin(), -1);
    EXPECT_FALSE(engine->Looping());
    EXPECT_EQ(slider.begin, -1);
}

TEST_F(EngineTest, MarkSetBeforeTheBeginSwapsThem)
{
    Open(0);
    ASSERT_EQ(engine->ShowPosition(6, true, true), 1);
    engine->ToggleMark();
    ASSERT_EQ(engine->ShowPosition(1, true, true), 1);
    engine->ToggleMark();
    EXPECT_EQ(engine->MarkBegin(), 1);
    EXPECT_EQ(engine->MarkEnd(), 6);
    EXPECT_EQ(slider.end, 6 * 300 / 7);
    EXPECT_EQ(slider.begin, 300 / 7);
}

TEST_F(EngineTest, StepsAndTheirEnds)
{
    Open(0);
    ASSERT_EQ(engine->StepForward(), 1);
    EXPECT_EQ(CodeInCell(0), (mkdisk::FrameCode{0, 0, 1}));
    EXPECT_EQ(engine->StepBack(), 0) << "prev at position 0 only halts";
    ASSERT_EQ(engine->ShowPosition(7, true, true), 1);
    int steps = 0;
    while (engine->StepForward())
        ++steps;
    EXPECT_EQ(steps, 28) << "the last second's frames, bar the record's last VOP";
    EXPECT_EQ(engine->StepBack(), 1);
    EXPECT_EQ(engine->Position(), 6);
}

TEST_F(EngineTest, IndicatorsShowSpeedAndPositionTime)
{
    Open(0);
    // A record beginning 2006/03/15 23:59:30, at position 5: 23:59:35.
    ASSERT_EQ(engine->ShowPosition(5, true, true), 1);
    const auto t = engine->PositionTime();
    EXPECT_EQ(disk::FormatRecordTime(t), "2006/03/15 23:59:35");
    auto textPixels = [&](const QRect& area, QRgb colour) {
        const QImage image = mainWindow.Copy();
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
        return n;
    };
    EXPECT_GT(textPixels(QRect(490, 521, 180, 16), qRgb(20, 40, 255)), 30) << "time text in its colour";
    EXPECT_GT(textPixels(QRect(682, 519, 28, 19), qRgb(127, 128, 128)), 100) << "speed box filled";
    EXPECT_GT(textPixels(QRect(682, 519, 28, 19), qRgb(0, 250, 240)), 5) << "speed text";
}

// One test per record of the demo disk, so that the slow sanitizer runs can
// take them side by side.
class DemoRecordTest : public EngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(DemoRecordTest, EveryTickShowsEachCamerasNextFrame)
{
    // Straddling frames, a camera without video, all four picture formats.
    const std::string path = dir->File("demo.img");
    if (!std::filesystem::exists(path)) {
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::DemoPlan(), path)));
    }
    platform::SetDriveImages({path});
    disk::RecorderVolume demo;
    ASSERT_TRUE(demo.Load(0));
    const int record = GetParam();
    ASSERT_EQ(engine->Attach(&video, &demo, record, 0), 1);
    ASSERT_EQ(engine->GotoStart(), 1);
    engine->PlayForward();
    const auto& entry = demo.Record(static_cast<uint32_t>(record));
    int ticks = 0;
    for (timer->Fire(1); engine->IsPlaying(); timer->Fire(1)) {
        ++ticks;
        const mkdisk::FrameCode expected{0, uint32_t(ticks / entry.frameRate), ticks % entry.frameRate};
        for (int c = 0; c < 4; ++c) {
            if (!entry.videoPresent[c])
                continue;
            ASSERT_EQ(CodeInCell(c), (mkdisk::FrameCode{c, expected.second, expected.frame})) << "tick " << ticks;
        }
    }
    // Frame 0 came with the start; the record's last frame never comes,
    // and the tick that misses it halts.
    EXPECT_EQ(ticks, int(entry.segmentCount) * entry.frameRate - 2);
}

INSTANTIATE_TEST_SUITE_P(Demo, DemoRecordTest, ::testing::Range(0, 4),
                         [](const auto& info) { return "record" + std::to_string(info.param + 1); });

TEST_F(EngineTest, StillScenesSmallFramesAreStillDecoded)
{
    // Without sensor noise some predicted frames of a camera with video
    // code to 100 bytes or less. Each picture must equal a decoder's that
    // saw every frame (the reference: a decoder of its own, on channels of
    // its own).
    mkdisk::DiskPlan plan;
    plan.records.resize(1);
    plan.records[0].seconds = 3;
    plan.records[0].sensorNoise = false;
    const std::string path = dir->File("still.img");
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, path)));
    platform::SetDriveImages({path});
    disk::RecorderVolume still, reference;
    ASSERT_TRUE(still.Load(0));
    ASSERT_TRUE(reference.Load(0));
    ASSERT_TRUE(reference.OpenRecord(0));
    ASSERT_EQ(engine->Attach(&video, &still, 0, 0), 1);
    ASSERT_EQ(engine->GotoStart(), 1);
    std::vector<uint8_t> frame(disk::RecorderVolume::kMaxFrameBytes), picture(playback::VideoDecoder::kPictureBytes);
    playback::VideoDecoder referenceDecoder{std::string(QUILLON_BIN_DIR) + "/libquillon_decode.so"};
    ASSERT_TRUE(referenceDecoder.IsLoaded()) << referenceDecoder.Failure();
    int small = 0;
    auto next = [&](int camera, bool intra) {
        uint32_t n = 0;
        ASSERT_TRUE(reference.NextFrame(frame, n, intra, -1, {}, nullptr));
        small += n <= PlaybackEngine::kNoPictureBytes;
        ASSERT_NE(referenceDecoder.DecodeFrame(camera, std::span(frame).first(n), picture, 352, 240,
                                               reference.StreamHeader()),
                  0);
        ASSERT_TRUE(std::equal(picture.begin(), picture.begin() + 352 * 240 * 2, engine->Picture(camera).begin()))
            << "camera " << camera;
    };
    for (int c = 0; c < 4; ++c)
        next(c, true);
    engine->PlayForward();
    for (int tick = 1; tick < 3 * 30 - 1; ++tick) {
        timer->Fire(1);
        for (int c = 0; c < 4; ++c)
            next(c, false);
    }
    EXPECT_GT(small, 0) << "the scene should have had frames of 100 bytes or less";
}

TEST_F(EngineTest, RealTimerPlaysOnItsOwnThread)
{
    auto real = std::make_unique<playback::PlaybackEngine>(decoder);
    real->SetHosts(&slider, &messages, &mainWindow);
    ASSERT_EQ(real->Attach(&video, &volume, 1, 0), 1);
    ASSERT_EQ(real->GotoStart(), 1);
    real->Faster();
    real->Faster();
    real->Faster();
    real->Faster();
    real->PlayForward();
    for (int i = 0; i < 200 && real->IsPlaying(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(real->IsPlaying()) << "16x through 5 seconds takes about 0.3 s";
    EXPECT_EQ(real->Position(), 4);
    real->KillTimer();
}

}  // namespace
