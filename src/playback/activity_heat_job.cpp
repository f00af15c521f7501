#include "playback/activity_heat_job.h"

#include <algorithm>
#include <string>
#include <vector>

#include "disk/camera_timeline.h"
#include "playback/activity_search.h"
#include "playback/job_volume.h"

namespace playback {

JobFunction ActivityHeatJob(std::shared_ptr<const disk::Volume> volume)
{
    return [volume = std::move(volume)](JobControl& control) -> JobOutcome {
        if (!volume)
            return JobOutcome::Failed("no disk is loaded");
        ActivityHeat heat;
        // The recordings on the clock, as the timeline places them.
        const std::vector<disk::CameraSpan> spans = disk::CameraSpans(*volume);
        const size_t count = spans.size();
        ActivityRequest request;
        request.mode = ActivityMode::Fast;
        for (size_t k = 0; k < count; ++k) {
            control.Report(double(k) / double(count),
                           "recording " + std::to_string(k + 1) + " of " + std::to_string(count));
            if (control.StopRequested())
                return JobOutcome::Cancelled("stopped at recording " + std::to_string(k + 1), heat);
            const uint32_t n = spans[k].record;
            const std::chrono::sys_seconds begin = spans[k].begin;
            const auto reader = OpenJobReader(volume, n);
            if (!reader) {
                ++heat.failed;
                continue;
            }
            // Consecutive active seconds of a camera join into one run.
            const ScoreSink sink = [&](const ActivityScore& s) {
                if (!s.active || s.camera < 0 || s.camera > 3)
                    return;
                const auto second = begin + std::chrono::seconds{s.position};
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
                return JobOutcome::Cancelled("stopped at recording " + std::to_string(k + 1), heat);
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
