// The skin's buttons and mouse handling: hit testing, button pictures,
// hover with tooltips, press and release, window dragging.
#include <QPainter>

#include "platform/window_surface.h"
#include "ui/skin.h"
#include "ui/skin_window.h"
#include "ui/tooltip_window.h"

namespace ui {

int Skin::HitTest(int x, int y) const
{
    for (int i = 0; i < count; ++i) {
        const SkinButton& b = buttons[static_cast<std::size_t>(i)];
        if (b.left < x && x < b.right && b.top < y && y < b.bottom)
            return i;
    }
    return -1;
}

bool Skin::SetButtonState(int index, int state)
{
    if (!window || count == 0 || index < 0 || index >= count || state < kStateUp || state > kStateDisabled)
        return false;
    SkinButton& button = buttons[static_cast<std::size_t>(index)];
    const SkinPicture& picture = button.pictures[static_cast<std::size_t>(state)];
    if (!picture.Present())
        return false;
    {
        auto context = window->Surface().Draw(QRect(button.left, button.top, picture.Width(), picture.Height()));
        QPainter painter(&context.Image());
        picture.DrawTransparent(painter, button.left, button.top);
    }
    button.state = state;
    return true;
}

bool Skin::ButtonName(int index, std::string& name) const
{
    if (index < 0 || index >= count)
        return false;
    name = buttons[static_cast<std::size_t>(index)].name;
    return true;
}

bool Skin::GrabsThumb(const SkinSlider& slider, int x, int y) const
{
    std::lock_guard lock(sliderLock);
    if (!window || !slider.thumb.Present() || !slider.axis.Present() || slider.current == -1)
        return false;
    const int half = slider.thumb.Width() / 2;
    return slider.current - half < x && x < slider.current + half && slider.y < y &&
           y < slider.y + slider.axis.Height();
}

QPoint Skin::ScreenPoint(int x, int y) const
{
    return window ? window->ScreenRect().topLeft() + QPoint(x, y) : QPoint(x, y);
}

int Skin::Press(int x, int y) { return Press(x, y, ScreenPoint(x, y)); }

int Skin::Press(int x, int y, QPoint screenPoint)
{
    const int i = HitTest(x, y);
    if (i != -1 && buttons[static_cast<std::size_t>(i)].kind != kKindStatic) {
        SkinButton& button = buttons[static_cast<std::size_t>(i)];
        switch (button.kind) {
        case kKindPush:
            // Without a down picture the press registers nothing; an earlier
            // toggle or view selector must not get a second command from it.
            pressed = SetButtonState(i, kStateDown) ? i : -1;
            return i;
        case kKindToggle:
            pressed = i;
            SetButtonState(i, button.state == kStateDown ? kStateUp : kStateDown);
            return i;
        default: pressed = i; return i;
        }
    }
    if (GrabsThumb(positionSlider, x, y)) {
        positionDrag = true;
    } else if (GrabsThumb(volumeSlider, x, y)) {
        volumeDrag = true;
    } else {
        pressed = -1;
        windowDrag = true;
        dragGrab = window ? screenPoint - window->ScreenRect().topLeft() : QPoint(x, y);
    }
    return i;
}

void Skin::LeaveHover()
{
    if (hover == -1)
        return;
    if (buttons[static_cast<std::size_t>(hover)].state != kStateDown)
        SetButtonState(hover, kStateUp);
    if (tooltip)
        tooltip->Hide();
    hover = -1;
}

void Skin::Move(int x, int y) { Move(x, y, ScreenPoint(x, y)); }

void Skin::Move(int x, int y, QPoint screenPoint)
{
    const int i = HitTest(x, y);
    if (positionDrag) {
        DrawPosition(x - positionSlider.trackLeft);
        return;
    }
    if (volumeDrag) {
        DrawVolume(x - volumeSlider.trackLeft);
        return;
    }
    if (i != -1 && buttons[static_cast<std::size_t>(i)].kind != kKindStatic) {
        if (i == hover)
            return;
        LeaveHover();
        if (buttons[static_cast<std::size_t>(i)].state != kStateDown)
            SetButtonState(i, kStateHover);
        hover = i;
        ShowTooltip(i);
        return;
    }
    if (windowDrag) {
        if (!window)
            return;
        // From the pointer's screen position alone: the windowing system
        // moves windows asynchronously, so client coordinates of queued
        // moves still count from an older place of the window.
        window->MoveTo(screenPoint - dragGrab);
        return;
    }
    LeaveHover();
}

int Skin::Release()
{
    const int r = pressed;
    if (r != -1 && buttons[static_cast<std::size_t>(r)].kind == kKindPush && SetButtonState(r, kStateUp))
        pressed = -1;
    windowDrag = false;
    positionDrag = false;
    volumeDrag = false;
    return r;
}

void Skin::ShowTooltip(int index)
{
    if (!window || count == 0 || index < 0 || index >= count || !tooltip)
        return;
    const SkinButton& button = buttons[static_cast<std::size_t>(index)];
    if (button.tooltip.empty())
        return;
    const QPoint at = TooltipPlacement(button.left, button.top, window->ScreenRect().topLeft());
    tooltip->SetText(button.tooltip);
    tooltip->SetPosition(at.x(), at.y());
    tooltip->Show();
}

}  // namespace ui
