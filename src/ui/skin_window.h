#pragma once
// What the Skin needs of the window it draws: the backing image that stands
// for the window's drawing context, the window's place on the screen, moving
// it, giving it an outline, and a widget to own the tooltip. The main window
// implements it; tests use a stand-in.
#include <QPoint>
#include <QRect>

class QRegion;
class QWidget;

namespace platform {
class WindowSurface;
}

namespace ui {

class SkinWindow {
public:
    virtual ~SkinWindow() = default;
    virtual platform::WindowSurface& Surface() = 0;
    // The window's rectangle in screen coordinates.
    virtual QRect ScreenRect() const = 0;
    virtual void MoveTo(QPoint topLeft) = 0;
    // An empty region leaves the window rectangular.
    virtual void SetShape(const QRegion& shape) = 0;
    // Owner of the tooltip popup; null: no tooltips.
    virtual QWidget* TooltipOwner() = 0;
};

}  // namespace ui
