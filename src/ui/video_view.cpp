#include "ui/video_view.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "playback/playback_engine.h"

namespace ui {

VideoView::VideoView(QWidget* parent, playback::PlaybackEngine& playbackEngine)
    : SurfaceView(parent, kWidth, kHeight), engine(playbackEngine)
{
    move(kLeft, kTop);
    setCursor(Qt::ArrowCursor);
}

void VideoView::Invalidate()
{
    if (engine.IsReady() && !engine.exporting.load()) {
        if (!engine.IsPlaying())
            engine.Redraw();
        return;
    }
    auto context = Surface().Draw(QRect(0, 0, Surface().Width(), Surface().Height()));
    context.Image().fill(kIdleColour);
}

void VideoView::showEvent(QShowEvent* event)
{
    SurfaceView::showEvent(event);
    if (!shown) {
        shown = true;
        Invalidate();
    }
}

void VideoView::Click(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    if (onClick)
        onClick(at.x(), at.y());
}

void VideoView::mousePressEvent(QMouseEvent* event) { Click(event); }

void VideoView::mouseDoubleClickEvent(QMouseEvent* event) { Click(event); }

void VideoView::keyPressEvent(QKeyEvent* event) { event->accept(); }

}  // namespace ui
