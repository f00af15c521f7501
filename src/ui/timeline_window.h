#pragma once
// The timeline window beside the player: the loaded disk's recordings per
// camera on the recorder's clock (the same picture `quillon-cli timeline
// --png` draws), zoomed with the wheel about the pointer, panned by
// dragging the title band, with the middle button or with the arrow keys,
// the whole disk again with Home; a line where the player stands; under the
// pointer the time and, below the rows, the quad at that second (decoded in
// the background and cached); a click opens that recording at that second
// in the player, as the go-to-time dialog does. Dragging with the left
// button over the time axis or the rows selects a time range (shaded, with
// its first and last second); releasing offers "Export this time range…",
// which hands it to the player (an export by time across records).
//
// Window thread only. The player is reached through the hooks it gives.
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disk/camera_timeline.h"
#include "disk/volume.h"
#include "playback/quad_thumbnail_job.h"
#include "ui/timeline_activity.h"
#include "ui/timeline_picture.h"
#include "ui/timeline_thumbnails.h"

namespace ui {

class TimelineWindow : public QWidget {
public:
    static constexpr int64_t kMinSeconds = 10;  // the closest zoom shows this many seconds
    static constexpr int kPreviewHeight = playback::QuadThumbnail::kHeight + 36;

    struct Hooks {
        // The volume to show (the loaded one, with the recordings the disk
        // search found once it is done); null when no disk is loaded.
        std::function<std::shared_ptr<const disk::Volume>()> volume;
        // The second the player shows, when it shows a recording with a time.
        std::function<std::optional<disk::ClockSeconds>()> position;
        // Opens the recording at the second (record number as the volume
        // numbers them, position from 0).
        std::function<void(uint32_t record, uint32_t position)> open;
        // Exports the seconds first to last (both included) into one file.
        std::function<void(disk::ClockSeconds first, disk::ClockSeconds last)> exportRange;
        // The decoding library the pictures are made with (empty: the one
        // beside the executable).
        std::string decoderLibrary;
    };

    explicit TimelineWindow(Hooks hooks, QWidget* parent = nullptr);
    ~TimelineWindow() override;

    // Takes the hooks' volume and position again (the window does every
    // quarter second while shown).
    void Refresh();
    // The whole disk (Home).
    void ShowWhole();
    // Zooms by factor (below 1: closer) about column x of the picture.
    void ZoomAbout(int x, double factor);
    // Moves the range by dx columns (positive: later).
    void PanBy(int dx);

    disk::ClockSeconds From() const { return from; }
    disk::ClockSeconds To() const { return to; }
    const disk::CameraTimeline& Model() const { return timeline; }
    TimelineLayout Layout() const;
    // The second at column x of the picture (clamped into the range).
    disk::ClockSeconds SecondAt(int x) const;

    struct Hover {
        disk::ClockSeconds second;
        std::optional<disk::SpanPosition> held;  // the recording holding it
    };
    const std::optional<Hover>& Hovered() const { return hovered; }
    // Points at column x (as the mouse does); nothing: off the rows.
    void HoverAt(std::optional<int> x);
    // Opens what column x shows (as a click does).
    void ClickAt(int x);

    // The time range selected by a drag over the axis or the rows: its
    // first and last second, both included.
    struct Selection {
        disk::ClockSeconds first;
        disk::ClockSeconds last;
    };
    const std::optional<Selection>& Selected() const { return selected; }
    // Selects from column x0 to column x1 (as a drag does; either order).
    void SelectBetween(int x0, int x1);
    void ClearSelection();
    // The menu a drag's release offers (shown at global point at), and its
    // one choice: the selection handed to the exportRange hook.
    void OfferExport(const QPoint& at);
    QMenu* ExportMenu() { return exportMenu.get(); }
    void ExportSelection();
    TimelineThumbnails& Thumbnails() { return thumbnails; }
    TimelineActivity& Activity() { return activity; }
    // The heat strips' colour, drawn along the bottom of each camera's row.
    static QColor ActivityColour();
    // The selection's shade over the axis and the rows.
    static QColor SelectionColour();
    static constexpr int kStripHeight = 7;

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetRange(int64_t first, int64_t seconds);
    void DrawPreview(QPainter& painter, int top);
    void DrawActivity(QPainter& painter, const TimelineLayout& layout);
    void DrawSelection(QPainter& painter, const TimelineLayout& layout);
    // Whether y lies on the time axis or the rows (where a drag selects).
    bool OnAxisOrRows(int y) const;

    Hooks hooks;
    TimelineThumbnails thumbnails;
    TimelineActivity activity;
    QTimer follow;
    std::shared_ptr<const disk::Volume> volume;
    std::vector<disk::CameraSpan> spans;
    disk::CameraTimeline timeline;
    disk::ClockSeconds from;
    disk::ClockSeconds to;
    std::optional<disk::ClockSeconds> player;
    std::optional<Hover> hovered;
    // A press not yet a drag (a click on release), and the last x of a drag;
    // a left press on the axis or the rows selects when it drags, any other
    // (the title band, the middle button) moves the range.
    std::optional<int> pressedAt;
    int dragX = 0;
    bool dragging = false;
    bool selecting = false;
    std::optional<Selection> selected;
    std::unique_ptr<QMenu> exportMenu;
    double panCarry = 0;  // a drag's part of a second not yet moved
    // The time zoomed about at column x and the exact length, while the
    // range is still the one that zoom made (from, to).
    struct ZoomAnchor {
        int x = 0;
        double pivot = 0;
        double length = 0;
        int64_t from = 0;
        int64_t to = 0;
    };
    std::optional<ZoomAnchor> zoom;
};

}  // namespace ui
