// N and Shift+N: from activity event to activity event of the shown cameras,
// the events marked along the position slider, and the event an export is
// made from. The record's events come from its search in the background
// (ActivityEvents); what it is doing shows in a small window above the
// slider, which goes by itself and never takes the keyboard.
#include <QTimer>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "evidence/export_report.h"
#include "playback/playback_engine.h"
#include "ui/activity_events.h"
#include "ui/app_context.h"
#include "ui/disk_recovery.h"
#include "ui/main_frame.h"
#include "ui/tooltip_window.h"

namespace ui {
namespace {

using playback::PlaybackEngine;

constexpr int kNoticeMilliseconds = 4000;
constexpr int kNoticeAboveSlider = 30;  // pixels from the slider's top to the notice's

std::string CameraWords(bool quad, int camera)
{
    return quad ? std::string() : " on camera " + std::to_string(camera + 1);
}

}  // namespace

std::shared_ptr<const disk::Volume> CMainFrame::ActivityDisk() const
{
    const std::shared_ptr<const disk::Volume> shown = context.volume.Shared();
    if (shown && recovery->VolumeFor(shown) == shown && recovery->Scanned())
        return recovery->Scanned();
    return shown;
}

bool CMainFrame::NoticeShown() const { return notice && notice->isVisible(); }

void CMainFrame::ShowNotice(const std::string& text)
{
    noticeText = QString::fromStdString(text);
    if (!notice)
        return;
    const SkinSlider& slider = GetSkin().Slider(SliderId::Position);
    const QPoint at = mapToGlobal(QPoint(slider.x, std::max(slider.y - kNoticeAboveSlider, 0)));
    notice->SetText(text);
    notice->SetPosition(at.x(), at.y());
    notice->Show();
    noticeTimer->start(kNoticeMilliseconds);
}

void CMainFrame::JumpToActivity(bool forward)
{
    if (engine.exporting.load() || !engine.IsReady() || !context.volume.IsLoaded())
        return;
    const std::shared_ptr<const disk::Volume> volume = ActivityDisk();
    const int32_t open = context.volume.OpenRecordNumber();
    if (open < 0)
        return;
    const uint32_t record = static_cast<uint32_t>(open);
    const RecordEvents* found = activity->Find(volume, record);
    if (!found) {
        // The first N of the record starts its search; any N meanwhile says
        // how far it is. Playback goes on either way.
        activity->Search(volume, record, context.volume.Shared());
        noticeFollowsSearch = true;
        ShowNotice(activity->StatusText());
        return;
    }
    if (found->failed) {
        ShowNotice("The activity search failed: " + found->failure);
        return;
    }
    const bool quad = engine.ViewMode() == PlaybackEngine::kQuadView;
    const int camera = engine.SelectedCamera();
    const bool any = std::any_of(found->events.begin(), found->events.end(),
                                 [&](const playback::ActivityEvent& e) { return OnShownCamera(e, quad, camera); });
    if (!any) {
        ShowNotice("No activity found" + CameraWords(quad, camera));
        return;
    }
    const std::optional<int64_t> target = NextEventBegin(found->events, engine.Position(), forward, quad, camera);
    if (!target || *target >= engine.Length()) {
        ShowNotice(forward ? "No later activity" + CameraWords(quad, camera)
                           : "No earlier activity" + CameraWords(quad, camera));
        return;
    }
    // A seek as the position thumb's: halted for it, playing on after it
    // in the direction it played.
    const bool wasPlaying = engine.IsPlaying();
    const bool wasReverse = wasPlaying && engine.IsReverse();
    engine.Halt();
    engine.ShowPosition(static_cast<int>(*target), true, true);
    if (wasPlaying) {
        if (wasReverse)
            engine.PlayReverse();
        else
            engine.PlayForward();
    }
    int index = 0, count = 0;
    for (const playback::ActivityEvent& e : found->events)
        if (OnShownCamera(e, quad, camera)) {
            ++count;
            if (e.begin < *target)
                ++index;
        }
    ShowNotice("Activity " + std::to_string(index + 1) + " of " + std::to_string(count) + CameraWords(quad, camera) +
               ": " + engine.StampAt(static_cast<int>(*target)).Text());
}

void CMainFrame::RefreshActivityMarks()
{
    std::vector<std::pair<int, int>> spans;
    const SkinSlider& slider = GetSkin().Slider(SliderId::Position);
    const int track = slider.trackRight - slider.trackLeft;
    const int32_t open = context.volume.OpenRecordNumber();
    const RecordEvents* found = engine.IsReady() && open >= 0 && track > 0
                                    ? activity->Find(ActivityDisk(), static_cast<uint32_t>(open))
                                    : nullptr;
    if (found) {
        const bool quad = engine.ViewMode() == PlaybackEngine::kQuadView;
        const int camera = engine.SelectedCamera();
        // As the engine places the thumb: the last position at the track's right end.
        const int64_t span = std::max(engine.Length() - 1, 1);
        for (const playback::ActivityEvent& e : found->events)
            if (OnShownCamera(e, quad, camera))
                spans.emplace_back(static_cast<int>(std::min<int64_t>(e.begin, span) * track / span),
                                   static_cast<int>(std::min<int64_t>(e.end, span) * track / span));
    }
    const bool had = !GetSkin().ActivityMarks().empty();
    GetSkin().SetActivityMarks(std::move(spans));
    if (had || !GetSkin().ActivityMarks().empty())
        GetSkin().DrawPosition(-1);
}

void CMainFrame::OnActivityChange()
{
    RefreshActivityMarks();
    if (!noticeFollowsSearch || activity->StatusText().empty())
        return;
    ShowNotice(activity->StatusText());
    if (activity->CurrentState() != ActivityEvents::State::Searching)
        noticeFollowsSearch = false;
}

std::optional<evidence::ActivityEventReport> CMainFrame::MarkedEvent()
{
    const int32_t open = context.volume.OpenRecordNumber();
    const int begin = engine.MarkBegin();
    const int end = engine.MarkEnd();
    if (!engine.IsReady() || open < 0 || begin < 0 || end < begin)
        return std::nullopt;
    const RecordEvents* found = activity->Find(ActivityDisk(), static_cast<uint32_t>(open));
    if (!found || found->failed)
        return std::nullopt;
    const bool quad = engine.ViewMode() == PlaybackEngine::kQuadView;
    const playback::ActivityEvent* e = EventHolding(found->events, begin, end, quad, engine.SelectedCamera());
    if (!e)
        return std::nullopt;
    evidence::ActivityEventReport report;
    report.record = context.volume.Shared()->RecordingName(static_cast<uint32_t>(open));
    report.camera = static_cast<uint32_t>(e->camera + 1);
    report.beginPosition = e->begin;
    report.endPosition = e->end;
    report.beginTime = engine.StampAt(static_cast<int>(e->begin)).Text();
    report.endTime = engine.StampAt(static_cast<int>(e->end)).Text();
    report.peak = e->peak;
    report.mode = playback::ActivityModeName(found->mode);
    report.parameters = found->parameters;
    return report;
}

}  // namespace ui
