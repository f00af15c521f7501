#pragma once
// A child window whose look is its backing image: anyone may draw into the
// image from any thread; the widget repaints the touched rectangle through a
// queued call and its paint event only copies that part of the image. The
// video view and the record list's preview frame are such windows.
#include <QWidget>

#include "platform/window_surface.h"

namespace ui {

// Whoever draws into surface, on any thread, makes widget repaint that
// rectangle on its own thread. The widget clears the hook before it goes.
void RepaintOnDraw(QWidget& widget, platform::WindowSurface& surface);

class SurfaceView : public QWidget {
public:
    SurfaceView(QWidget* parent, int width, int height);
    ~SurfaceView() override;

    platform::WindowSurface& Surface() { return surface; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    platform::WindowSurface surface;
};

}  // namespace ui
