#include "playback/activity_search.h"

#include <algorithm>
#include <optional>

#include "playback/activity_motion.h"
#include "playback/activity_size_baseline.h"

namespace playback {

namespace {

constexpr int kCameras = 4;
// A frame this short stands for a camera without picture: nothing to measure.
constexpr uint32_t kNoPictureBytes = 100;

bool IsIntraVop(std::span<const uint8_t> f)
{
    return f.size() >= 5 && f[0] == 0 && f[1] == 0 && f[2] == 1 && f[3] == 0xB6 && (f[4] & 0xC0) == 0;
}

std::string Summary(const RecordActivity& r)
{
    return std::to_string(r.events.size()) + (r.events.size() == 1 ? " event" : " events") + " in " +
           std::to_string(r.secondsSearched) + " seconds" +
           (r.lostSeconds ? " (" + std::to_string(r.lostSeconds) + " lost)" : std::string());
}

}  // namespace

const char* ActivityModeName(ActivityMode mode) { return mode == ActivityMode::Fast ? "fast" : "exact"; }

JobOutcome SearchRecordActivity(disk::RecordReader& reader, VideoDecoder* decoder, const ActivityRequest& request,
                                JobControl& control, const ScoreSink& sink)
{
    const ActivityParameters& parameters = request.parameters;
    if (const auto valid = Validate(parameters); !valid)
        return JobOutcome::Failed(valid.Detail());
    if (reader.OpenRecordNumber() < 0)
        return JobOutcome::Failed("no record is open");
    const bool exact = request.mode == ActivityMode::Exact;
    const int32_t width = reader.OpenWidth();
    const int32_t height = reader.OpenHeight();
    if (exact) {
        if (!decoder || !decoder->IsLoaded())
            return JobOutcome::Failed("no video decoding: " + (decoder ? decoder->Failure() : std::string("none")));
        // The record table's size, from the disk: refused before any
        // picture is measured by it.
        if (width <= 0 || height <= 0 || int64_t{width} * height * 2 > int64_t{VideoDecoder::kPictureBytes})
            return JobOutcome::Failed("the picture size " + std::to_string(width) + " x " + std::to_string(height) +
                                      " is not one the decoder takes");
    }

    RecordActivity result;
    result.record = static_cast<uint32_t>(reader.OpenRecordNumber());
    const disk::RecordEntry& entry = reader.OpenRecordEntry();
    std::array<bool, kCameras> searched{};
    for (int c = 0; c < kCameras; ++c) {
        searched[size_t(c)] = request.cameras[size_t(c)] && entry.videoPresent[size_t(c)];
        result.withoutVideo[size_t(c)] = request.cameras[size_t(c)] && !entry.videoPresent[size_t(c)];
    }
    const uint32_t segments = reader.SegmentCount();
    if (segments == 0)
        return JobOutcome::Done(Summary(result), result);
    const int64_t last = request.to < 0 ? int64_t{segments} - 1 : std::min<int64_t>(request.to, segments - 1);
    const int64_t first = std::max<int64_t>(0, request.from);
    if (first > last)
        return JobOutcome::Failed("no second between " + std::to_string(first) + " and " + std::to_string(last));
    result.secondsSearched = static_cast<uint32_t>(last - first + 1);

    // Every buffer is made here, once.
    std::vector<uint8_t> frame(disk::RecordReader::kMaxFrameBytes);
    std::vector<uint8_t> picture(exact ? VideoDecoder::kPictureBytes : 0);
    const std::span<const uint8_t> pictureBytes(picture.data(), exact ? size_t(width) * size_t(height) * 2 : 0);
    std::vector<MotionModel> motion;
    std::vector<SecondTally> tallies;
    std::vector<SizeBaseline> baselines;
    for (int c = 0; c < kCameras; ++c) {
        motion.emplace_back(parameters, c);
        tallies.emplace_back(parameters);
        baselines.emplace_back(parameters);
    }
    ActivitySeconds seconds(parameters, result.record);
    std::array<int64_t, kCameras> open{-1, -1, -1, -1};  // the second each camera's measure is on

    // Ends camera c's second: its score and verdict.
    auto close = [&](int c) -> platform::Result<void> {
        const int64_t position = open[size_t(c)];
        if (position < 0)
            return {};
        open[size_t(c)] = -1;
        ActivityScore s{c, position, 0, false};
        if (exact) {
            const CameraSecond verdict = tallies[size_t(c)].End();
            s.score = verdict.peakPermille;
            s.active = verdict.active;
        } else {
            const SecondScore verdict = baselines[size_t(c)].EndSecond();
            if (!verdict.scored)
                return {};
            s.score = verdict.scoreHundredths;
            s.active = verdict.active;
        }
        if (sink)
            sink(s);
        return seconds.Add(c, position, s.score, s.active);
    };
    auto closeAll = [&]() -> platform::Result<void> {
        for (int c = 0; c < kCameras; ++c)
            if (auto closed = close(c); !closed)
                return closed;
        return {};
    };

    if (exact)
        for (int c = 0; c < kCameras; ++c)
            decoder->ReleaseChannel(c);
    reader.SelectSegment(static_cast<uint32_t>(first));
    reader.ResetFrameAssembly();
    // Each camera's frame in turn; the first group, and the first after a
    // lost second, starts at the second's intra frames so that the cameras
    // keep their order.
    int camera = 0;
    int intraLeft = kCameras;
    uint32_t reported = UINT32_MAX;
    for (;;) {
        if (control.StopRequested())
            return JobOutcome::Cancelled(
                "stopped at second " + std::to_string(reader.CurrentSegment()) + ": " + Summary(result), result);
        const uint32_t before = reader.CurrentSegment();
        if (before != reported) {
            reported = before;
            control.Report(double(std::max<int64_t>(0, int64_t{before} - first)) / double(result.secondsSearched),
                           "second " + std::to_string(before) + " of " + std::to_string(segments));
        }
        uint32_t length = 0;
        if (!reader.NextFrame(frame, length, intraLeft > 0, -1, {}, nullptr)) {
            if (!reader.FrameStoppedAtLoss())
                break;
            if (int64_t{reader.CurrentSegment()} > last)
                break;
            ++result.lostSeconds;
            if (auto closed = closeAll(); !closed)
                return JobOutcome::Failed(closed.Detail());
            // The pictures after a lost second are not the ones before it
            // moved on: each background is learnt again.
            if (exact)
                for (int c = 0; c < kCameras; ++c)
                    motion[size_t(c)] = MotionModel(parameters, c);
            camera = 0;
            intraLeft = kCameras;
            continue;
        }
        intraLeft = std::max(0, intraLeft - 1);
        ++result.frames;
        const std::span<const uint8_t> bytes(frame.data(), length);
        const bool intra = IsIntraVop(bytes);
        const uint32_t after = reader.CurrentSegment();
        const int64_t position = after != before && !intra ? before : after;
        const int c = camera;
        camera = (camera + 1) % kCameras;
        if (position > last)
            break;
        if (position < first || !searched[size_t(c)] || length <= kNoPictureBytes)
            continue;
        if (open[size_t(c)] != position) {
            if (auto closed = close(c); !closed)
                return JobOutcome::Failed(closed.Detail());
            open[size_t(c)] = position;
        }
        if (!exact) {
            baselines[size_t(c)].Feed(length, intra);
            ++result.measured;
            continue;
        }
        if (decoder->DecodeFrame(c, bytes, picture, width, height, reader.StreamHeader()) == 0)
            continue;  // no picture: nothing to measure
        const auto share = motion[size_t(c)].Feed(pictureBytes, width, height);
        if (!share)
            return JobOutcome::Failed(share.Detail());
        tallies[size_t(c)].Add(*share);
        ++result.measured;
    }
    if (auto closed = closeAll(); !closed)
        return JobOutcome::Failed(closed.Detail());
    result.events = seconds.Events(last);
    control.Report(1.0, "second " + std::to_string(last + 1) + " of " + std::to_string(segments));
    return JobOutcome::Done(Summary(result), result);
}

}  // namespace playback
