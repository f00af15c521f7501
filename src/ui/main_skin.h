#pragma once
// The main window's skin: which picture goes where, and the start-up
// sequence that loads it. The program and quillon-cli skin-preview both go
// through BuildMainSkin.
#include <array>
#include <string>
#include <vector>

class QWidget;

namespace ui {

class Skin;
class SkinWindow;
class UiTextTable;

inline constexpr int kMainWindowWidth = 925;
inline constexpr int kMainWindowHeight = 640;

struct MainSkinButton {
    const char* name;
    int kind;
    int x;
    int y;
    // Up, hover, down and disabled pictures; static images have only up.
    std::array<const char*, 4> pictures;
    int tooltipLine;  // 0: none
};

// Index i of the table is button slot i.
const std::array<MainSkinButton, 23>& MainSkinButtons();

// The skin directory: appDirectory + "/bmp".
std::string SkinDirectory(const std::string& appDirectory);
std::string TextTablePath(const std::string& appDirectory);

// In this order: attach the skin to window, load the background and give
// the window its outline, load the texts (a missing file is reported in a
// message box owned by messageOwner), add the buttons, the volume slider,
// the position slider and the segment marks. Texts come from textsPath,
// pictures from skinDirectory. Pictures that are missing or can't be read
// are left out and all named in one message box (an application message
// box when messageOwner is null); the result lists them, in table order.
std::vector<std::string> BuildMainSkin(Skin& skin, SkinWindow& window, const std::string& skinDirectory,
                                       const std::string& textsPath, UiTextTable& texts, QWidget* messageOwner);

// The message naming the pictures that could not be loaded.
std::string MissingPicturesMessage(const std::string& skinDirectory, const std::vector<std::string>& files);

}  // namespace ui
