#pragma once
// The main window's shell: a frameless 925 x 640 top-level window whose look
// is the Skin's. Everything drawn into it goes to its backing image, from
// any thread; paintEvent only copies that image. Mouse events go to the
// Skin; what follows from them (commands, seeking, volume, indicators) is
// handed to the MainWindowEvents given by the owner.
#include <QWidget>

#include <string>

#include "platform/window_surface.h"
#include "ui/skin_window.h"
#include "ui/ui_text_table.h"

namespace ui {

class Skin;

// The main window's owner reacts to the mouse through these; every call
// comes on the GUI thread, after the Skin has handled the event.
class MainWindowEvents {
public:
    virtual ~MainWindowEvents() = default;
    // While true, presses are ignored and releases run nothing (an export).
    virtual bool MouseIgnored() { return false; }
    virtual void OnPress(int /*x*/, int /*y*/) {}
    virtual void OnMove(int /*x*/, int /*y*/) {}
    // A slider drag ends; called before the Skin lets go of it.
    virtual void OnDragEnd(bool /*positionSlider*/) {}
    // A skin button was released: its command name.
    virtual void OnCommand(const std::string& /*name*/) {}
    // After the skin repainted the whole window (indicators go on top).
    virtual void OnPaint() {}
};

class MainWindow : public QWidget, public SkinWindow {
public:
    explicit MainWindow(Skin& skin, MainWindowEvents* events = nullptr);
    ~MainWindow() override;

    // The creation sequence of the skin: pictures from skinDirectory, texts
    // from textsPath.
    void BuildSkin(const std::string& skinDirectory, const std::string& textsPath);
    // Skin repaint, then the owner's indicators.
    void RepaintAll();

    void SetEvents(MainWindowEvents* newEvents) { events = newEvents; }
    const UiTextTable& Texts() const { return texts; }
    Skin& GetSkin() { return skin; }

    // SkinWindow
    platform::WindowSurface& Surface() override { return surface; }
    QRect ScreenRect() const override;
    void MoveTo(QPoint topLeft) override;
    void SetShape(const QRegion& shape) override;
    QWidget* TooltipOwner() override { return this; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    Skin& skin;
    MainWindowEvents* events;
    platform::WindowSurface surface;
    UiTextTable texts;
    bool captured = false;
    bool painted = false;
};

}  // namespace ui
