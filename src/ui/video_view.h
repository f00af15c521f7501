#pragma once
// The child window the playback engine shows its pictures in: 640 x 480 at
// (8, 31) of the main window, in a sunken edge two pixels wide around it.
// Its look is its backing image; Invalidate draws it afresh (the last
// pictures again, or the idle colour), and clicks go to the main window,
// which picks the view from them.
//
// In the one-camera view the wheel enlarges the picture (up to 8 times)
// about the pointer, dragging moves the part seen, a double click returns to
// the whole picture. The right button's menu chooses smoothed enlargement
// over the recorded pixels, and also returns to the whole picture.
#include <QColor>

#include <functional>
#include <memory>

#include "playback/view_zoom.h"
#include "ui/surface_view.h"

namespace playback {
class PlaybackEngine;
}

namespace ui {

class VideoView : public SurfaceView {
public:
    static constexpr int kLeft = 8;
    static constexpr int kTop = 31;
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    // Shown while there is no record, and during an export.
    static constexpr QRgb kIdleColour = 0xFF1E0000;  // RGB(30, 0, 0)
    // The sunken edge lies outside the pictures' place, which stays where
    // the engine and the quad cells have it.
    static constexpr int kEdgeWidth = 2;

    VideoView(QWidget* parent, playback::PlaybackEngine& engine);
    ~VideoView() override;

    // Left button down or double-click at (x, y) of the view.
    void SetClickHandler(std::function<void(int, int)> handler) { onClick = std::move(handler); }

    // A halted record's last pictures are shown again; a playing record is
    // left to the next tick; without a record, or while exporting, the view
    // is filled with the idle colour.
    void Invalidate();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Click(QMouseEvent* event);
    // The one-camera view of a ready engine, no export running.
    bool Zoomable() const;
    void Zoom(const playback::ViewZoom& zoom);

    playback::PlaybackEngine& engine;
    std::unique_ptr<QWidget> edge;  // a sibling beneath the view; null without a parent
    std::function<void(int, int)> onClick;
    bool shown = false;
    bool panning = false;
    QPointF panFrom;
};

}  // namespace ui
