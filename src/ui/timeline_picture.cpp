#include "ui/timeline_picture.h"

#include <QFont>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace ui {
namespace {

using std::chrono::seconds;

constexpr int kCameras = disk::CameraTimeline::kCameras;
constexpr int64_t kDay = 86400;
// Tick steps, in seconds: the first whose ticks stand far enough apart.
constexpr std::array<int64_t, 24> kSteps = {
    1,    2,    5,     10,    15,    30,   60,       120,      300,       600,       900,       1800,
    3600, 7200, 10800, 21600, 43200, kDay, 2 * kDay, 7 * kDay, 14 * kDay, 30 * kDay, 91 * kDay, 365 * kDay};
constexpr int kMinTickSpacing = 90;  // pixels

int64_t Count(disk::ClockSeconds t) { return t.time_since_epoch().count(); }

// A tick's label: the time of day below a day's step, the date from it on.
QString TickLabel(disk::ClockSeconds t, int64_t step)
{
    const disk::RecordTime r = disk::ToRecordTime(t);
    char text[32];
    if (step < 60)
        std::snprintf(text, sizeof text, "%02u:%02u:%02u", r.hour, r.minute, r.second);
    else if (step < kDay)
        std::snprintf(text, sizeof text, "%02u:%02u", r.hour, r.minute);
    else
        std::snprintf(text, sizeof text, "%04u-%02u-%02u", r.year, r.month, r.day);
    return QString::fromLatin1(text);
}

int64_t FloorTo(int64_t value, int64_t step)
{
    return value >= 0 ? value / step * step : -((-value + step - 1) / step) * step;
}

void DrawAxis(QPainter& painter, const TimelineLayout& layout)
{
    const int64_t span = Count(layout.to) - Count(layout.from);
    int64_t step = kSteps.back();
    for (const int64_t s : kSteps) {
        if (double(s) / double(span) * layout.PlotWidth() >= kMinTickSpacing) {
            step = s;
            break;
        }
    }
    const int axisTop = TimelineLayout::kTitleHeight;
    const int rowsBottom = layout.RowTop(kCameras - 1) + TimelineLayout::kRowHeight;
    for (int64_t t = FloorTo(Count(layout.from), step); t <= Count(layout.to); t += step) {
        const disk::ClockSeconds tick{seconds{t}};
        if (tick < layout.from)
            continue;
        const int x = layout.Column(tick);
        painter.setPen(QColor(205, 205, 205));
        painter.drawLine(x, axisTop + 16, x, rowsBottom);
        painter.setPen(Qt::black);
        painter.drawLine(x, axisTop + 12, x, axisTop + TimelineLayout::kAxisHeight - 2);
        // A label stays inside the picture: the last one may end at its edge.
        const int labelLeft = std::min(x - 60, layout.width - 122);
        const Qt::Alignment align = labelLeft == x - 60 ? Qt::AlignCenter : Qt::AlignRight | Qt::AlignVCenter;
        painter.drawText(QRect(labelLeft, axisTop, 120, 13), align, TickLabel(tick, step));
    }
}

void DrawLegend(QPainter& painter, const TimelineLayout& layout)
{
    int x = TimelineLayout::kLeft;
    const int y = layout.Height() - TimelineLayout::kLegendHeight + 8;
    for (const disk::CameraSecond kind : {disk::CameraSecond::Recorded, disk::CameraSecond::NoVideo,
                                          disk::CameraSecond::Recovered, disk::CameraSecond::Overlap}) {
        painter.fillRect(QRect(x, y, 14, 14), TimelineColour(kind));
        painter.setPen(Qt::black);
        const QString name = QString::fromLatin1(disk::CameraSecondName(kind));
        painter.drawText(QRect(x + 20, y - 2, 140, 18), Qt::AlignLeft | Qt::AlignVCenter, name);
        x += 20 + painter.fontMetrics().horizontalAdvance(name) + 24;
    }
}

}  // namespace

int TimelineLayout::Height() const
{
    return kTitleHeight + kAxisHeight + kCameras * (kRowHeight + kRowGap) + kLegendHeight;
}

int TimelineLayout::Column(disk::ClockSeconds second) const
{
    const double span = double(Count(to) - Count(from));
    const double offset = double(Count(second) - Count(from));
    return kLeft + int(std::floor(offset * PlotWidth() / span));
}

int TimelineLayout::RowTop(int camera) const
{
    return kTitleHeight + kAxisHeight + camera * (kRowHeight + kRowGap) + kRowGap / 2;
}

QColor TimelineColour(disk::CameraSecond kind)
{
    switch (kind) {
    case disk::CameraSecond::Recorded: return QColor(0, 120, 160);
    case disk::CameraSecond::NoVideo: return QColor(150, 150, 150);
    case disk::CameraSecond::Recovered: return QColor(150, 75, 0);
    case disk::CameraSecond::Overlap: return QColor(205, 30, 30);
    }
    return Qt::black;
}

QColor TimelineGapColour() { return QColor(236, 236, 236); }

TimelineLayout MakeTimelineLayout(disk::ClockSeconds from, disk::ClockSeconds to, int width)
{
    TimelineLayout layout;
    layout.from = from;
    layout.to = to > from ? to : from + seconds{1};
    layout.width = std::clamp(width, TimelineLayout::kMinWidth, TimelineLayout::kMaxWidth);
    return layout;
}

TimelineLayout WholeTimeline(const disk::CameraTimeline& timeline, int width)
{
    if (!timeline.first || !timeline.end)
        return MakeTimelineLayout(disk::ClockSeconds{}, disk::ClockSeconds{seconds{3600}}, width);
    return MakeTimelineLayout(*timeline.first, *timeline.end, width);
}

QImage DrawTimelinePicture(const disk::CameraTimeline& timeline, const TimelineLayout& layout)
{
    QImage image(layout.width, layout.Height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);

    const std::string first = disk::FormatClockTime(layout.from);
    const std::string last = disk::FormatClockTime(layout.to - seconds{1});
    painter.setPen(Qt::black);
    painter.drawText(QRect(TimelineLayout::kLeft, 4, layout.PlotWidth(), 18), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(first + "  to  " + last));
    DrawAxis(painter, layout);

    const int right = TimelineLayout::kLeft + layout.PlotWidth();
    for (int c = 0; c < kCameras; ++c) {
        const int top = layout.RowTop(c);
        painter.setPen(Qt::black);
        painter.drawText(QRect(6, top, TimelineLayout::kLeft - 12, TimelineLayout::kRowHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Camera %1").arg(c + 1));
        painter.fillRect(QRect(TimelineLayout::kLeft, top, layout.PlotWidth(), TimelineLayout::kRowHeight),
                         TimelineGapColour());
        for (const disk::CameraRun& run : timeline.rows[size_t(c)]) {
            if (run.end <= layout.from || run.begin >= layout.to)
                continue;
            const int x0 = layout.Column(std::max(run.begin, layout.from));
            const int x1 = std::min(right, std::max(x0 + 1, layout.Column(std::min(run.end, layout.to))));
            painter.fillRect(QRect(x0, top, x1 - x0, TimelineLayout::kRowHeight), TimelineColour(run.kind));
        }
    }
    DrawLegend(painter, layout);
    return image;
}

}  // namespace ui
