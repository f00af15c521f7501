// The playback engine driving our own skin: the position thumb follows the
// position, the segment marks land on the position slider, the read-outs
// sit where the skin leaves room for them.
#include "playback/engine_harness.h"
#include "ui/main_skin.h"
#include "ui/skin.h"
#include "ui/skin_position_slider.h"
#include "ui/ui_text_table.h"
#include "ui_test_support.h"

namespace {

class EngineSkinTest : public engine_test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        const std::string bin = QUILLON_BIN_DIR;
        ui::BuildMainSkin(skin, window, ui::SkinDirectory(bin), ui::TextTablePath(bin), texts, nullptr);
        engine->SetHosts(&position, &messages, &window.surface);
    }

    ui_test::FakeWindow window;
    ui::Skin skin;
    ui::UiTextTable texts;
    ui::SkinPositionSlider position{skin};
};

TEST_F(EngineSkinTest, ThumbAndMarksFollowPlayback)
{
    Open(0);
    const int track = position.TrackLength();
    ASSERT_GT(track, 100);
    EXPECT_EQ(skin.PositionOffset(), 0);
    engine->Faster();
    engine->Faster();
    engine->PlayForward();
    timer->Fire(2);
    EXPECT_EQ(engine->Position(), 2);
    EXPECT_EQ(skin.PositionOffset(), 2 * track / 7);
    engine->ToggleMark();
    EXPECT_EQ(skin.BeginMark(), 2 * track / 7);
    timer->Fire(4);
    engine->ToggleMark();
    EXPECT_EQ(skin.EndMark(), 6 * track / 7);
    EXPECT_TRUE(engine->Looping());
    timer->Fire(1);
    EXPECT_EQ(engine->Position(), 2) << "fast forward at the end mark loops to the begin";

    // The speed read-out in the box the skin leaves for it.
    int speedPixels = 0;
    for (int y = 519; y < 538; ++y)
        for (int x = 682; x < 710; ++x) {
            const QRgb p = window.Pixel(x, y);
            speedPixels += qRed(p) < 90 && qGreen(p) > 180 && qBlue(p) > 180;  // the text's cyan, antialiased
        }
    EXPECT_GT(speedPixels, 5);
}

}  // namespace
