#include "ui/timeline_activity.h"

#include <any>
#include <cmath>

#include "ui/qt_job_delivery.h"

namespace ui {

TimelineActivity::TimelineActivity(playback::JobRunner::Priority priority) : runner(QtJobDelivery(receiver), priority)
{
}

TimelineActivity::~TimelineActivity() = default;

void TimelineActivity::Show(std::shared_ptr<const disk::Volume> shown)
{
    if (shown == volume)
        return;
    if (job != 0)
        runner.Cancel(job);
    job = 0;
    const uint64_t search = ++generation;
    volume = std::move(shown);
    heat.reset();
    percent = -1;
    status.clear();
    if (volume) {
        status = "Searching for activity: 0 %";
        playback::JobCallbacks callbacks;
        callbacks.progress = [this, search](const playback::JobProgress& p) {
            if (search != generation || job == 0)
                return;
            const int now = static_cast<int>(std::floor(p.fraction * 100));
            if (now == percent)
                return;
            percent = now;
            status = "Searching for activity: " + std::to_string(now) + " %";
            if (changed)
                changed();
        };
        callbacks.finished = [this, search](const playback::JobOutcome& outcome) { Finished(search, outcome); };
        job = runner.Start("the activity strips", playback::ActivityHeatJob(volume), std::move(callbacks));
    }
    if (changed)
        changed();
}

void TimelineActivity::Finished(uint64_t search, const playback::JobOutcome& outcome)
{
    if (search != generation)
        return;
    job = 0;
    const auto* found = std::any_cast<playback::ActivityHeat>(&outcome.value);
    if (outcome.status == playback::JobOutcome::Status::Done && found) {
        heat = *found;
        status = "Activity (fast search): " + std::to_string(found->recordings) +
                 (found->recordings == 1 ? " recording searched" : " recordings searched");
        if (found->failed > 0)
            status += ", " + std::to_string(found->failed) + " could not be read";
    } else {
        status = "The activity search failed: " + outcome.text;
    }
    if (changed)
        changed();
}

}  // namespace ui
