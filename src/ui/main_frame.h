#pragma once
// The program's main window: the skinned shell with the video view inside,
// the commands of the skin's buttons, seeking and volume by the sliders, the
// version message on Ctrl+Alt+V, and an orderly shutdown on close.
//
// Everything here runs on the GUI thread. The engine's timer thread draws
// into the video view, the time panel and the position slider through their
// backing images and never calls into this class.
#include <QString>

#include <memory>
#include <optional>
#include <string>

#include "disk/timeline.h"
#include "platform/x11_hot_key.h"
#include "ui/fresh_ui_text_messages.h"
#include "ui/main_window.h"
#include "ui/skin_position_slider.h"

namespace playback {
class PlaybackEngine;
}

namespace disk {
class Volume;
}

class QTimer;

namespace evidence {
struct ActivityEventReport;
}

namespace casefile {
struct Bookmark;
}

namespace exporter {
class SegmentExporter;
struct ExportOutcome;
}  // namespace exporter

namespace ui {

class ExportProgressDialog;
class DiskRecovery;
class TimelineWindow;
class CaseSession;
class BookmarksWindow;
class ActivityEvents;
class ToolTipWindow;
struct AppContext;
class VideoView;

class CMainFrame : public MainWindow, private MainWindowEvents {
public:
    static constexpr int kLeft = 145;
    static constexpr int kTop = 40;
    static constexpr int kHotKeyId = 999;
    static constexpr unsigned kHotKeyVirtualKey = 0x56;  // V
    static const char* const kVersionText;
    static const char* const kVersionCaption;

    // The creation sequence: the video view, the skin from the context's
    // directory, the texts, the hot key. The window is made in any case.
    CMainFrame(AppContext& context, playback::PlaybackEngine& engine);
    ~CMainFrame() override;

    // The command of the skin button named `name`; unknown names do nothing.
    void RunCommand(const std::string& name);
    // Ctrl+G (main_frame_goto.cpp): the record and position holding a time
    // chosen in the go-to-time dialog. Nothing happens while an export runs.
    void GoToTime();
    // The record at the position, opened as the go-to-time dialog's OK
    // opens it (the record list's way when it is not the one shown).
    // Nothing happens while an export runs.
    void GoToRecordPosition(int record, int position);
    // The case (main_frame_case.cpp): opened at start (quillon --case CASE);
    // a failure is said in a message and the program goes on without it.
    bool OpenCase(const std::string& path);
    // B: the picture shown bookmarked in the case with a note (asked for);
    // Ctrl+B: the case's bookmarks, a double click goes there.
    void BookmarkShownPicture();
    void ShowBookmarks();
    void GoToBookmark(const casefile::Bookmark& bookmark);
    CaseSession& Case() { return *caseSession; }
    BookmarksWindow* Bookmarks() { return bookmarks.get(); }
    // Ctrl+T (main_frame_timeline.cpp): the timeline window, made at the
    // first use.
    void ShowTimeline();
    // Null until the first ShowTimeline.
    TimelineWindow* Timeline() { return timeline.get(); }
    // The volume thumb at v percent of its track, and the sound output's volume.
    void SetVolume(int percent);
    // The message that Ctrl+Alt+V shows.
    void ShowVersion();
    // The program's keys (main_frame_keys.cpp): true when the key has a
    // meaning here. Nothing happens while an export runs.
    bool RunKey(int key, Qt::KeyboardModifiers modifiers);

    VideoView& View() { return *videoView; }
    bool HotKeyRegistered() const { return hotKey.IsRegistered(); }
    bool VolumePending() const { return volumePending; }
    // Absent until the first "output".
    exporter::SegmentExporter* Exporter() { return exporter.get(); }
    ui::ExportProgressDialog* ExportDialog() { return exportDialog.get(); }
    bool MouseIgnoredForTest() { return MouseIgnored(); }
    // The search of the loaded disk for the recordings its table no longer
    // lists, started by every load of a disk.
    DiskRecovery& Recovery() { return *recovery; }

    // N and Shift+N (main_frame_activity.cpp): the open record at the begin
    // of the next activity event of the shown cameras after the position,
    // or of the last one before it (inside an event: that event's begin).
    // The record's first jump starts its search in the background and says
    // so; a jump seeks as a drag of the position thumb does, playing on if
    // it was playing. Nothing happens while an export runs.
    void JumpToActivity(bool forward);
    // The activity events of the loaded disk's records, searched once each.
    ActivityEvents& Activity() { return *activity; }
    // The disk the activity events are kept for: the volume as loaded, also
    // once the one numbering its recovered recordings has taken its place.
    std::shared_ptr<const disk::Volume> ActivityDisk() const;
    // The short line last shown above the position slider ("Searching for
    // activity: 35 %", "No activity found"), and whether it still shows.
    QString NoticeText() const { return noticeText; }
    bool NoticeShown() const;
    // The activity event the marked segment lies within, for the export's
    // report; nothing when there is none (or the search has not run).
    std::optional<evidence::ActivityEventReport> MarkedEvent();

protected:
    // The dialogs that choose a drive and a record: the chosen number, or -1
    // when cancelled. Tests put their own choices here.
    virtual int RunDiskSelectDialog();
    virtual int RunRecordListDialog();
    // The go-to-time dialog: the chosen record and position; false when cancelled.
    virtual bool RunGotoTimeDialog(int& record, int& position);
    // Snapshot and print through the platform's save and print dialogs.
    virtual void TakeSnapshot();
    virtual void PrintPicture();
    // "output": the marked segment written to an MPEG-1 or AVI file by the
    // exporter, made at the first use and kept for the program's life.
    virtual void StartExport();
    // The timeline's "Export this time range…" (main_frame_export.cpp): the
    // seconds first to last of every record in time order into one file,
    // asked for with the export's save dialog; the range's first record is
    // opened in the player first. A range that cannot be exported is said
    // in a message.
    void StartTimeRangeExport(disk::ClockSeconds first, disk::ClockSeconds last);
    // The export's save dialog: the chosen path, or nothing when cancelled.
    virtual std::optional<std::string> RunExportSaveDialog(const std::string& defaultName);
    // The note of a new bookmark; nothing when cancelled.
    virtual std::optional<std::string> RunBookmarkNoteDialog(const QString& where);

    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // MainWindowEvents
    bool MouseIgnored() override;
    void OnPress(int x, int y) override;
    void OnMove(int x, int y) override;
    void OnDragEnd(bool positionSlider) override;
    void OnCommand(const std::string& name) override { RunCommand(name); }
    void OnPaint() override;

    void ChooseDisk();
    void ChooseRecord(bool setVolume);
    // What the record list's OK does with its record: opened at its start.
    bool OpenRecord(int record, bool setVolume);
    void OnViewClick(int x, int y);
    // One of "quad", "ch1" .. "ch4" down, the others up.
    void SelectViewButton(const char* name);
    void SetButtonState(const char* name, int state);
    void StopPlayback();
    void OnExportFinished(const exporter::ExportOutcome& outcome);
    // The exporter and its progress dialog, made at the first export.
    void EnsureExporter();
    // The exporter made and told its volume and event, playback halted, and
    // the output asked for; nothing when the user cancels.
    std::optional<std::string> AskExportPath(std::optional<evidence::ActivityEventReport> event);
    // Starts the prepared run on its worker.
    void RunPreparedExport(const std::string& path);
    // A disk was loaded: the case says whether it is its disk.
    void CheckCaseDisk();
    void RecordExportInCase(const exporter::ExportOutcome& outcome);
    // The position slider's activity marks: the open record's events of
    // the shown cameras, none without them.
    void RefreshActivityMarks();
    // Called when the search's state or text changes.
    void OnActivityChange();
    // text in the small window above the position slider, for a few seconds.
    void ShowNotice(const std::string& text);
    bool DeferCloseForExport();
    // Stops a running export and waits for it, serving its completion call.
    void WaitForExport();

    AppContext& context;
    playback::PlaybackEngine& engine;
    std::unique_ptr<VideoView> videoView;
    SkinPositionSlider positionSlider;
    FreshUiTextMessages messages;
    platform::GlobalHotKey hotKey;
    std::unique_ptr<DiskRecovery> recovery;
    std::unique_ptr<TimelineWindow> timeline;
    std::unique_ptr<CaseSession> caseSession;
    std::unique_ptr<BookmarksWindow> bookmarks;
    // The file of the export running or last run, for the case.
    std::string exportedPath;
    std::unique_ptr<ActivityEvents> activity;
    std::unique_ptr<ToolTipWindow> notice;
    std::unique_ptr<QTimer> noticeTimer;
    QString noticeText;
    // An N was pressed while the search ran: its progress and end are shown.
    bool noticeFollowsSearch = false;
    bool volumePending = true;
    bool toldNoDecoding = false;  // the missing decoding library was shown once
    bool closeAfterExport = false;
    // The dialog holds the stop flag the exporter reads: it goes last.
    std::unique_ptr<ui::ExportProgressDialog> exportDialog;
    std::unique_ptr<exporter::SegmentExporter> exporter;
};

}  // namespace ui
