// Ctrl+T: the timeline window beside the player. It shows the loaded disk
// (with the recordings the disk search found, once it is done) and the
// second the player shows; a click in it opens that second here, as the
// go-to-time dialog's OK does; a time range dragged out in it is exported
// from here (main_frame_export.cpp).
#include "disk/timeline.h"
#include "platform/decode_api.h"
#include "playback/playback_engine.h"
#include "ui/app_context.h"
#include "ui/disk_recovery.h"
#include "ui/main_frame.h"
#include "ui/timeline_window.h"

namespace ui {

void CMainFrame::ShowTimeline()
{
    if (!timeline) {
        TimelineWindow::Hooks hooks;
        hooks.volume = [this]() -> std::shared_ptr<const disk::Volume> {
            const std::shared_ptr<const disk::Volume> shown = context.volume.Shared();
            if (auto found = recovery->VolumeFor(shown))
                return found;
            return shown;
        };
        hooks.position = [this]() -> std::optional<disk::ClockSeconds> {
            if (!engine.IsReady())
                return std::nullopt;
            return disk::ToClockSeconds(engine.PositionTime());
        };
        hooks.open = [this](uint32_t record, uint32_t position) {
            GoToRecordPosition(static_cast<int>(record), static_cast<int>(position));
        };
        hooks.exportRange = [this](disk::ClockSeconds first, disk::ClockSeconds last) {
            StartTimeRangeExport(first, last);
        };
        hooks.decoderLibrary = context.appDirectory + "/" + platform::decodeapi::kLibraryFile;
        timeline = std::make_unique<TimelineWindow>(std::move(hooks), this);
    }
    timeline->Refresh();
    timeline->show();
    timeline->raise();
    timeline->activateWindow();
}

}  // namespace ui
