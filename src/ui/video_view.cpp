#include "ui/video_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

#include "playback/playback_engine.h"

namespace ui {

namespace {

// The sunken client edge: dark above and left, light below and right, in
// the palette's shades. Only the two rings are drawn; the view covers the rest.
class ViewEdge : public QWidget {
public:
    explicit ViewEdge(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setGeometry(VideoView::kLeft - VideoView::kEdgeWidth, VideoView::kTop - VideoView::kEdgeWidth,
                    VideoView::kWidth + 2 * VideoView::kEdgeWidth, VideoView::kHeight + 2 * VideoView::kEdgeWidth);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        qDrawWinPanel(&painter, rect(), palette(), true, nullptr);
    }
};

}  // namespace

VideoView::VideoView(QWidget* parent, playback::PlaybackEngine& playbackEngine)
    : SurfaceView(parent, kWidth, kHeight), engine(playbackEngine)
{
    move(kLeft, kTop);
    setCursor(Qt::ArrowCursor);
    if (parent) {
        edge = std::make_unique<ViewEdge>(parent);
        edge->stackUnder(this);
        // A parent that goes first takes its children, the edge among them.
        QObject::connect(edge.get(), &QObject::destroyed, this, [this] { (void)edge.release(); });
    }
}

VideoView::~VideoView()
{
    if (edge)
        QObject::disconnect(edge.get(), nullptr, this, nullptr);
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
    if (edge)
        edge->show();
    if (!shown) {
        shown = true;
        Invalidate();
    }
}

void VideoView::hideEvent(QHideEvent* event)
{
    if (edge)
        edge->hide();
    SurfaceView::hideEvent(event);
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

// Keys belong to the main window, whose commands they run.
void VideoView::keyPressEvent(QKeyEvent* event) { event->ignore(); }

}  // namespace ui
