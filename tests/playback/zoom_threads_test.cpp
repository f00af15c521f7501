// The window's thread changes the zoom and steps back a picture while the
// real timer plays on its own thread (labelled threads: it runs under
// ThreadSanitizer too). Afterwards the view shows what the engine decoded.
#include "engine_harness.h"
#include "playback/view_zoom.h"

#include <chrono>
#include <thread>

using engine_test::EngineTest;
using playback::PlaybackEngine;

namespace {

TEST_F(EngineTest, ZoomAndStepsWhileTheRealTimerPlays)
{
    PlaybackEngine real(decoder);
    real.UseSoundDevice(false);
    real.SetHosts(&slider, &messages, &mainWindow);
    ASSERT_EQ(real.Attach(&video, &volume, 0, 0), 1);
    ASSERT_EQ(real.GotoStart(), 1);
    real.SetView(PlaybackEngine::kSingleView, 2);
    real.PlayForward();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
    playback::ViewZoom zoom;
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
        zoom = playback::ZoomAbout(zoom, 1.0 + i % 16 * 0.5, (i % 7) / 7.0, (i % 5) / 5.0);
        zoom.smooth = i % 3 == 0;
        real.SetZoom(playback::Pan(zoom, 0.01, -0.01));
        if (i % 40 == 20) {
            real.StepBackPicture();
            real.PlayForward();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    real.Halt();
    real.KillTimer();
    real.SetZoom({});
    const auto shown = CodeInWindow();
    ASSERT_TRUE(shown);
    EXPECT_GT(shown->second * 30 + shown->frame, 5u) << "the timer played meanwhile";
    EXPECT_EQ(shown, mkdisk::DecodeFrameCodeYuy2(real.Picture(2).data(), 352, 240));
    ASSERT_EQ(real.StepBackPicture(), 1);
    ASSERT_EQ(real.StepForward(), 1);
    EXPECT_EQ(CodeInWindow(), shown) << "a picture back and forward again";
}

}  // namespace
