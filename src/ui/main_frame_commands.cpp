// The commands of the main window's buttons and of clicks into the video view.
#include <QMetaObject>
#include <QPrinter>

#include <array>
#include <cctype>

#include "export/print.h"
#include "export/snapshot.h"
#include "platform/drive_table.h"
#include "playback/playback_engine.h"
#include "ui/activity_events.h"
#include "ui/app_context.h"
#include "ui/disk_recovery.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"
#include "ui/video_view.h"

namespace ui {

namespace {

using playback::PlaybackEngine;

// The view selector group: "quad", then the cameras' buttons in camera order.
constexpr std::array<const char*, 5> kViewButtons = {"quad", "ch1", "ch2", "ch3", "ch4"};

constexpr int kTextNoDrive = 17;

// No record to show: the engine not ready, the view in its idle colour, the
// time panel and slider as the skin draws them. Never a ready engine whose
// record is gone.
void LeaveRecord(PlaybackEngine& engine, CMainFrame& frame)
{
    engine.Detach();
    frame.View().Invalidate();
    frame.RepaintAll();
}

}  // namespace

void CMainFrame::RunCommand(const std::string& name)
{
    if (name == "exit") {
        QMetaObject::invokeMethod(this, "close", Qt::QueuedConnection);
    } else if (name == "hdd") {
        ChooseDisk();
        RefreshActivityMarks();
    } else if (name == "list") {
        engine.Halt();
        if (!context.volume.IsLoaded()) {
            ShowWindowMessage(this, UiString(Texts().Text(kTextNoDrive)));
            return;
        }
        ChooseRecord(false);
        RefreshActivityMarks();
    } else if (name == "play") {
        engine.PlayForward();
    } else if (name == "next") {
        engine.StepForward();
    } else if (name == "prev") {
        engine.StepBack();
    } else if (name == "pause") {
        engine.Halt();
    } else if (name == "slow") {
        engine.Slower();
    } else if (name == "fast") {
        engine.Faster();
    } else if (name == "rewind") {
        engine.PlayReverse();
    } else if (name == "quad") {
        SelectViewButton("quad");
        engine.SetView(PlaybackEngine::kQuadView, 0);
        RefreshActivityMarks();
    } else if (name == "ch1" || name == "ch2" || name == "ch3" || name == "ch4") {
        SelectViewButton(name.c_str());
        engine.SetView(PlaybackEngine::kSingleView, name[2] - '1');
        RefreshActivityMarks();
    } else if (name == "snap") {
        if (engine.IsReady()) {
            engine.Halt();
            TakeSnapshot();
        }
    } else if (name == "print") {
        if (engine.IsReady()) {
            engine.Halt();
            PrintPicture();
        }
    } else if (name == "minimize") {
        showMinimized();
    } else if (name == "output") {
        if (engine.IsReady())
            StartExport();
    } else if (name == "segment") {
        if (engine.IsReady())
            engine.ToggleMark();
    } else if (name == "sound") {
        engine.ToggleSound();  // the button's picture toggled at the press
    }
}

void CMainFrame::ChooseDisk()
{
    engine.Halt();
    // The dialogs reload the volume and re-attach the engine: no tick may be
    // reading the volume meanwhile. Play starts the timer again.
    engine.KillTimer();
    // What is on screen, to come back to if the record list is cancelled.
    const bool wasShowing = engine.IsReady();
    const int shownRecord = context.volume.OpenRecordNumber();
    const int shownPosition = engine.Position();
    // The disk as the volume opened it: its drive number may name another
    // row of the table since (every run of the disk dialog, Cancel too,
    // takes the table afresh).
    const std::string shownDisk = context.volume.IsLoaded() ? context.volume.DiskIdentity().path : std::string();

    const int drive = RunDiskSelectDialog();
    if (drive == -1)
        return;
    // Numbers name the rows of the dialog's drive table snapshot.
    const bool sameDisk = !shownDisk.empty() && platform::DrivePath(drive) == shownDisk;
    if (context.volume.Load(drive)) {
        context.currentDrive = drive;
        // Another disk, or the same one loaded again: its events are searched anew.
        activity->Drop();
        // The search for what the record table no longer lists runs beside
        // whatever the user does next; the record list shows its rows.
        recovery->Start(context.volume.Shared());
        CheckCaseDisk();
        ChooseRecord(true);
        if (context.volume.OpenRecordNumber() >= 0)
            return;  // a record was opened, or the list failed to open one and left the window idle
    }
    // The load dropped the record that was open. On the same disk it is
    // opened again where it stood; otherwise nothing is shown.
    if (wasShowing && sameDisk && context.volume.IsLoaded() && engine.SelectRecord(shownRecord) &&
        engine.ShowPosition(shownPosition, true, true)) {
        context.currentRecord = shownRecord;
        return;
    }
    LeaveRecord(engine, *this);
}

void CMainFrame::ChooseRecord(bool setVolume)
{
    engine.Halt();
    engine.KillTimer();
    const int record = RunRecordListDialog();
    if (record >= 0)
        OpenRecord(record, setVolume);
}

bool CMainFrame::OpenRecord(int record, bool setVolume)
{
    context.currentRecord = record;
    // Once the disk search is done the volume that numbers its recordings
    // after the listed records takes the loaded one's place: the same open
    // disk, the listed records numbered alike.
    if (auto found = recovery->VolumeFor(context.volume.Shared()); found && found != context.volume.Shared())
        context.volume.Attach(found);
    if (engine.Attach(&videoView->Surface(), &context.volume, record, context.currentDrive) != 1)
        return false;
    if (setVolume && volumePending) {
        SetVolume(engine.Sound().GetVolume());
        volumePending = false;
    }
    // Without the decoding library every camera stays dark: say so once,
    // rather than let dark cells pass for cameras that recorded nothing.
    if (std::string failure = engine.DecodingFailure(); !failure.empty() && !toldNoDecoding) {
        toldNoDecoding = true;
        failure[0] = char(std::toupper(static_cast<unsigned char>(failure[0])));
        ShowWindowMessage(this, UiString(failure + ". The cameras stay dark: no snapshot or print, and only the "
                                                   "master (.mkv) can be exported."));
    }
    // A new record opens in the quad view. Only a ready engine can be in the
    // one-camera view, and only a ready engine takes SetView.
    if (engine.ViewMode() != PlaybackEngine::kQuadView)
        engine.SetView(PlaybackEngine::kQuadView, engine.SelectedCamera());
    SelectViewButton("quad");
    if (engine.GotoStart())
        return true;
    LeaveRecord(engine, *this);
    return false;
}

void CMainFrame::SetVolume(int percent)
{
    const int volume = std::clamp(percent, 0, 100);
    const SkinSlider& slider = GetSkin().Slider(SliderId::Volume);
    const int range = slider.trackRight - slider.trackLeft;
    if (range > 0)
        GetSkin().DrawVolume(volume * range / 100);
    engine.Sound().SetVolume(volume);
}

void CMainFrame::OnViewClick(int x, int y)
{
    if (engine.exporting.load())
        return;
    if (engine.ViewMode() == PlaybackEngine::kSingleView) {
        SelectViewButton("quad");
        engine.SetView(PlaybackEngine::kQuadView, 0);
        RefreshActivityMarks();
        return;
    }
    const auto& cells = engine.Cells();
    for (int camera = 0; camera < playback::kCameras; ++camera) {
        const playback::CellRect& cell = cells[static_cast<std::size_t>(camera)];
        if (cell.left < x && x < cell.right && cell.top < y && y < cell.bottom) {
            SelectViewButton(kViewButtons[static_cast<std::size_t>(camera) + 1]);
            engine.SetView(PlaybackEngine::kSingleView, camera);
            RefreshActivityMarks();
            return;
        }
    }
}

// Failures show nothing: a snapshot or print that did not happen simply
// leaves no file or page.
void CMainFrame::TakeSnapshot() { exporter::TakeSnapshot(engine, exporter::FileSaveDialog(this)); }

void CMainFrame::PrintPicture()
{
    QPrinter printer(QPrinter::HighResolution);
    exporter::PrintPicture(engine, printer, exporter::PlatformPrintDialog(this));
}

void CMainFrame::SelectViewButton(const char* name)
{
    for (const char* button : kViewButtons)
        SetButtonState(button, std::string_view(button) == name ? kStateDown : kStateUp);
}

void CMainFrame::SetButtonState(const char* name, int state)
{
    Skin& skin = GetSkin();
    for (int index = 0; index < skin.Count(); ++index)
        if (skin.Button(index).name == name) {
            skin.SetButtonState(index, state);
            return;
        }
}

}  // namespace ui
