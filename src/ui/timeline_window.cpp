#include "ui/timeline_window.h"

#include <QFont>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace ui {
namespace {

using std::chrono::seconds;

constexpr int kDragThreshold = 4;   // pixels a press moves before it is a drag
constexpr double kWheelStep = 0.8;  // one notch closer
constexpr int kInitialWidth = 1200;

int64_t Count(disk::ClockSeconds t) { return t.time_since_epoch().count(); }
disk::ClockSeconds At(int64_t s) { return disk::ClockSeconds{seconds{s}}; }

}  // namespace

TimelineWindow::TimelineWindow(Hooks windowHooks, QWidget* parent)
    : QWidget(parent, Qt::Window), hooks(std::move(windowHooks)), thumbnails(hooks.decoderLibrary)
{
    setWindowTitle(QStringLiteral("Timeline"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    const int height = TimelineLayout{}.Height() + kPreviewHeight;
    setMinimumSize(TimelineLayout::kMinWidth, height);
    resize(kInitialWidth, height);
    thumbnails.OnReady([this](uint32_t, uint32_t) { update(); });
    activity.OnChange([this] { update(); });
    follow.setInterval(250);
    connect(&follow, &QTimer::timeout, this, [this] { Refresh(); });
    follow.start();
    Refresh();
    ShowWhole();
}

TimelineWindow::~TimelineWindow() = default;

void TimelineWindow::Refresh()
{
    std::shared_ptr<const disk::Volume> shown = hooks.volume ? hooks.volume() : nullptr;
    if (shown != volume) {
        const bool first = !volume || !shown || volume->DriveNumber() != shown->DriveNumber() || spans.empty();
        volume = std::move(shown);
        spans = volume ? disk::CameraSpans(*volume) : std::vector<disk::CameraSpan>{};
        timeline = disk::BuildCameraTimeline(spans);
        thumbnails.SetVolume(volume);
        activity.Show(volume);
        hovered.reset();
        // Another disk starts whole; the same disk with its recovered
        // recordings added keeps the range the user looks at.
        if (first)
            ShowWhole();
        update();
    }
    const std::optional<disk::ClockSeconds> now = hooks.position ? hooks.position() : std::nullopt;
    if (now != player) {
        player = now;
        update();
    }
}

TimelineLayout TimelineWindow::Layout() const { return MakeTimelineLayout(from, to, width()); }

void TimelineWindow::SetRange(int64_t first, int64_t length)
{
    const TimelineLayout whole = WholeTimeline(timeline, width());
    const int64_t wholeFirst = Count(whole.from);
    const int64_t wholeLength = std::max<int64_t>(Count(whole.to) - wholeFirst, kMinSeconds);
    length = std::clamp<int64_t>(length, kMinSeconds, wholeLength);
    // The range stays over the disk's seconds: panning stops at its ends
    // (and what a drag had not yet moved is dropped there).
    const int64_t kept = std::clamp<int64_t>(first, wholeFirst, wholeFirst + wholeLength - length);
    if (kept != first)
        panCarry = 0;
    first = kept;
    from = At(first);
    to = At(first + length);
    update();
}

void TimelineWindow::ShowWhole()
{
    const TimelineLayout whole = WholeTimeline(timeline, width());
    SetRange(Count(whole.from), Count(whole.to) - Count(whole.from));
}

disk::ClockSeconds TimelineWindow::SecondAt(int x) const
{
    const TimelineLayout layout = Layout();
    const double span = double(Count(to) - Count(from));
    const double column = std::clamp(double(x - TimelineLayout::kLeft), 0.0, double(layout.PlotWidth() - 1));
    const int64_t offset = int64_t(std::floor(column * span / layout.PlotWidth()));
    return At(std::min(Count(from) + offset, Count(to) - 1));
}

void TimelineWindow::ZoomAbout(int x, double factor)
{
    const TimelineLayout layout = Layout();
    const double share = std::clamp(double(x - TimelineLayout::kLeft) / layout.PlotWidth(), 0.0, 1.0);
    // Wheel notches in a row at one place zoom about one time, kept exact:
    // rounding each step's range to whole seconds would walk it away from
    // the pointer.
    if (!zoom || zoom->x != x || zoom->from != Count(from) || zoom->to != Count(to)) {
        const double length = double(Count(to) - Count(from));
        zoom = ZoomAnchor{x, double(Count(from)) + share * length, length, 0, 0};
    }
    const TimelineLayout whole = WholeTimeline(timeline, width());
    const double longest = std::max(double(kMinSeconds), double(Count(whole.to) - Count(whole.from)));
    zoom->length = std::clamp(zoom->length * factor, double(kMinSeconds), longest);
    const int64_t length = int64_t(std::llround(zoom->length));
    SetRange(int64_t(std::llround(zoom->pivot - share * double(length))), length);
    zoom->from = Count(from);
    zoom->to = Count(to);
}

void TimelineWindow::PanBy(int dx)
{
    const TimelineLayout layout = Layout();
    panCarry += double(dx) * double(Count(to) - Count(from)) / layout.PlotWidth();
    const int64_t whole = int64_t(panCarry);
    if (whole == 0)
        return;
    panCarry -= double(whole);
    SetRange(Count(from) + whole, Count(to) - Count(from));
}

void TimelineWindow::HoverAt(std::optional<int> x)
{
    std::optional<Hover> now;
    if (x && *x >= TimelineLayout::kLeft && *x < TimelineLayout::kLeft + Layout().PlotWidth()) {
        const disk::ClockSeconds second = SecondAt(*x);
        now = Hover{second, disk::SpanAt(spans, second)};
    }
    const bool changed = now.has_value() != hovered.has_value() || (now && (now->second != hovered->second));
    hovered = now;
    if (changed)
        update();
}

void TimelineWindow::ClickAt(int x)
{
    if (x < TimelineLayout::kLeft || x >= TimelineLayout::kLeft + Layout().PlotWidth())
        return;
    const std::optional<disk::SpanPosition> held = disk::SpanAt(spans, SecondAt(x));
    if (held && hooks.open)
        hooks.open(held->record, held->position);
}

bool TimelineWindow::OnAxisOrRows(int y) const
{
    const TimelineLayout layout = Layout();
    const int axisTop = TimelineLayout::kTitleHeight;
    return y >= axisTop && y < layout.RowTop(disk::CameraTimeline::kCameras - 1) + TimelineLayout::kRowHeight + 4;
}

void TimelineWindow::SelectBetween(int x0, int x1)
{
    const disk::ClockSeconds a = SecondAt(std::min(x0, x1));
    const disk::ClockSeconds b = SecondAt(std::max(x0, x1));
    selected = Selection{a, b};
    update();
}

void TimelineWindow::ClearSelection()
{
    if (!selected)
        return;
    selected.reset();
    update();
}

void TimelineWindow::OfferExport(const QPoint& at)
{
    if (!selected)
        return;
    if (!exportMenu) {
        exportMenu = std::make_unique<QMenu>(this);
        exportMenu->addAction(QStringLiteral("Export this time range\u2026"), this, [this] { ExportSelection(); });
    }
    exportMenu->popup(at);
}

void TimelineWindow::ExportSelection()
{
    if (selected && hooks.exportRange)
        hooks.exportRange(selected->first, selected->last);
}

void TimelineWindow::DrawSelection(QPainter& painter, const TimelineLayout& layout)
{
    if (!selected || selected->last < from || selected->first >= to)
        return;
    const int right = TimelineLayout::kLeft + layout.PlotWidth();
    const int x0 = layout.Column(std::max(selected->first, from));
    const int x1 = std::min(right, std::max(x0 + 1, layout.Column(std::min(selected->last + seconds{1}, to))));
    const int top = TimelineLayout::kTitleHeight;
    const int bottom = layout.RowTop(disk::CameraTimeline::kCameras - 1) + TimelineLayout::kRowHeight;
    painter.fillRect(QRect(x0, top, x1 - x0, bottom - top), SelectionColour());
    painter.setPen(QPen(QColor(40, 80, 200), 1));
    painter.drawLine(x0, top, x0, bottom);
    painter.drawLine(x1 - 1, top, x1 - 1, bottom);
    // Its times in the title band, kept inside the window.
    const int64_t length = (selected->last - selected->first).count() + 1;
    const QString text =
        QString::fromStdString(disk::FormatClockTime(selected->first) + "  to  " +
                               disk::FormatClockTime(selected->last) + "  (" + std::to_string(length) + " s)");
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    const int textWidth = painter.fontMetrics().horizontalAdvance(text) + 8;
    const int left = std::clamp(x0, 0, std::max(0, width() - textWidth));
    const QRect box(left, 4, textWidth, 18);
    painter.fillRect(box, QColor(255, 255, 255, 230));
    painter.setPen(QColor(40, 80, 200));
    painter.drawText(box, Qt::AlignCenter, text);
}

QColor TimelineWindow::SelectionColour() { return QColor(60, 110, 230, 70); }

void TimelineWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const TimelineLayout layout = Layout();
    painter.drawImage(0, 0, DrawTimelinePicture(timeline, layout));
    const int rowsTop = layout.RowTop(0);
    const int rowsBottom = layout.RowTop(disk::CameraTimeline::kCameras - 1) + TimelineLayout::kRowHeight;
    DrawActivity(painter, layout);
    DrawSelection(painter, layout);
    if (hovered) {
        const int x = layout.Column(hovered->second);
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.drawLine(x, rowsTop - 4, x, rowsBottom + 4);
    }
    // The player's line over the pointer's.
    if (player && *player >= from && *player < to) {
        const int x = layout.Column(*player);
        painter.fillRect(QRect(x - 1, rowsTop - 4, 3, rowsBottom - rowsTop + 8), QColor(255, 160, 0));
    }
    painter.fillRect(QRect(0, layout.Height(), width(), height() - layout.Height()), QColor(248, 248, 248));
    DrawPreview(painter, layout.Height());
}

QColor TimelineWindow::ActivityColour() { return QColor(255, 200, 0); }

void TimelineWindow::DrawActivity(QPainter& painter, const TimelineLayout& layout)
{
    const int right = TimelineLayout::kLeft + layout.PlotWidth();
    QFont font = painter.font();
    font.setPixelSize(11);  // the picture's own
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(right - 420, 4, 420, 18), Qt::AlignRight | Qt::AlignVCenter,
                     QString::fromStdString(activity.StatusText()));
    const playback::ActivityHeat* heat = activity.Heat();
    if (!heat)
        return;
    // Beside the legend of the runs.
    const int legendY = layout.Height() - TimelineLayout::kLegendHeight + 8;
    painter.fillRect(QRect(right - 150, legendY + 7, 14, kStripHeight), ActivityColour());
    painter.drawText(QRect(right - 130, legendY - 2, 130, 18), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("activity (fast)"));
    for (int c = 0; c < disk::CameraTimeline::kCameras; ++c) {
        const int y = layout.RowTop(c) + TimelineLayout::kRowHeight - kStripHeight;
        for (const playback::ActivityHeat::Run& run : heat->runs[size_t(c)]) {
            if (run.end <= from || run.begin >= to)
                continue;
            const int x0 = layout.Column(std::max(run.begin, from));
            const int x1 = std::min(right, std::max(x0 + 1, layout.Column(std::min(run.end, to))));
            painter.fillRect(QRect(x0, y, x1 - x0, kStripHeight), ActivityColour());
        }
    }
}

void TimelineWindow::DrawPreview(QPainter& painter, int top)
{
    painter.setPen(Qt::black);
    const QRect line(TimelineLayout::kLeft, top + 6, width() - TimelineLayout::kLeft - 12, 18);
    if (!volume) {
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("No disk is loaded."));
        return;
    }
    if (!hovered) {
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Point at the rows to see that second; click to play it; drag over them to "
                                        "select a time range to export. Wheel: zoom; drag the title or with the "
                                        "middle button: move; Home: the whole disk."));
        return;
    }
    QString text = QString::fromStdString(disk::FormatClockTime(hovered->second));
    if (!hovered->held) {
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, text + QStringLiteral("   nothing recorded"));
        return;
    }
    const disk::SpanPosition& held = *hovered->held;
    text += hovered->held->recovered
                ? QStringLiteral("   recovered recording %1, second %2").arg(held.record + 1).arg(held.position)
                : QStringLiteral("   record %1, second %2").arg(held.record + 1).arg(held.position);
    const TimelineThumbnails::Entry* entry = thumbnails.Find(held.record, held.position);
    if (!entry)
        text += QStringLiteral("   (decoding the picture ...)");
    else if (entry->picture.isNull())
        text += QStringLiteral("   no picture: ") + QString::fromStdString(entry->failure);
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, text);
    if (entry && !entry->picture.isNull()) {
        // Below the pointer, kept inside the window.
        const int x = std::clamp(Layout().Column(hovered->second) - entry->picture.width() / 2, 0,
                                 std::max(0, width() - entry->picture.width()));
        painter.drawImage(x, top + 30, entry->picture);
    }
}

void TimelineWindow::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y() / 120;
    if (notches != 0)
        ZoomAbout(int(event->position().x()), std::pow(kWheelStep, notches));
    event->accept();
}

void TimelineWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton && event->button() != Qt::MiddleButton)
        return;
    pressedAt = int(event->position().x());
    dragX = *pressedAt;
    dragging = false;
    selecting = event->button() == Qt::LeftButton && OnAxisOrRows(int(event->position().y()));
    panCarry = 0;
}

void TimelineWindow::mouseMoveEvent(QMouseEvent* event)
{
    const int x = int(event->position().x());
    const int y = int(event->position().y());
    if (pressedAt && (event->buttons() & (Qt::LeftButton | Qt::MiddleButton))) {
        if (!dragging && std::abs(x - *pressedAt) >= kDragThreshold)
            dragging = true;
        if (dragging && selecting) {
            SelectBetween(*pressedAt, x);
        } else if (dragging) {
            PanBy(dragX - x);  // the picture follows the pointer
            dragX = x;
        }
    }
    const TimelineLayout layout = Layout();
    const bool overRows = y >= layout.RowTop(0) - 4 &&
                          y < layout.RowTop(disk::CameraTimeline::kCameras - 1) + TimelineLayout::kRowHeight + 4;
    HoverAt(overRows ? std::optional<int>(x) : std::nullopt);
}

void TimelineWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if ((event->button() != Qt::LeftButton && event->button() != Qt::MiddleButton) || !pressedAt)
        return;
    const bool offer = dragging && selecting;
    if (!dragging && event->button() == Qt::LeftButton) {
        ClearSelection();
        ClickAt(*pressedAt);
    }
    pressedAt.reset();
    dragging = false;
    selecting = false;
    if (offer)
        OfferExport(event->globalPosition().toPoint());
}

void TimelineWindow::leaveEvent(QEvent*) { HoverAt(std::nullopt); }

void TimelineWindow::keyPressEvent(QKeyEvent* event)
{
    const int centre = TimelineLayout::kLeft + Layout().PlotWidth() / 2;
    switch (event->key()) {
    case Qt::Key_Home: ShowWhole(); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomAbout(centre, kWheelStep); break;
    case Qt::Key_Minus: ZoomAbout(centre, 1 / kWheelStep); break;
    case Qt::Key_Left: PanBy(-Layout().PlotWidth() / 8); break;
    case Qt::Key_Right: PanBy(Layout().PlotWidth() / 8); break;
    case Qt::Key_Escape:
        // A selection goes first, then the window.
        if (selected)
            ClearSelection();
        else
            close();
        break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

}  // namespace ui
