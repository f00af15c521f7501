// Skin loading, painting and its controls, on a small skin whose pictures
// say by their colour which one is drawn.
#include <gtest/gtest.h>

#include <thread>

#include "skin_test_support.h"
#include "ui/skin_position_slider.h"
#include "ui/tooltip_window.h"

namespace {

using namespace ui_test;

TEST(SkinLoading, TrackLimitsFollowThumbAndAxis)
{
    TestSkin t;
    const ui::SkinSlider& position = t.skin.Slider(ui::SliderId::Position);
    EXPECT_EQ(position.trackLeft, 23);
    EXPECT_EQ(position.trackRight, 311);
    EXPECT_EQ(position.current, -1);
    EXPECT_EQ(t.skin.PositionOffset(), -1);
}

TEST(SkinLoading, CountGrowsWithNewSlotsOnly)
{
    TestSkin t;
    ui::Skin skin;
    EXPECT_TRUE(skin.AddButtonPicture(t.dir.Path().c_str(), "play-up.bmp", 0, ui::kStateUp, "tip", 1, "play", 5, 6));
    EXPECT_EQ(skin.Count(), 1);
    EXPECT_TRUE(
        skin.AddButtonPicture(t.dir.Path().c_str(), "play-on.bmp", 0, ui::kStateHover, nullptr, -1, nullptr, -1, -1));
    EXPECT_EQ(skin.Count(), 1);
    const ui::SkinButton& b = skin.Button(0);
    EXPECT_EQ(b.left, 5);
    EXPECT_EQ(b.right, 25);
    EXPECT_EQ(b.bottom, 16);
    EXPECT_EQ(b.name, "play");
    EXPECT_EQ(b.tooltip, "tip");

    // Refusals change nothing.
    EXPECT_FALSE(skin.AddButtonPicture(t.dir.Path().c_str(), "absent.bmp", 1, 0, "x", 1, "x", 1, 1));
    EXPECT_FALSE(skin.AddButtonPicture(t.dir.Path().c_str(), "play-up.bmp", 128, 0, "x", 1, "x", 1, 1));
    EXPECT_FALSE(skin.AddButtonPicture(nullptr, "play-up.bmp", 1, 0, "x", 1, "x", 1, 1));
    EXPECT_EQ(skin.Count(), 1);

    // A slot whose pictures are all missing does not push the next button
    // out of reach: slot 2 loads while slot 1 stays empty.
    EXPECT_TRUE(skin.AddButtonPicture(t.dir.Path().c_str(), "pause-up.bmp", 2, 0, "t", 1, "pause", 40, 0));
    EXPECT_EQ(skin.Count(), 3);
    EXPECT_EQ(skin.HitTest(45, 5), 2);
    EXPECT_EQ(skin.HitTest(0, 0), -1);
}

TEST(SkinLoading, TextsAreCutAndStaticImagesGetNoTooltip)
{
    TestSkin t;
    ui::Skin skin;
    const std::string long_(300, 'x');
    skin.AddButtonPicture(t.dir.Path().c_str(), "play-up.bmp", 0, 0, long_.c_str(), 1, long_.c_str(), 0, 0);
    EXPECT_EQ(skin.Button(0).tooltip.size(), ui::SkinButton::kTextLimit);
    EXPECT_EQ(skin.Button(0).name.size(), ui::SkinButton::kTextLimit);
    skin.AddButtonPicture(t.dir.Path().c_str(), "logo-up.bmp", 1, 0, "never", 0, "logo", 50, 0);
    EXPECT_EQ(skin.Button(1).tooltip, "");
}

TEST(SkinLoading, FailedSliderAndMarkLoadsLeaveThemAbsent)
{
    TestSkin t;
    ui::Skin skin;
    skin.Attach(&t.window);
    EXPECT_FALSE(skin.LoadSlider(ui::SliderId::Position, t.dir.Path().c_str(), "thumb.bmp", "absent.bmp", 17, 70));
    EXPECT_TRUE(skin.Slider(ui::SliderId::Position).thumb.Present());
    EXPECT_FALSE(skin.Slider(ui::SliderId::Position).axis.Present());
    EXPECT_FALSE(skin.DrawPosition(-1));
    EXPECT_FALSE(skin.LoadMarks(t.dir.Path().c_str(), "begin.bmp", "absent.bmp"));
    skin.Detach();
}

TEST(SkinPaint, DrawsBackgroundButtonsAndSlidersThroughMagenta)
{
    TestSkin t;
    t.skin.Paint();
    EXPECT_EQ(t.window.Pixel(200, 30), kBackground);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(t.ButtonPixel(i), StateColour(i, ui::kStateUp)) << i;
    // The magenta corner of a button shows the background under it.
    EXPECT_EQ(t.window.Pixel(10, 10), kBackground);
    // Both sliders at their track left; the thumb counts as drawn.
    EXPECT_EQ(t.skin.PositionOffset(), 0);
    EXPECT_EQ(t.window.Pixel(23, 74), kThumb);
    EXPECT_EQ(t.window.Pixel(40, 74), kAxis);
    // The background's magenta pixel is outside the outline.
    EXPECT_EQ(t.window.shapes, 1);
    EXPECT_FALSE(t.window.shape.contains(QPoint(0, 0)));
    EXPECT_TRUE(t.window.shape.contains(QPoint(1, 0)));
}

TEST(SkinButtons, HitTestExcludesBordersAndFindsStaticImages)
{
    TestSkin t;
    EXPECT_EQ(t.skin.HitTest(10, 15), -1);  // x = left
    EXPECT_EQ(t.skin.HitTest(11, 15), kPlay);
    EXPECT_EQ(t.skin.HitTest(29, 15), kPlay);
    EXPECT_EQ(t.skin.HitTest(30, 15), -1);  // right of play and left of pause
    EXPECT_EQ(t.skin.HitTest(31, 15), kPause);
    EXPECT_EQ(t.skin.HitTest(15, 10), -1);  // y = top
    EXPECT_EQ(t.skin.HitTest(15, 20), -1);  // y = bottom
    EXPECT_EQ(t.skin.HitTest(75, 45), kLogo);
}

TEST(SkinButtons, StateChangesNeedAWindowAndAPicture)
{
    TestSkin t;
    EXPECT_FALSE(t.skin.SetButtonState(kNoDown, ui::kStateDown));
    EXPECT_FALSE(t.skin.SetButtonState(6, ui::kStateUp));
    EXPECT_FALSE(t.skin.SetButtonState(-1, ui::kStateUp));
    EXPECT_TRUE(t.skin.SetButtonState(kPlay, ui::kStateDisabled));
    EXPECT_EQ(t.ButtonPixel(kPlay), StateColour(kPlay, ui::kStateDisabled));
    EXPECT_EQ(t.skin.Button(kPlay).state, ui::kStateDisabled);
    std::string name;
    EXPECT_TRUE(t.skin.ButtonName(kSound, name));
    EXPECT_EQ(name, "sound");
    EXPECT_FALSE(t.skin.ButtonName(6, name));
    ui::Skin unattached;
    EXPECT_FALSE(unattached.SetButtonState(0, 0));
}

TEST(SkinPress, PushButtonOwnsTheCommandWhereverReleased)
{
    TestSkin t;
    t.skin.Paint();
    const QPoint play = t.Centre(kPlay);
    const QPoint pause = t.Centre(kPause);
    EXPECT_EQ(t.skin.Press(play.x(), play.y()), kPlay);
    EXPECT_EQ(t.ButtonPixel(kPlay), StateColour(kPlay, ui::kStateDown));
    t.skin.Move(pause.x(), pause.y());
    // The held button stays down; the one under the mouse lights up.
    EXPECT_EQ(t.ButtonPixel(kPlay), StateColour(kPlay, ui::kStateDown));
    EXPECT_EQ(t.ButtonPixel(kPause), StateColour(kPause, ui::kStateHover));
    EXPECT_EQ(t.skin.Release(), kPlay);
    EXPECT_EQ(t.ButtonPixel(kPlay), StateColour(kPlay, ui::kStateUp));
    EXPECT_EQ(t.skin.Pressed(), -1);
    // Off any button after the press the command is still play's.
    t.skin.Press(play.x(), play.y());
    t.skin.Move(200, 30);
    EXPECT_EQ(t.skin.Release(), kPlay);
}

TEST(SkinPress, ToggleAlternatesAndStaysDownUnderTheMouse)
{
    TestSkin t;
    t.skin.Paint();
    const QPoint sound = t.Centre(kSound);
    EXPECT_EQ(t.skin.Press(sound.x(), sound.y()), kSound);
    EXPECT_EQ(t.ButtonPixel(kSound), StateColour(kSound, ui::kStateDown));
    EXPECT_EQ(t.skin.Release(), kSound);
    EXPECT_EQ(t.ButtonPixel(kSound), StateColour(kSound, ui::kStateDown));
    t.skin.Move(sound.x() + 1, sound.y());
    t.skin.Move(200, 30);
    EXPECT_EQ(t.ButtonPixel(kSound), StateColour(kSound, ui::kStateDown));
    t.skin.Press(sound.x(), sound.y());
    EXPECT_EQ(t.skin.Release(), kSound);
    EXPECT_EQ(t.ButtonPixel(kSound), StateColour(kSound, ui::kStateUp));
}

TEST(SkinPress, ViewSelectorKeepsItsPictureAndStaticImageDragsTheWindow)
{
    TestSkin t;
    t.skin.Paint();
    const QPoint quad = t.Centre(kQuad);
    t.skin.Move(quad.x(), quad.y());
    EXPECT_EQ(t.skin.Press(quad.x(), quad.y()), kQuad);
    EXPECT_EQ(t.ButtonPixel(kQuad), StateColour(kQuad, ui::kStateHover));
    EXPECT_EQ(t.skin.Release(), kQuad);
    EXPECT_EQ(t.skin.Pressed(), kQuad);

    // The logo never lights up or gets a tooltip; a press on it drags.
    const QPoint logo = t.Centre(kLogo);
    t.skin.Move(logo.x(), logo.y());
    EXPECT_EQ(t.skin.Hover(), -1);
    EXPECT_EQ(t.ButtonPixel(kLogo), StateColour(kLogo, ui::kStateUp));
    EXPECT_EQ(t.skin.Press(logo.x(), logo.y()), kLogo);
    EXPECT_TRUE(t.skin.WindowDrag());
    EXPECT_EQ(t.skin.Pressed(), -1);
    EXPECT_EQ(t.skin.Release(), -1);
}

TEST(SkinPress, PushButtonWithoutDownPictureRegistersNothing)
{
    TestSkin t;
    t.skin.Paint();
    const QPoint sound = t.Centre(kSound);
    t.skin.Press(sound.x(), sound.y());
    t.skin.Release();
    const QPoint nodown = t.Centre(kNoDown);
    t.skin.Move(200, 30);
    EXPECT_EQ(t.skin.Press(nodown.x(), nodown.y()), kNoDown);
    EXPECT_EQ(t.ButtonPixel(kNoDown), StateColour(kNoDown, ui::kStateUp));
    // The earlier toggle does not get its command a second time.
    EXPECT_EQ(t.skin.Release(), -1);
}

TEST(SkinHover, MovingOntoTheNeighbourHandsOverHighlightAndTooltip)
{
    TestSkin t;
    t.skin.Paint();
    ui::ToolTipWindow* tooltip = t.skin.Tooltip();
    ASSERT_NE(tooltip, nullptr);
    t.skin.Move(29, 15);
    EXPECT_EQ(t.skin.Hover(), kPlay);
    EXPECT_EQ(t.ButtonPixel(kPlay), StateColour(kPlay, ui::kStateHover));
    EXPECT_TRUE(tooltip->isVisible());
    EXPECT_EQ(tooltip->Text(), QStringLiteral("tip play"));
    EXPECT_EQ(tooltip->Position(), QPoint(145 + 10 + 30, 40 + 10 + 30));

    t.skin.Move(31, 15);
    EXPECT_EQ(t.skin.Hover(), kPause);
    EXPECT_EQ(t.ButtonPixel(kPlay), StateColour(kPlay, ui::kStateUp));
    EXPECT_EQ(t.ButtonPixel(kPause), StateColour(kPause, ui::kStateHover));
    EXPECT_TRUE(tooltip->isVisible());
    EXPECT_EQ(tooltip->Text(), QStringLiteral("tip pause"));
    EXPECT_EQ(tooltip->Position(), QPoint(145 + 30 + 30, 80));

    t.skin.Move(200, 30);
    EXPECT_EQ(t.skin.Hover(), -1);
    EXPECT_FALSE(tooltip->isVisible());
    EXPECT_EQ(t.ButtonPixel(kPause), StateColour(kPause, ui::kStateUp));
}

TEST(SkinHover, TooltipNearTheScreenCornerStaysOnScreen)
{
    TestSkin t;
    t.window.screen.moveTopLeft(QPoint(-60, -45));
    t.skin.Move(15, 15);
    ASSERT_NE(t.skin.Tooltip(), nullptr);
    EXPECT_EQ(t.skin.Tooltip()->Position(), QPoint(0, 0));
}

TEST(SkinHover, EmptyTooltipIsNotShown)
{
    TestSkin t;
    t.skin.AddButtonPicture(t.dir.Path().c_str(), "play-up.bmp", kPlay, 0, "", 1, "play", 10, 10);
    t.skin.Move(15, 15);
    EXPECT_EQ(t.skin.Hover(), kPlay);
    EXPECT_FALSE(t.skin.Tooltip()->isVisible());
}

TEST(SkinWindowDrag, TenPixelsRightMovesTheWindowTenPixelsRight)
{
    TestSkin t;
    EXPECT_EQ(t.skin.Press(200, 30), -1);
    EXPECT_TRUE(t.skin.WindowDrag());
    t.skin.Move(210, 30);
    EXPECT_EQ(t.window.screen.topLeft(), QPoint(155, 40));
    // The window followed: the mouse is back at the start point.
    t.skin.Move(200, 30);
    EXPECT_EQ(t.window.screen.topLeft(), QPoint(155, 40));
    t.skin.Release();
    t.skin.Move(220, 50);
    EXPECT_EQ(t.window.screen.topLeft(), QPoint(155, 40));
}

// The windowing system moves the window some time after it is asked to, so
// moves queued meanwhile carry client coordinates against the window's older
// place. The window follows the pointer on the screen all the same.
TEST(SkinWindowDrag, FollowsThePointerWhenMovesLagBehind)
{
    TestSkin t;
    EXPECT_EQ(t.skin.Press(200, 30, QPoint(345, 70)), -1);
    for (int step = 1; step <= 3; ++step)
        t.skin.Move(200 + 10 * step, 30 + 5 * step, QPoint(345 + 10 * step, 70 + 5 * step));
    EXPECT_EQ(t.window.screen.topLeft(), QPoint(175, 55)) << "no step counted twice";
    // The window has caught up: client and screen agree again.
    t.skin.Move(200, 30, QPoint(375, 85));
    EXPECT_EQ(t.window.screen.topLeft(), QPoint(175, 55));
    t.skin.Move(190, 30, QPoint(365, 85));
    EXPECT_EQ(t.window.screen.topLeft(), QPoint(165, 55));
    t.skin.Release();
}

TEST(SkinSliders, ThumbIsGrabbedOnlyAfterItWasDrawn)
{
    TestSkin t;
    // Before any drawing, a press on the thumb's place drags the window.
    t.skin.Press(23, 74);
    EXPECT_FALSE(t.skin.PositionDrag());
    EXPECT_TRUE(t.skin.WindowDrag());
    t.skin.Release();

    ASSERT_TRUE(t.skin.DrawPosition(-1));
    EXPECT_EQ(t.skin.PositionOffset(), 0);
    t.skin.Press(23, 74);
    EXPECT_TRUE(t.skin.PositionDrag());
    t.skin.Move(123, 74);
    EXPECT_EQ(t.skin.PositionOffset(), 100);
    EXPECT_EQ(t.window.Pixel(123, 74), kThumb);
    EXPECT_EQ(t.window.Pixel(23, 74), kAxis);
    t.skin.Release();
    EXPECT_FALSE(t.skin.PositionDrag());

    // Edges: x must lie strictly inside the thumb and the axis.
    t.skin.Press(123 - 5, 74);
    EXPECT_FALSE(t.skin.PositionDrag());
    t.skin.Release();
    t.skin.Press(123, 70);
    EXPECT_FALSE(t.skin.PositionDrag());
    t.skin.Release();
}

TEST(SkinSliders, OffsetsOutsideTheTrackDrawNothing)
{
    TestSkin t;
    ASSERT_TRUE(t.skin.DrawPosition(50));
    EXPECT_FALSE(t.skin.DrawPosition(289));
    EXPECT_FALSE(t.skin.DrawPosition(-2));
    EXPECT_EQ(t.skin.PositionOffset(), 50);
    EXPECT_TRUE(t.skin.DrawPosition(288));
    EXPECT_EQ(t.window.Pixel(311, 74), kThumb);
    // Dragging past the end leaves the thumb at its last place.
    t.skin.Press(311, 74);
    t.skin.Move(400, 74);
    EXPECT_EQ(t.skin.PositionOffset(), 288);
    t.skin.Release();
    // The volume slider moves on its own.
    ASSERT_TRUE(t.skin.DrawVolume(10));
    EXPECT_EQ(t.skin.Slider(ui::SliderId::Volume).current, 250 + 6 + 10);
    EXPECT_EQ(t.skin.PositionOffset(), 288);
}

TEST(SkinSliders, MarksShowAtTheirOffsetsOnThePositionSliderOnly)
{
    TestSkin t;
    t.skin.SetBeginMark(-1);
    t.skin.SetBeginMark(289);
    EXPECT_EQ(t.skin.BeginMark(), -1);
    t.skin.SetBeginMark(40);
    t.skin.SetEndMark(200);
    EXPECT_EQ(t.skin.EndMark(), 200);
    ASSERT_TRUE(t.skin.DrawPosition(100));
    EXPECT_EQ(t.window.Pixel(23 + 40, 74), kBeginMark);
    EXPECT_EQ(t.window.Pixel(23 + 200, 74), kEndMark);
    ASSERT_TRUE(t.skin.DrawVolume(40));
    EXPECT_NE(t.window.Pixel(250 + 6 + 1 + 40 - 20, 104), kBeginMark);
    t.skin.ClearMarks();
    ASSERT_TRUE(t.skin.DrawPosition(-1));
    EXPECT_EQ(t.window.Pixel(23 + 40, 74), kAxis);
    EXPECT_EQ(t.skin.PositionOffset(), 100);
}

TEST(SkinSliders, DrawingIntoAGivenImageLeavesTheWindowAlone)
{
    TestSkin t;
    QImage image = Filled(400, 120, 0xFF000000);
    ASSERT_TRUE(t.skin.DrawPosition(20, &image));
    EXPECT_EQ(image.pixel(43, 74) | 0xFF000000, kThumb);
    EXPECT_NE(t.window.Pixel(43, 74), kThumb);
}

TEST(SkinSliders, TimerThreadAndWindowThreadDrawSafely)
{
    TestSkin t;
    std::thread timer([&] {
        for (int i = 0; i < 500; ++i)
            t.skin.DrawPosition(i % 289);
    });
    for (int i = 0; i < 500; ++i) {
        t.skin.DrawVolume(i % 80);
        t.skin.SetBeginMark(i % 289);
        (void)t.skin.PositionOffset();
    }
    timer.join();
    EXPECT_EQ(t.skin.PositionOffset(), 499 % 289);
}

}  // namespace

namespace {

TEST(SkinPositionSlider, EngineSeesTheTrackAndMovesTheThumb)
{
    ui_test::TestSkin t;
    ui::SkinPositionSlider slider(t.skin);
    playback::PositionSlider& engineView = slider;
    EXPECT_EQ(engineView.TrackLength(), 288);
    EXPECT_EQ(engineView.PositionOffset(), -1);
    EXPECT_TRUE(engineView.DrawPosition(144));
    EXPECT_EQ(t.skin.PositionOffset(), 144);
    engineView.SetBeginMark(10);
    engineView.SetEndMark(20);
    engineView.ClearMarks();
    EXPECT_EQ(t.skin.BeginMark(), -1);
    EXPECT_FALSE(engineView.DrawPosition(289));
}

}  // namespace
