#pragma once
// The timeline's heat strips: where each camera was active over the whole
// disk, from the activity search's fast mode (playback::ActivityHeatJob),
// run in the background at background priority with its progress, and kept
// for the volume it was made for (a later look at the same disk does not
// search again).
//
// Window thread only: the job's thread touches nothing here; the runner
// hands its calls to `receiver`'s thread. A search of a volume no longer
// shown never delivers (its calls carry their generation).
#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "disk/volume.h"
#include "playback/activity_heat_job.h"
#include "playback/job_runner.h"

namespace ui {

class TimelineActivity {
public:
    explicit TimelineActivity(playback::JobRunner::Priority priority = playback::JobRunner::Priority::Background);
    ~TimelineActivity();
    TimelineActivity(const TimelineActivity&) = delete;
    TimelineActivity& operator=(const TimelineActivity&) = delete;

    // Searches volume unless it is the one searched (or being searched);
    // another one's search stops. Null: nothing is shown.
    void Show(std::shared_ptr<const disk::Volume> volume);

    // The strips once the search is done (partial ones while it runs are
    // not shown); null before.
    const playback::ActivityHeat* Heat() const { return heat ? &*heat : nullptr; }
    // "Searching for activity: 35 %", "Activity (fast search): 12 recordings searched",
    // "The activity search failed: ..."; empty when nothing is shown.
    const std::string& StatusText() const { return status; }
    bool Searching() const { return job != 0; }

    // Called on the window thread at every change of the text or the strips.
    void OnChange(std::function<void()> listener) { changed = std::move(listener); }

private:
    void Finished(uint64_t generation, const playback::JobOutcome& outcome);

    QObject receiver;  // before the runner, which joins its job first
    playback::JobRunner runner;
    playback::JobId job = 0;
    uint64_t generation = 0;
    std::shared_ptr<const disk::Volume> volume;
    std::optional<playback::ActivityHeat> heat;
    std::string status;
    int percent = -1;
    std::function<void()> changed;
};

}  // namespace ui
