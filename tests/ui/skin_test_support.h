#pragma once
// A small skin built for the control tests: every state of every button has
// its own colour, so the window's pixels tell which picture is drawn.
#include <QPainter>

#include <string>

#include "support/temp_dir.h"
#include "ui/skin.h"
#include "ui_test_support.h"

namespace ui_test {

constexpr QRgb kBackground = 0xFF404040;
constexpr QRgb kAxis = 0xFF000060;
constexpr QRgb kThumb = 0xFFFFFFFF;
constexpr QRgb kBeginMark = 0xFF00FF00;
constexpr QRgb kEndMark = 0xFFFF0000;

// Colour of button index in state.
inline QRgb StateColour(int index, int state) { return qRgb(20 + index * 10, 60 + state * 40, 100 + state * 30); }

enum TestButton { kPlay = 0, kPause = 1, kSound = 2, kQuad = 3, kLogo = 4, kNoDown = 5 };

struct TestSkin {
    QApplication& app = App();  // before any widget
    testing_support::TempDir dir;
    FakeWindow window{400, 120};
    QWidget owner;  // owns the tooltip
    ui::Skin skin;

    TestSkin()
    {
        window.owner = &owner;
        QImage background = Filled(400, 120, kBackground);
        background.setPixel(0, 0, kMagenta);
        WriteBmp(dir.File("backgr.bmp"), background);
        struct ButtonCase {
            const char* name;
            int kind;
            int x, y, w, h;
            bool down;
        };
        const ButtonCase cases[] = {
            {"play", ui::kKindPush, 10, 10, 20, 10, true},    {"pause", ui::kKindPush, 30, 10, 20, 10, true},
            {"sound", ui::kKindToggle, 10, 40, 20, 10, true}, {"quad", ui::kKindViewSelector, 40, 40, 20, 10, true},
            {"logo", ui::kKindStatic, 70, 40, 20, 10, true},  {"nodown", ui::kKindPush, 100, 40, 20, 10, false},
        };
        const char* suffix[4] = {"-up.bmp", "-dw.bmp", "-on.bmp", "-un.bmp"};
        skin.Attach(&window);
        skin.LoadBackground(dir.Path().c_str(), "backgr.bmp");
        for (int i = 0; i < 6; ++i) {
            const ButtonCase& s = cases[i];
            for (int state = 0; state < 4; ++state) {
                if (state == ui::kStateDown && !s.down)
                    continue;
                QImage picture = Filled(s.w, s.h, StateColour(i, state));
                picture.setPixel(0, 0, kMagenta);
                WriteBmp(dir.File(std::string(s.name) + suffix[state]), picture);
            }
            const std::string tip = std::string("tip ") + s.name;
            skin.AddButtonPicture(dir.Path().c_str(), (std::string(s.name) + "-up.bmp").c_str(), i, ui::kStateUp,
                                  tip.c_str(), s.kind, s.name, s.x, s.y);
            for (int state : {ui::kStateHover, ui::kStateDown, ui::kStateDisabled})
                skin.AddButtonPicture(dir.Path().c_str(), (std::string(s.name) + suffix[state]).c_str(), i, state,
                                      nullptr, -1, nullptr, -1, -1);
        }
        QImage thumb = Filled(11, 8, kThumb);
        thumb.setPixel(0, 0, kMagenta);
        WriteBmp(dir.File("thumb.bmp"), thumb);
        WriteBmp(dir.File("time-axis.bmp"), Filled(300, 8, kAxis));
        WriteBmp(dir.File("vol-axis.bmp"), Filled(100, 8, kAxis));
        WriteBmp(dir.File("begin.bmp"), Filled(3, 8, kBeginMark));
        WriteBmp(dir.File("end.bmp"), Filled(3, 8, kEndMark));
        skin.LoadSlider(ui::SliderId::Volume, dir.Path().c_str(), "thumb.bmp", "vol-axis.bmp", 250, 100);
        skin.LoadSlider(ui::SliderId::Position, dir.Path().c_str(), "thumb.bmp", "time-axis.bmp", 17, 70);
        skin.LoadMarks(dir.Path().c_str(), "begin.bmp", "end.bmp");
    }

    // The colour of a button's middle pixel in the window.
    QRgb ButtonPixel(int index) const
    {
        const ui::SkinButton& b = skin.Button(index);
        return window.Pixel((b.left + b.right) / 2, (b.top + b.bottom) / 2);
    }
    QPoint Centre(int index) const
    {
        const ui::SkinButton& b = skin.Button(index);
        return QPoint((b.left + b.right) / 2, (b.top + b.bottom) / 2);
    }
};

}  // namespace ui_test
