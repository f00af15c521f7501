#include "playback/activity_seconds.h"

#include <algorithm>
#include <tuple>

namespace playback {

SecondTally::SecondTally(const ActivityParameters& parameters)
    : sharePermille(parameters.sharePermille), minFrames(parameters.minFramesPerSecond)
{
}

void SecondTally::Add(const FrameShare& frame)
{
    if (frame.warmingUp)
        return;
    ++current.frames;
    current.peakPermille = std::max(current.peakPermille, frame.Permille());
    if (frame.Reaches(sharePermille))
        ++current.framesReaching;
}

CameraSecond SecondTally::End()
{
    CameraSecond ended = current;
    ended.active = ended.framesReaching >= minFrames;
    current = {};
    return ended;
}

ActivitySeconds::ActivitySeconds(const ActivityParameters& parameters, uint32_t record)
    : gap(parameters.gapSeconds), before(parameters.beforeSeconds), after(parameters.afterSeconds),
      minEvent(parameters.minEventSeconds), record(record)
{
}

platform::Result<void> ActivitySeconds::Add(int camera, int64_t position, uint32_t score, bool isActive)
{
    if (camera < 0 || camera >= static_cast<int>(active.size()))
        return platform::Error{platform::ErrorKind::Refused,
                               "There is no camera " + std::to_string(camera + 1) + "; cameras are 1 to 4."};
    if (position < 0)
        return platform::Error{platform::ErrorKind::Refused,
                               "A second at position " + std::to_string(position) + " is before the record's start."};
    if (isActive)
        active[static_cast<std::size_t>(camera)].push_back({position, score});
    return {};
}

uint64_t ActivitySeconds::ActiveSeconds() const
{
    uint64_t count = 0;
    for (const auto& seconds : active) {
        std::vector<int64_t> positions;
        positions.reserve(seconds.size());
        for (const Active& a : seconds)
            positions.push_back(a.position);
        std::sort(positions.begin(), positions.end());
        count += static_cast<uint64_t>(std::unique(positions.begin(), positions.end()) - positions.begin());
    }
    return count;
}

std::vector<ActivityEvent> ActivitySeconds::Events(int64_t lastPosition) const
{
    std::vector<ActivityEvent> events;
    for (std::size_t camera = 0; camera < active.size(); ++camera) {
        std::vector<Active> seconds = active[camera];
        std::sort(seconds.begin(), seconds.end(),
                  [](const Active& a, const Active& b) { return a.position < b.position; });
        std::size_t i = 0;
        while (i < seconds.size()) {
            // One run: active seconds each at most gap seconds after the last.
            const int64_t first = seconds[i].position;
            int64_t last = first;
            uint32_t peak = seconds[i].score;
            std::size_t j = i + 1;
            while (j < seconds.size() && seconds[j].position - last - 1 <= static_cast<int64_t>(gap)) {
                last = seconds[j].position;
                peak = std::max(peak, seconds[j].score);
                ++j;
            }
            i = j;
            if (last - first + 1 < static_cast<int64_t>(minEvent) || first > lastPosition)
                continue;
            ActivityEvent event{record, static_cast<int>(camera), std::max<int64_t>(0, first - before),
                                std::min(lastPosition, last > INT64_MAX - after ? INT64_MAX : last + after), peak};
            if (!events.empty() && events.back().camera == event.camera && event.begin <= events.back().end + 1) {
                events.back().end = std::max(events.back().end, event.end);
                events.back().peak = std::max(events.back().peak, event.peak);
            } else {
                events.push_back(event);
            }
        }
    }
    return events;
}

std::string CanonicalText(std::span<const ActivityEvent> events)
{
    std::vector<ActivityEvent> ordered(events.begin(), events.end());
    std::sort(ordered.begin(), ordered.end(), [](const ActivityEvent& a, const ActivityEvent& b) {
        return std::tie(a.record, a.camera, a.begin, a.end, a.peak) <
               std::tie(b.record, b.camera, b.begin, b.end, b.peak);
    });
    std::string text;
    for (const ActivityEvent& e : ordered)
        text += std::to_string(e.record) + " " + std::to_string(e.camera + 1) + " " + std::to_string(e.begin) + " " +
                std::to_string(e.end) + " " + std::to_string(e.peak) + "\n";
    return text;
}

}  // namespace playback
