// "output": the marked segment exported on the exporter's worker thread while
// the window ignores its buttons; at the end the completion message, or
// why the file falls short of the end mark.
#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>

#include "disk/record_time.h"
#include "disk/timeline.h"
#include "evidence/export_report.h"
#include "export/segment_exporter.h"
#include "playback/playback_engine.h"
#include "ui/app_context.h"
#include "ui/export_end_message.h"
#include "ui/export_progress_dialog.h"
#include "ui/export_save_dialog.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"
#include "ui/video_view.h"

namespace ui {

namespace {

constexpr int kTextCannotStart = 18;
constexpr int kTextNoEndMark = 19;
constexpr int kTextFinished = 20;
constexpr int kTextAviNotClosed = 22;

}  // namespace

std::optional<std::string> CMainFrame::RunExportSaveDialog(const std::string& defaultName)
{
    return ui::ExportSaveDialog(this)(defaultName);
}

void CMainFrame::EnsureExporter()
{
    if (!exporter) {
        exportDialog = std::make_unique<ui::ExportProgressDialog>(this);
        // The completion message is the window's: the worker waits for it,
        // then clears the exporting flag.
        exporter = std::make_unique<exporter::SegmentExporter>(
            engine, *exportDialog, [this](const exporter::ExportOutcome& outcome) {
                QMetaObject::invokeMethod(
                    this, [this, &outcome] { OnExportFinished(outcome); }, Qt::BlockingQueuedConnection);
            });
    }
}

void CMainFrame::StartExport()
{
    if (!engine.IsReady() || engine.exporting.load())
        return;
    if (engine.MarkEnd() == -1) {
        ShowWindowMessage(this, UiString(Texts().Text(kTextNoEndMark)));
        return;
    }
    // An export whose marks lie within an activity event names it.
    const auto path = AskExportPath(MarkedEvent());
    if (!path)
        return;
    exporter::ExportMode mode{};
    if (!exporter::ExportModeFor(*path, mode) ||
        !exporter->PrepareExport(*path, engine.Position(), engine.MarkBegin(), engine.MarkEnd(), mode)) {
        ShowWindowMessage(this, UiString(Texts().Text(kTextCannotStart)));
        return;
    }
    RunPreparedExport(*path);
}

std::optional<std::string> CMainFrame::AskExportPath(std::optional<evidence::ActivityEventReport> event)
{
    EnsureExporter();
    exporter->SetReportVolume(&context.volume);
    exporter->SetReportEvent(std::move(event));
    engine.Halt();
    return RunExportSaveDialog(exporter::DefaultExportName(engine));
}

void CMainFrame::RunPreparedExport(const std::string& path)
{
    exportedPath = path;
    exporter->StartWorker();
    // With the exporting flag set, the view shows that it is exporting.
    videoView->Invalidate();
}

void CMainFrame::StartTimeRangeExport(disk::ClockSeconds first, disk::ClockSeconds last)
{
    if (engine.exporting.load() || !context.volume.IsLoaded())
        return;
    auto plan = exporter::PlanTimeRange(disk::ReadRecords(context.volume).placed, first, last);
    if (!plan) {
        ShowWindowMessage(this, UiString(plan.Detail()));
        return;
    }
    // The export's view and times are the player's: its first record open
    // at its first second.
    const auto opening = std::find_if(plan->pieces.begin(), plan->pieces.end(),
                                      [](const exporter::TimePiece& piece) { return !piece.gap; });
    GoToRecordPosition(static_cast<int>(opening->record), static_cast<int>(opening->firstPosition));
    if (!engine.IsReady() || context.volume.OpenRecordNumber() != int32_t(opening->record)) {
        ShowWindowMessage(this, UiString("Record " + std::to_string(opening->record + 1) + " could not be opened."));
        return;
    }
    const auto path = AskExportPath(std::nullopt);
    if (!path)
        return;
    exporter::ExportMode mode{};
    if (!exporter::ExportModeFor(*path, mode) ||
        !exporter->PrepareTimeRange(*path, engine.Position(), std::move(*plan), mode)) {
        const std::string why = exporter->LastError();
        ShowWindowMessage(this, UiString(why.empty() ? Texts().Text(kTextCannotStart) : why));
        return;
    }
    RunPreparedExport(*path);
}

void CMainFrame::OnExportFinished(const exporter::ExportOutcome& outcome)
{
    using End = exporter::ExportOutcome::End;
    // The completion message only for a run that reached the end mark (or
    // was stopped by the user); any other end says why the file falls short.
    const auto early = ExportEndMessage(
        outcome, [this](int position) { return engine.StampAt(position).Text(); }, Texts().Text(kTextAviNotClosed));
    if (early)
        ShowWindowMessage(this, UiString(*early));
    else
        messages.ShowFreshUiText(kTextFinished);
    if (const auto undecoded = UndecodedMessage(outcome))
        ShowWindowMessage(this, UiString(*undecoded));
    // The file is there but cannot be checked against the disk without it.
    if (!outcome.reportError.empty() && outcome.end != End::NothingRead)
        ShowWindowMessage(this, UiString("The export's report could not be written: " + outcome.reportError));
    RecordExportInCase(outcome);
    videoView->update();
    // The worker ends right after this returns: close once it has.
    if (closeAfterExport)
        QMetaObject::invokeMethod(
            this,
            [this] {
                exporter->Wait();
                close();
            },
            Qt::QueuedConnection);
}

// A close request during an export stops it; the window closes once the file
// is finished.
bool CMainFrame::DeferCloseForExport()
{
    if (!exporter || !exporter->IsRunning())
        return false;
    exportDialog->RequestStop();
    closeAfterExport = true;
    return true;
}

void CMainFrame::WaitForExport()
{
    if (!exporter)
        return;
    exportDialog->RequestStop();
    while (exporter->IsRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    exporter->Wait();
}

}  // namespace ui
