#pragma once
// The timeline drawn as a picture: a band naming the range, a time axis on
// the recorder's clock whose ticks follow the range (seconds up to years),
// one row per camera with its runs (recorded, no video, recovered, records
// overlapping) and a legend. The window and `quillon-cli timeline --png`
// draw the same picture. Any thread may draw (QImage and QPainter only);
// text needs the application object to exist.
#include <QColor>
#include <QImage>

#include <string>

#include "disk/camera_timeline.h"

namespace ui {

// Where things are in a picture of a given width: the plot's columns are
// linear in time from `from` (its left edge) to `to` (its right edge).
struct TimelineLayout {
    static constexpr int kLeft = 78;  // row names
    static constexpr int kRight = 12;
    static constexpr int kTitleHeight = 26;
    static constexpr int kAxisHeight = 24;
    static constexpr int kRowHeight = 26;
    static constexpr int kRowGap = 6;
    static constexpr int kLegendHeight = 30;
    static constexpr int kMinWidth = 320;
    static constexpr int kMaxWidth = 16384;

    disk::ClockSeconds from;
    disk::ClockSeconds to;  // after from
    int width = 1200;

    int Height() const;
    int PlotWidth() const { return width - kLeft - kRight; }
    // The column where `second` begins (kLeft at `from`).
    int Column(disk::ClockSeconds second) const;
    int RowTop(int camera) const;
};

QColor TimelineColour(disk::CameraSecond kind);
// The empty track behind the runs.
QColor TimelineGapColour();

// A width outside kMinWidth..kMaxWidth is brought inside, a range that is
// not after its start made one second long.
TimelineLayout MakeTimelineLayout(disk::ClockSeconds from, disk::ClockSeconds to, int width);
// The whole timeline, from its first to its end second (an empty one: the
// hour from the clock's epoch).
TimelineLayout WholeTimeline(const disk::CameraTimeline& timeline, int width);

// Runs outside the layout's range are left out, and a run narrower than a
// column still gets one.
QImage DrawTimelinePicture(const disk::CameraTimeline& timeline, const TimelineLayout& layout);

}  // namespace ui
