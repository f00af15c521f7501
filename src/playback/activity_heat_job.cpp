#include "playback/activity_heat_job.h"

#include <algorithm>
#include <optional>
#include <string>

#include "disk/recovered_recording.h"
#include "disk/timeline.h"
#include "playback/activity_search.h"
#include "playback/job_volume.h"

namespace playback {
namespace {

// The time a recording began, when it has one on the clock.
std::optional<std::chrono::sys_seconds> BeginOf(const disk::Volume& volume, uint32_t number)
{
    if (number < volume.RecordCount())
        return number < disk::Volume::kRecordSlots ? disk::ToClockSeconds(volume.Record(number).beginTime)
                                                   : std::nullopt;
    const disk::RecoveredRecording* found = volume.Recovered(number);
    if (!found || !found->timeRecorded)
        return std::nullopt;
    return disk::ToClockSeconds(found->entry.beginTime);
}

}  // namespace

JobFunction ActivityHeatJob(std::shared_ptr<const disk::Volume> volume)
{
    return [volume = std::move(volume)](JobControl& control) -> JobOutcome {
        if (!volume)
            return JobOutcome::Failed("no disk is loaded");
        ActivityHeat heat;
        const uint32_t count = volume->RecordingCount();
        ActivityRequest request;
        request.mode = ActivityMode::Fast;
        for (uint32_t n = 0; n < count; ++n) {
            control.Report(double(n) / double(count),
                           "recording " + std::to_string(n + 1) + " of " + std::to_string(count));
            if (control.StopRequested())
                return JobOutcome::Cancelled("stopped at recording " + std::to_string(n + 1), heat);
            const std::optional<std::chrono::sys_seconds> begin = BeginOf(*volume, n);
            if (!begin)
                continue;
            const auto reader = OpenJobReader(volume, n);
            if (!reader) {
                ++heat.failed;
                continue;
            }
            // Consecutive active seconds of a camera join into one run.
            const ScoreSink sink = [&](const ActivityScore& s) {
                if (!s.active || s.camera < 0 || s.camera > 3)
                    return;
                const auto second = *begin + std::chrono::seconds{s.position};
                auto& runs = heat.runs[size_t(s.camera)];
                if (!runs.empty() && runs.back().end == second) {
                    runs.back().end = second + std::chrono::seconds{1};
                    runs.back().peak = std::max(runs.back().peak, s.score);
                } else {
                    runs.push_back({second, second + std::chrono::seconds{1}, s.score});
                }
            };
            const JobOutcome searched = SearchRecordActivity(**reader, nullptr, request, control, sink);
            if (searched.status == JobOutcome::Status::Cancelled)
                return JobOutcome::Cancelled("stopped at recording " + std::to_string(n + 1), heat);
            if (searched.status == JobOutcome::Status::Failed)
                ++heat.failed;
            else
                ++heat.recordings;
        }
        control.Report(1.0, "recording " + std::to_string(count) + " of " + std::to_string(count));
        return JobOutcome::Done(std::to_string(heat.recordings) + " recordings searched", heat);
    };
}

}  // namespace playback
