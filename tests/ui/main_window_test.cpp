// The main window's shell with our own skin: start-up of the skin, the
// window's outline, and mouse events turned into commands.
#include <gtest/gtest.h>

#include <QMouseEvent>

#include <filesystem>
#include <fstream>
#include <thread>

#include "support/temp_dir.h"
#include "ui/main_skin.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/skin.h"
#include "ui/ui_text_table.h"
#include "ui_test_support.h"

namespace {

using testing_support::TempDir;

// Our skin copied to a fresh directory, so that window.rgn is written there.
struct InstalledSkin {
    TempDir dir;
    std::string skinDir = dir.File("bmp");
    std::string texts = dir.File("Tooltip.ini");
    InstalledSkin()
    {
        std::filesystem::copy(QUILLON_SOURCE_DIR "/skin/bmp", skinDir);
        std::filesystem::copy_file(QUILLON_SOURCE_DIR "/skin/Tooltip.ini", texts);
    }
};

struct Recorder : ui::MainWindowEvents {
    bool MouseIgnored() override { return ignore; }
    void OnDragEnd(bool positionSlider) override { drags.push_back(positionSlider); }
    void OnCommand(const std::string& name) override { commands.push_back(name); }
    void OnPaint() override { ++paints; }
    bool ignore = false;
    std::vector<bool> drags;
    std::vector<std::string> commands;
    int paints = 0;
};

void Mouse(QWidget& widget, QEvent::Type type, QPoint at)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

QPoint Centre(const ui::Skin& skin, const char* name)
{
    for (int i = 0; i < skin.Count(); ++i)
        if (skin.Button(i).name == name) {
            const ui::SkinButton& b = skin.Button(i);
            return QPoint((b.left + b.right) / 2, (b.top + b.bottom) / 2);
        }
    ADD_FAILURE() << "no button " << name;
    return {};
}

TEST(MainWindow, StartsWithTheWholeSkinShapedAndCached)
{
    ui_test::App();
    InstalledSkin installed;
    ui::Skin skin;
    Recorder events;
    {
        ui::MainWindow window(skin, &events);
        window.BuildSkin(installed.skinDir, installed.texts);
        EXPECT_EQ(window.size(), QSize(925, 640));
        EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_TRUE(std::filesystem::exists(installed.skinDir + "/window.rgn"));

        // 21 buttons with four pictures each, then the two logos.
        ASSERT_EQ(skin.Count(), 23);
        const auto& table = ui::MainSkinButtons();
        for (int i = 0; i < 21; ++i) {
            const ui::SkinButton& b = skin.Button(i);
            EXPECT_EQ(b.name, table[static_cast<std::size_t>(i)].name);
            EXPECT_EQ(b.left, table[static_cast<std::size_t>(i)].x);
            for (const auto& picture : b.pictures)
                EXPECT_TRUE(picture.Present()) << b.name;
            EXPECT_EQ(b.tooltip, window.Texts().Text(table[static_cast<std::size_t>(i)].tooltipLine));
            EXPECT_FALSE(b.tooltip.empty()) << b.name;
        }
        EXPECT_EQ(skin.Button(21).kind, ui::kKindStatic);
        EXPECT_EQ(skin.Button(22).tooltip, "");

        // The outline: rounded corners and the magenta right part are out.
        const QRegion mask = window.mask();
        EXPECT_TRUE(mask.contains(QPoint(400, 300)));
        EXPECT_TRUE(mask.contains(QPoint(8, 31)));
        EXPECT_FALSE(mask.contains(QPoint(0, 0)));
        EXPECT_FALSE(mask.contains(QPoint(924, 639)));
        EXPECT_FALSE(mask.contains(QPoint(900, 300)));

        window.RepaintAll();
        EXPECT_EQ(events.paints, 1);
        EXPECT_EQ(skin.PositionOffset(), 0);
        // What the screen shows honours the outline.
        QImage shown(window.size(), QImage::Format_ARGB32);
        shown.fill(Qt::transparent);
        window.render(&shown);
        EXPECT_EQ(qAlpha(shown.pixel(900, 300)), 0);
        EXPECT_EQ(qAlpha(shown.pixel(400, 560)), 255);
        EXPECT_EQ(shown.pixel(400, 560), window.Surface().Copy().pixel(400, 560) | 0xFF000000);
    }
    EXPECT_EQ(skin.Window(), nullptr);
    EXPECT_EQ(skin.Tooltip(), nullptr);
}

TEST(MainWindow, ReleaseRunsThePressedButtonsCommandOnly)
{
    ui_test::App();
    InstalledSkin installed;
    ui::Skin skin;
    Recorder events;
    ui::MainWindow window(skin, &events);
    window.BuildSkin(installed.skinDir, installed.texts);
    window.RepaintAll();

    // Pressed on "play", released over "pause": "play" runs.
    Mouse(window, QEvent::MouseButtonPress, Centre(skin, "play"));
    Mouse(window, QEvent::MouseMove, Centre(skin, "pause"));
    Mouse(window, QEvent::MouseButtonRelease, Centre(skin, "pause"));
    ASSERT_EQ(events.commands, std::vector<std::string>{"play"});

    // A release without a press of ours runs nothing.
    Mouse(window, QEvent::MouseButtonRelease, Centre(skin, "next"));
    EXPECT_EQ(events.commands.size(), 1u);

    // Ending a drag of the position thumb runs nothing.
    const ui::SkinSlider& position = skin.Slider(ui::SliderId::Position);
    const QPoint thumb(position.trackLeft, position.y + position.axis.Height() / 2);
    Mouse(window, QEvent::MouseButtonPress, thumb);
    EXPECT_TRUE(skin.PositionDrag());
    Mouse(window, QEvent::MouseMove, thumb + QPoint(50, 0));
    EXPECT_EQ(skin.PositionOffset(), 50);
    Mouse(window, QEvent::MouseButtonRelease, Centre(skin, "pause"));
    EXPECT_EQ(events.drags, std::vector<bool>{true});
    EXPECT_EQ(events.commands.size(), 1u);

    // While an export runs, the mouse does nothing.
    events.ignore = true;
    Mouse(window, QEvent::MouseButtonPress, Centre(skin, "snap"));
    Mouse(window, QEvent::MouseButtonRelease, Centre(skin, "snap"));
    EXPECT_EQ(events.commands.size(), 1u);
    EXPECT_EQ(skin.Pressed(), -1);
    events.ignore = false;

    // The toggle's command runs at each release.
    Mouse(window, QEvent::MouseButtonPress, Centre(skin, "sound"));
    Mouse(window, QEvent::MouseButtonRelease, Centre(skin, "sound"));
    EXPECT_EQ(events.commands.back(), "sound");
    EXPECT_EQ(skin.Button(20).state, ui::kStateDown);

    // Leaving the window takes the highlight and the tooltip away.
    Mouse(window, QEvent::MouseMove, Centre(skin, "list"));
    EXPECT_NE(skin.Hover(), -1);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&window, &leave);
    EXPECT_EQ(skin.Hover(), -1);
}

TEST(MainWindow, SliderDrawnFromAnotherThreadReachesTheWindowImage)
{
    ui_test::App();
    InstalledSkin installed;
    ui::Skin skin;
    ui::MainWindow window(skin);
    window.BuildSkin(installed.skinDir, installed.texts);
    window.RepaintAll();
    const ui::SkinSlider& position = skin.Slider(ui::SliderId::Position);
    const QPoint at(position.trackLeft + 200, position.y + position.axis.Height() / 2);
    const QRgb before = window.Surface().Copy().pixel(at);
    std::thread timer([&] { EXPECT_TRUE(skin.DrawPosition(200)); });
    timer.join();
    EXPECT_NE(window.Surface().Copy().pixel(at), before);
    // The queued repaint request is delivered on this thread.
    QApplication::processEvents();
}

TEST(MainWindow, MissingTooltipIniIsReportedAndLeavesTooltipsEmpty)
{
    ui_test::App();
    InstalledSkin installed;
    std::filesystem::remove(installed.texts);
    std::vector<QString> shown;
    ui::SetMessagePresenter([&](ui::MessageKind kind, QWidget* owner, const QString& text) {
        EXPECT_EQ(kind, ui::MessageKind::Window);
        EXPECT_NE(owner, nullptr);
        shown.push_back(text);
    });
    ui::Skin skin;
    ui::MainWindow window(skin);
    window.BuildSkin(installed.skinDir, installed.texts);
    ui::SetMessagePresenter({});
    EXPECT_EQ(shown, std::vector<QString>{QStringLiteral("Can't Open Setting file")});
    EXPECT_EQ(skin.Count(), 23);
    EXPECT_EQ(skin.Button(5).tooltip, "");
}

TEST(MainWindow, MissingAndDamagedPicturesAreAllNamedInOneMessage)
{
    ui_test::App();
    InstalledSkin installed;
    const auto file = [&](const char* name) { return installed.skinDir + "/" + name; };
    std::filesystem::remove(file("play4-on.bmp"));
    std::filesystem::remove(file("Thumb-up.bmp"));
    std::filesystem::remove(file("Time-Axis.bmp"));
    std::filesystem::resize_file(file("segment_end.bmp"), 40);  // a header cut short
    std::vector<QString> shown;
    ui::SetMessagePresenter([&](ui::MessageKind kind, QWidget* owner, const QString& text) {
        EXPECT_EQ(kind, ui::MessageKind::Window);
        EXPECT_NE(owner, nullptr);
        shown.push_back(text);
    });
    ui::Skin skin;
    ui::MainWindow window(skin);
    window.BuildSkin(installed.skinDir, installed.texts);
    ui::SetMessagePresenter({});
    const std::vector<std::string> named = {"play4-on.bmp", "Thumb-up.bmp", "Time-Axis.bmp", "segment_end.bmp"};
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].toStdString(), ui::MissingPicturesMessage(installed.skinDir, named));
    EXPECT_EQ(shown[0].toStdString(), "Skin pictures missing or unreadable in " + installed.skinDir +
                                          ": play4-on.bmp, Thumb-up.bmp, Time-Axis.bmp, segment_end.bmp");
    // What loaded is still there: the play button without its hover picture.
    EXPECT_EQ(skin.Count(), 23);
    EXPECT_TRUE(skin.Button(11).pictures[ui::kStateUp].Present());
    EXPECT_FALSE(skin.Button(11).pictures[ui::kStateHover].Present());
    EXPECT_TRUE(skin.Background().Present());
    EXPECT_TRUE(skin.BeginMarkPicture().Present());

    // A complete skin says nothing.
    InstalledSkin complete;
    ui::SetMessagePresenter([&](ui::MessageKind, QWidget*, const QString& text) { shown.push_back(text); });
    ui::Skin second;
    ui::MainWindow other(second);
    ui::UiTextTable texts;
    EXPECT_EQ(ui::BuildMainSkin(second, other, complete.skinDir, complete.texts, texts, &other),
              std::vector<std::string>{});
    ui::SetMessagePresenter({});
    EXPECT_EQ(shown.size(), 1u);
}

}  // namespace
