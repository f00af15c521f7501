// quillon-cli skin-preview: the main window as the program paints it at
// start, from a skin directory, through the program's own start-up of the
// skin (a missing window.rgn is computed and written there). Outside the
// window's outline the picture is transparent. --states adds a second
// picture with controls in use: hover with its tooltip, a held button, the
// sound toggled, a view selected, segment marks on the position slider.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QRegion>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/app_directory.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "ui/main_skin.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/skin.h"
#include "ui/tooltip_window.h"

namespace cli {
namespace {

// The window's picture, transparent outside its outline.
QImage Shaped(ui::MainWindow& window)
{
    const QImage surface = window.Surface().Copy();
    QImage out(surface.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    const QRegion mask = window.mask();
    if (!mask.isEmpty())
        painter.setClipRegion(mask);
    painter.drawImage(0, 0, surface);
    return out;
}

int IndexOf(const char* name)
{
    const auto& table = ui::MainSkinButtons();
    for (std::size_t i = 0; i < table.size(); ++i)
        if (std::string(table[i].name) == name)
            return static_cast<int>(i);
    return -1;
}

// The centre of a button, where the mouse goes to use it.
QPoint Centre(const ui::Skin& skin, int index)
{
    const ui::SkinButton& b = skin.Button(index);
    return QPoint((b.left + b.right) / 2, (b.top + b.bottom) / 2);
}

void UseControls(ui::Skin& skin)
{
    skin.SetButtonState(IndexOf("quad"), ui::kStateDown);
    const QPoint sound = Centre(skin, IndexOf("sound"));
    skin.Press(sound.x(), sound.y());
    skin.Release();
    const QPoint pause = Centre(skin, IndexOf("pause"));
    skin.Press(pause.x(), pause.y());
    const QPoint play = Centre(skin, IndexOf("play"));
    skin.Move(play.x(), play.y());

    const ui::SkinSlider& position = skin.Slider(ui::SliderId::Position);
    const int range = position.trackRight - position.trackLeft;
    skin.SetBeginMark(range / 4);
    skin.SetEndMark(range * 3 / 5);
    skin.DrawPosition(range * 2 / 5);
    const ui::SkinSlider& volume = skin.Slider(ui::SliderId::Volume);
    skin.DrawVolume((volume.trackRight - volume.trackLeft) * 7 / 10);
}

// The tooltip is a window of its own; put it where the screen shows it.
void AddTooltip(ui::Skin& skin, ui::MainWindow& window, QImage& picture)
{
    ui::ToolTipWindow* tooltip = skin.Tooltip();
    if (!tooltip || !tooltip->isVisible())
        return;
    QPainter painter(&picture);
    painter.drawPixmap(tooltip->pos() - window.ScreenRect().topLeft(), tooltip->grab());
}

std::string StatesPath(const std::string& out)
{
    std::filesystem::path path(out);
    const std::string ext = path.extension().string();
    return (path.parent_path() / (path.stem().string() + "-states" + (ext.empty() ? ".png" : ext))).string();
}

int Run(Options& options)
{
    const auto out = options.Value("-o");
    const std::string skinDir = options.Value("--skin").value_or(ui::SkinDirectory(platform::AppDirectory()));
    if (!std::filesystem::is_directory(skinDir))
        return Fail("no skin directory " + skinDir);
    // Tooltip.ini lies beside the skin directory, as beside the executable.
    const std::string texts =
        ui::TextTablePath(std::filesystem::path(skinDir).lexically_normal().parent_path().string());

    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "quillon-cli";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ui::SetMessagePresenter([](ui::MessageKind, QWidget*, const QString& text) {
        std::fprintf(stderr, "quillon-cli: %s\n", text.toLocal8Bit().constData());
    });

    ui::Skin skin;
    ui::MainWindow window(skin);
    // Missing pictures, the background's included, are named in one line.
    window.BuildSkin(skinDir, texts);
    window.RepaintAll();
    if (!Shaped(window).save(QString::fromStdString(*out), "PNG"))
        return Fail("cannot write " + *out);
    if (options.Has("--states")) {
        UseControls(skin);
        QImage states = Shaped(window);
        AddTooltip(skin, window, states);
        const std::string path = StatesPath(*out);
        if (!states.save(QString::fromStdString(path), "PNG"))
            return Fail("cannot write " + path);
    }
    skin.Detach();
    return 0;
}

}  // namespace

Command SkinPreviewCommand()
{
    return {.name = "skin-preview",
            .summary = "the main window as the program paints it at start, as PNG",
            .description = "The main window as the program paints it at start, from a skin directory (a missing\n"
                           "window.rgn is computed and written there); outside the window's outline the picture\n"
                           "is transparent.\n",
            .options = {{"--skin", "DIR", "the skin's bmp directory (default: the program's own)"},
                        {.name = "-o", .value = "OUT.png", .help = "the file to write", .required = true},
                        {"--states", "", "add a second picture with controls pressed, marks set and a tooltip"}},
            .run = Run};
}

}  // namespace cli
