#include "ui/video_view.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <qdrawutil.h>

#include <cmath>

#include "playback/playback_engine.h"

namespace ui {

namespace {

// Three wheel notches double the enlargement: nine from the whole picture to 8x.
constexpr double kNotchesPerDoubling = 3.0;
constexpr double kWheelNotch = 120.0;

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

bool VideoView::Zoomable() const
{
    return engine.IsReady() && !engine.exporting.load() && engine.ViewMode() == playback::PlaybackEngine::kSingleView;
}

void VideoView::Zoom(const playback::ViewZoom& zoom)
{
    engine.SetZoom(zoom);
    setCursor(zoom.Whole() ? Qt::ArrowCursor : panning ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
}

// While enlarged, the left button moves the picture instead of returning to
// the quad view; a double click returns to the whole picture first.
void VideoView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && Zoomable() && !engine.Zoom().Whole()) {
        panning = true;
        panFrom = event->position();
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    Click(event);
}

void VideoView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && Zoomable() && !engine.Zoom().Whole()) {
        panning = false;
        playback::ViewZoom whole;
        whole.smooth = engine.Zoom().smooth;
        Zoom(whole);
        return;
    }
    Click(event);
}

void VideoView::mouseMoveEvent(QMouseEvent* event)
{
    if (!panning || !Zoomable())
        return;
    const QPointF at = event->position();
    const QPointF moved = at - panFrom;
    panFrom = at;
    Zoom(playback::Pan(engine.Zoom(), moved.x() / width(), moved.y() / height()));
}

void VideoView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !panning)
        return;
    panning = false;
    setCursor(engine.Zoom().Whole() ? Qt::ArrowCursor : Qt::OpenHandCursor);
}

void VideoView::wheelEvent(QWheelEvent* event)
{
    event->accept();
    const int delta = event->angleDelta().y();
    if (delta == 0 || !Zoomable())
        return;
    const playback::ViewZoom zoom = engine.Zoom();
    const double factor = zoom.factor * std::exp2(delta / kWheelNotch / kNotchesPerDoubling);
    const QPointF at = event->position();
    Zoom(playback::ZoomAbout(zoom, factor, at.x() / width(), at.y() / height()));
}

// The choice of smoothing lives here, beside the picture it changes, and
// shows whether it is on; the keys stay those common players use.
void VideoView::contextMenuEvent(QContextMenuEvent* event)
{
    if (!Zoomable())
        return;
    QMenu menu(this);
    QAction* smooth = menu.addAction(QStringLiteral("Smooth enlargement"));
    smooth->setCheckable(true);
    smooth->setChecked(engine.Zoom().smooth);
    QAction* whole = menu.addAction(QStringLiteral("Whole picture"));
    whole->setEnabled(!engine.Zoom().Whole());
    const QAction* chosen = menu.exec(event->globalPos());
    playback::ViewZoom zoom = engine.Zoom();
    if (chosen == smooth) {
        zoom.smooth = smooth->isChecked();
        Zoom(zoom);
    } else if (chosen == whole) {
        playback::ViewZoom reset;
        reset.smooth = zoom.smooth;
        Zoom(reset);
    }
}

// Keys belong to the main window, whose commands they run.
void VideoView::keyPressEvent(QKeyEvent* event) { event->ignore(); }

}  // namespace ui
