// Ctrl+G: the go-to-time dialog over the loaded disk, then the chosen record
// at the chosen position, opened as the record list's OK opens a record.
#include <optional>

#include "disk/timeline.h"
#include "playback/playback_engine.h"
#include "ui/app_context.h"
#include "ui/goto_time_dialog.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"

namespace ui {
namespace {

constexpr int kTextNoDrive = 17;

}  // namespace

void CMainFrame::GoToTime()
{
    if (engine.exporting.load())
        return;
    engine.Halt();
    if (!context.volume.IsLoaded()) {
        ShowWindowMessage(this, UiString(Texts().Text(kTextNoDrive)));
        return;
    }
    // The dialog reads the record table and OK may attach another record:
    // no tick may be reading the volume meanwhile. Play starts the timer again.
    engine.KillTimer();
    int record = -1, position = -1;
    if (!RunGotoTimeDialog(record, position) || record < 0 || position < 0)
        return;
    GoToRecordPosition(record, position);
}

void CMainFrame::GoToRecordPosition(int record, int position)
{
    if (engine.exporting.load() || !context.volume.IsLoaded() || record < 0 || position < 0)
        return;
    engine.Halt();
    engine.KillTimer();
    const bool shown = engine.IsReady() && context.volume.OpenRecordNumber() == record;
    if (!shown && !OpenRecord(record, false)) {
        RefreshActivityMarks();
        return;
    }
    engine.ShowPosition(position, true, true);
    RefreshActivityMarks();
}

bool CMainFrame::RunGotoTimeDialog(int& record, int& position)
{
    disk::VolumeRecords records = disk::ReadRecords(context.volume);
    // The entry starts at the second on screen, else at the disk's first.
    std::optional<disk::ClockSeconds> initial;
    const bool showing = engine.IsReady();
    if (showing)
        initial = disk::ToClockSeconds(engine.PositionTime());
    for (const disk::PlacedRecord& r : records.placed)
        if (!showing && (!initial || r.begin < *initial))
            initial = r.begin;
    GotoTimeDialog dialog(this, std::move(records.placed), initial.value_or(disk::ClockSeconds{}));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const std::optional<disk::RecordPosition> chosen = dialog.Chosen();
    if (!chosen)
        return false;
    record = static_cast<int>(chosen->record);
    position = static_cast<int>(chosen->position);
    return true;
}

}  // namespace ui
