#include "ui/main_skin.h"

#include <QString>

#include <algorithm>

#include "ui/message_box.h"
#include "ui/skin.h"
#include "ui/ui_text_table.h"

namespace ui {

const std::array<MainSkinButton, 23>& MainSkinButtons()
{
    static const std::array<MainSkinButton, 23> table = {{
        {"quad", kKindViewSelector, 647, 316, {"4ch-up.bmp", "4ch-on.bmp", "4ch-dw.bmp", "4ch-un.bmp"}, 24},
        {"ch1", kKindViewSelector, 647, 357, {"ch1-up.bmp", "ch1-on.bmp", "ch1-dw.bmp", "ch1-un.bmp"}, 25},
        {"ch2", kKindViewSelector, 647, 397, {"ch2-up.bmp", "ch2-on.bmp", "ch2-dw.bmp", "ch2-un.bmp"}, 26},
        {"ch3", kKindViewSelector, 647, 437, {"ch3-up.bmp", "ch3-on.bmp", "ch3-dw.bmp", "ch3-un.bmp"}, 27},
        {"ch4", kKindViewSelector, 647, 477, {"ch4-up.bmp", "ch4-on.bmp", "ch4-dw.bmp", "ch4-un.bmp"}, 28},
        {"exit", kKindPush, 697, 17, {"Exit-up.bmp", "Exit-on.bmp", "Exit-dw.bmp", "Exit-un.bmp"}, 1},
        {"hdd", kKindPush, 716, 294, {"folder-up.bmp", "folder-on.bmp", "folder-dw.bmp", "folder-un.bmp"}, 2},
        {"list", kKindPush, 693, 246, {"list-up.bmp", "list-on.bmp", "list-dw.bmp", "list-un.bmp"}, 3},
        {"prev", kKindPush, 216, 558, {"play1-up.bmp", "play1-on.bmp", "play1-dw.bmp", "play1-un.bmp"}, 4},
        {"rewind", kKindPush, 265, 554, {"play2-up.bmp", "play2-on.bmp", "play2-dw.bmp", "play2-un.bmp"}, 5},
        {"pause", kKindPush, 312, 549, {"play3-up.bmp", "play3-on.bmp", "play3-dw.bmp", "play3-un.bmp"}, 6},
        {"play", kKindPush, 365, 554, {"play4-up.bmp", "play4-on.bmp", "play4-dw.bmp", "play4-un.bmp"}, 7},
        {"next", kKindPush, 416, 558, {"play5-up.bmp", "play5-on.bmp", "play5-dw.bmp", "play5-un.bmp"}, 8},
        {"print", kKindPush, 665, 147, {"Print-up.bmp", "Print-on.bmp", "Print-dw.bmp", "Print-un.bmp"}, 9},
        {"minimize", kKindPush, 674, 17, {"Small-up.bmp", "Small-on.bmp", "Small-dw.bmp", "Small-un.bmp"}, 10},
        {"snap", kKindPush, 665, 96, {"Snap-up.bmp", "Snap-on.bmp", "Snap-dw.bmp", "Snap-un.bmp"}, 11},
        {"slow", kKindPush, 647, 515, {"SpDw-up.bmp", "SpDw-on.bmp", "SpDw-dw.bmp", "SpDw-un.bmp"}, 12},
        {"fast", kKindPush, 712, 515, {"SpUp-up.bmp", "SpUp-on.bmp", "SpUp-dw.bmp", "SpUp-un.bmp"}, 13},
        {"output", kKindPush, 673, 219, {"cut-up.bmp", "cut-on.bmp", "cut-dw.bmp", "cut-un.bmp"}, 14},
        {"segment", kKindPush, 673, 197, {"segment-up.bmp", "segment-on.bmp", "segment-dw.bmp", "segment-un.bmp"}, 15},
        {"sound", kKindToggle, 17, 550, {"Vol-up.bmp", "Vol-on.bmp", "Vol-dw.bmp", "Vol-un.bmp"}, 16},
        {"logo", kKindStatic, 507, 549, {"product.bmp", nullptr, nullptr, nullptr}, 0},
        {"logo", kKindStatic, 12, 3, {"logo.bmp", nullptr, nullptr, nullptr}, 0},
    }};
    return table;
}

std::string SkinDirectory(const std::string& appDirectory) { return appDirectory + "/bmp"; }

std::string TextTablePath(const std::string& appDirectory) { return appDirectory + "/Tooltip.ini"; }

std::string MissingPicturesMessage(const std::string& skinDirectory, const std::vector<std::string>& files)
{
    std::string text = "Skin pictures missing or unreadable in " + skinDirectory + ":";
    for (std::size_t i = 0; i < files.size(); ++i)
        text += (i ? ", " : " ") + files[i];
    return text;
}

std::vector<std::string> BuildMainSkin(Skin& skin, SkinWindow& window, const std::string& skinDirectory,
                                       const std::string& textsPath, UiTextTable& texts, QWidget* messageOwner)
{
    const char* dir = skinDirectory.c_str();
    std::vector<std::string> missing;
    auto note = [&missing](const char* file) {
        if (std::find(missing.begin(), missing.end(), file) == missing.end())
            missing.emplace_back(file);
    };
    skin.Attach(&window);
    skin.LoadBackground(dir, "backgr.bmp");
    if (!skin.Background().Present())
        note("backgr.bmp");
    LoadUiTexts(texts, textsPath, messageOwner);

    const auto& table = MainSkinButtons();
    for (int index = 0; index < static_cast<int>(table.size()); ++index) {
        const MainSkinButton& b = table[static_cast<std::size_t>(index)];
        const char* tooltip = b.tooltipLine ? texts.Text(b.tooltipLine).c_str() : nullptr;
        if (!skin.AddButtonPicture(dir, b.pictures[0], index, kStateUp, tooltip, b.kind, b.name, b.x, b.y))
            note(b.pictures[0]);
        // Hover, down, disabled: in the order the table lists them.
        constexpr int kLaterStates[] = {kStateHover, kStateDown, kStateDisabled};
        for (int k = 0; k < 3; ++k)
            if (const char* file = b.pictures[static_cast<std::size_t>(k + 1)])
                if (!skin.AddButtonPicture(dir, file, index, kLaterStates[k], nullptr, -1, nullptr, -1, -1))
                    note(file);
    }
    struct SliderFiles {
        SliderId id;
        const char* thumb;
        const char* axis;
        int x;
        int y;
    };
    for (const SliderFiles& s : {SliderFiles{SliderId::Volume, "Thumb-up.bmp", "Vol-Axis.bmp", 54, 567},
                                 SliderFiles{SliderId::Position, "Thumb-up.bmp", "Time-Axis.bmp", 17, 519}}) {
        if (skin.LoadSlider(s.id, dir, s.thumb, s.axis, s.x, s.y))
            continue;
        // A missing thumb stops the load before the axis: look at the axis alone.
        if (!skin.Slider(s.id).thumb.Present())
            note(s.thumb);
        SkinPicture axis;
        if (!axis.Load(dir, s.axis))
            note(s.axis);
    }
    skin.LoadMarks(dir, "segment_begin.bmp", "segment_end.bmp");
    if (!skin.BeginMarkPicture().Present())
        note("segment_begin.bmp");
    if (!skin.EndMarkPicture().Present())
        note("segment_end.bmp");

    if (!missing.empty()) {
        const QString text = QString::fromStdString(MissingPicturesMessage(skinDirectory, missing));
        if (messageOwner)
            ShowWindowMessage(messageOwner, text);
        else
            ShowApplicationMessage(text);
    }
    return missing;
}

}  // namespace ui
