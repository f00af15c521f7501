// The case in the program: B bookmarks the picture shown with a note,
// Ctrl+B lists the bookmarks (a double click goes there), every disk loaded
// is checked against the case's, and each export is added once written.
#include <QInputDialog>

#include <filesystem>
#include <string>

#include "casefile/case_file.h"
#include "disk/volume.h"
#include "export/segment_exporter.h"
#include "playback/playback_engine.h"
#include "ui/app_context.h"
#include "ui/bookmarks_window.h"
#include "ui/case_session.h"
#include "ui/disk_recovery.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"

namespace ui {

bool CMainFrame::OpenCase(const std::string& path)
{
    if (const auto opened = caseSession->Open(path); !opened) {
        ShowWindowMessage(this, UiString("The case cannot be opened: " + opened.Detail()));
        return false;
    }
    CheckCaseDisk();
    return true;
}

void CMainFrame::CheckCaseDisk()
{
    if (!caseSession->IsOpen() || !context.volume.IsLoaded())
        return;
    if (const auto same = caseSession->DiskLoaded(context.volume.Shared().get()); !same)
        ShowWindowMessage(this, UiString("Nothing is added to the case for this disk: " + same.Detail()));
}

std::optional<std::string> CMainFrame::RunBookmarkNoteDialog(const QString& where)
{
    bool ok = false;
    const QString note =
        QInputDialog::getText(this, QStringLiteral("Bookmark"), where, QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return note.toStdString();
}

void CMainFrame::BookmarkShownPicture()
{
    if (!caseSession->IsOpen()) {
        ShowWindowMessage(this, UiString(std::string("No case is open: start Quillon with --case CASE "
                                                     "(quillon-cli case create makes one).")));
        return;
    }
    if (!caseSession->IsActive() || !engine.IsReady()) {
        ShowWindowMessage(this, UiString(std::string(context.volume.IsLoaded() && engine.IsReady()
                                                         ? "This disk is not the case's disk."
                                                         : "Open a record of the case's disk first.")));
        return;
    }
    engine.Halt();
    casefile::Bookmark bookmark;
    const uint32_t record = static_cast<uint32_t>(context.volume.OpenRecordNumber());
    bookmark.record = context.volume.Shared()->RecordingName(record);
    bookmark.position = static_cast<uint32_t>(engine.Position());
    bookmark.picture = static_cast<uint32_t>(std::max(0, engine.PictureInSecond()));
    bookmark.view = engine.ViewMode() == playback::PlaybackEngine::kSingleView
                        ? std::to_string(engine.SelectedCamera() + 1)
                        : std::string("quad");
    const QString where =
        QStringLiteral("Record %1, %2, picture %3 (%4). Note:")
            .arg(QString::fromStdString(bookmark.record))
            .arg(QString::fromStdString(engine.StampAt(engine.Position()).Text()))
            .arg(bookmark.picture)
            .arg(QString::fromStdString(bookmark.view == "quad" ? "quad" : "camera " + bookmark.view));
    const std::optional<std::string> note = RunBookmarkNoteDialog(where);
    if (!note)
        return;
    bookmark.note = *note;
    if (const auto added = caseSession->AddBookmark(bookmark); !added) {
        ShowWindowMessage(this, UiString("The bookmark could not be added to the case: " + added.Detail()));
        return;
    }
    if (bookmarks && bookmarks->isVisible())
        ShowBookmarks();
}

void CMainFrame::ShowBookmarks()
{
    if (!caseSession->IsOpen()) {
        ShowWindowMessage(this, UiString(std::string("No case is open: start Quillon with --case CASE.")));
        return;
    }
    auto list = caseSession->Bookmarks();
    if (!list) {
        ShowWindowMessage(this, UiString("The case's bookmarks cannot be read: " + list.Detail()));
        return;
    }
    if (!bookmarks)
        bookmarks = std::make_unique<BookmarksWindow>([this](const casefile::Bookmark& b) { GoToBookmark(b); }, this);
    bookmarks->Show(std::move(*list));
    bookmarks->show();
    bookmarks->raise();
}

void CMainFrame::GoToBookmark(const casefile::Bookmark& b)
{
    if (!caseSession->IsActive()) {
        ShowWindowMessage(this, UiString(std::string("This disk is not the case's disk.")));
        return;
    }
    // The recording by the name the bookmark keeps: a listed record's
    // number, or a recovered recording's id once the disk search found it.
    std::shared_ptr<const disk::Volume> shown = context.volume.Shared();
    if (auto found = recovery->VolumeFor(shown))
        shown = found;
    int record = -1;
    for (uint32_t n = 0; shown && n < shown->RecordingCount() && record < 0; ++n)
        if (shown->RecordingName(n) == b.record)
            record = static_cast<int>(n);
    if (record < 0) {
        ShowWindowMessage(this, UiString("Recording " + b.record +
                                         " is not on the disk as loaded (a recovered one shows once the disk "
                                         "search is done)."));
        return;
    }
    GoToRecordPosition(record, static_cast<int>(b.position));
    if (!engine.IsReady() || engine.Position() != static_cast<int>(b.position))
        return;
    RunCommand(b.view == "quad" ? "quad" : "ch" + b.view);
    for (uint32_t k = 0; k < b.picture && engine.PictureInSecond() < static_cast<int>(b.picture); ++k)
        if (engine.StepForward() != 1)
            break;
}

void CMainFrame::RecordExportInCase(const exporter::ExportOutcome& outcome)
{
    using End = exporter::ExportOutcome::End;
    if (!caseSession->IsActive() || exportedPath.empty() || !outcome.reportError.empty())
        return;
    if (outcome.end != End::Completed && outcome.end != End::Stopped && outcome.end != End::RecordEnded)
        return;
    std::error_code ec;
    if (!std::filesystem::exists(exportedPath, ec))
        return;
    if (const auto added = caseSession->AddExport(exportedPath, outcome.reportPath); !added)
        ShowWindowMessage(this, UiString("The export was written but not added to the case: " + added.Detail()));
}

}  // namespace ui
