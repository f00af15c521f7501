#include "disk/camera_timeline.h"

#include <algorithm>

#include "disk/recovered_recording.h"
#include "disk/volume.h"

namespace disk {

const char* CameraSecondName(CameraSecond kind)
{
    switch (kind) {
    case CameraSecond::Recorded: return "recorded";
    case CameraSecond::NoVideo: return "no video";
    case CameraSecond::Recovered: return "recovered";
    case CameraSecond::Overlap: return "records overlap";
    }
    return "?";
}

namespace {

// One end of a span on one camera's row: +1 where it begins, -1 after it.
struct Edge {
    int64_t at = 0;
    int video = 0;
    int noVideo = 0;
    int recovered = 0;
};

std::optional<CameraSecond> KindOf(int video, int noVideo, int recovered)
{
    if (video + noVideo > 1)
        return CameraSecond::Overlap;
    if (video == 1)
        return CameraSecond::Recorded;
    if (noVideo == 1)
        return CameraSecond::NoVideo;
    if (recovered > 0)
        return CameraSecond::Recovered;
    return std::nullopt;
}

std::vector<CameraRun> Row(std::span<const CameraSpan> spans, int camera)
{
    std::vector<Edge> edges;
    edges.reserve(spans.size() * 2);
    for (const CameraSpan& s : spans) {
        if (s.seconds == 0)
            continue;
        const int64_t begin = s.begin.time_since_epoch().count();
        const bool video = s.videoCameras >> camera & 1;
        const int v = !s.recovered && video, n = !s.recovered && !video, r = s.recovered;
        edges.push_back({begin, v, n, r});
        edges.push_back({begin + int64_t{s.seconds}, -v, -n, -r});
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.at < b.at; });
    std::vector<CameraRun> runs;
    int video = 0, noVideo = 0, recovered = 0;
    for (size_t i = 0; i < edges.size();) {
        const int64_t at = edges[i].at;
        for (; i < edges.size() && edges[i].at == at; ++i) {
            video += edges[i].video;
            noVideo += edges[i].noVideo;
            recovered += edges[i].recovered;
        }
        if (i == edges.size())
            break;
        const std::optional<CameraSecond> kind = KindOf(video, noVideo, recovered);
        if (!kind)
            continue;
        const ClockSeconds begin{std::chrono::seconds{at}}, end{std::chrono::seconds{edges[i].at}};
        if (!runs.empty() && runs.back().end == begin && runs.back().kind == *kind)
            runs.back().end = end;
        else
            runs.push_back({begin, end, *kind});
    }
    return runs;
}

}  // namespace

CameraTimeline BuildCameraTimeline(std::span<const CameraSpan> spans)
{
    CameraTimeline timeline;
    for (int c = 0; c < CameraTimeline::kCameras; ++c) {
        timeline.rows[size_t(c)] = Row(spans, c);
        const auto& row = timeline.rows[size_t(c)];
        if (row.empty())
            continue;
        if (!timeline.first || row.front().begin < *timeline.first)
            timeline.first = row.front().begin;
        if (!timeline.end || row.back().end > *timeline.end)
            timeline.end = row.back().end;
    }
    return timeline;
}

std::vector<CameraSpan> CameraSpans(const Volume& volume)
{
    std::vector<CameraSpan> spans;
    auto add = [&spans](const RecordEntry& entry, uint32_t seconds, bool recovered, uint32_t record) {
        const std::optional<ClockSeconds> begin = ToClockSeconds(entry.beginTime);
        if (!begin || seconds == 0)
            return;
        uint8_t cameras = 0;
        for (int c = 0; c < CameraTimeline::kCameras; ++c)
            cameras |= uint8_t((entry.videoPresent[size_t(c)] ? 1 : 0) << c);
        spans.push_back({*begin, seconds, cameras, recovered, record});
    };
    // The record table as the record list reads it: no slot past the table.
    const uint32_t listed = std::min(volume.RecordCount(), Volume::kRecordSlots);
    for (uint32_t r = 0; r < listed; ++r)
        add(volume.Record(r), volume.Record(r).segmentCount, false, r);
    for (uint32_t n = volume.RecordCount(); n < volume.RecordingCount(); ++n)
        if (const RecoveredRecording* found = volume.Recovered(n); found && found->timeRecorded)
            add(found->entry, found->SegmentCount(), true, n);
    return spans;
}

std::optional<SpanPosition> SpanAt(std::span<const CameraSpan> spans, ClockSeconds second)
{
    std::optional<SpanPosition> best;
    for (const CameraSpan& s : spans) {
        if (second < s.begin || second >= s.begin + std::chrono::seconds{s.seconds})
            continue;
        const SpanPosition here{s.record, static_cast<uint32_t>((second - s.begin).count()), s.recovered};
        const bool better = !best || (best->recovered && !here.recovered) ||
                            (best->recovered == here.recovered && here.record < best->record);
        if (better)
            best = here;
    }
    return best;
}

}  // namespace disk
