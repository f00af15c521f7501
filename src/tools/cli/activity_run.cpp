#include "tools/cli/activity_run.h"

#include <any>
#include <cstdio>
#include <memory>

#include "disk/timeline.h"
#include "tools/cli/progress_bar.h"
#include "tools/cli/volume_arg.h"

namespace cli {
namespace {

// A position's time: the recorder's clock, or the id and position when the
// recording's time was not recorded.
std::string TimeAt(const disk::RecordReader& reader, int64_t position)
{
    if (const auto begin = disk::ToClockSeconds(reader.OpenRecordTime());
        begin && reader.Shared()->TimeRecorded(uint32_t(reader.OpenRecordNumber())))
        return disk::FormatClockTime(disk::SecondAt(*begin, uint32_t(position)));
    return reader.StampAt(position).Text(disk::StampStyle::List);
}

}  // namespace

platform::Result<std::vector<SearchedRecord>> SearchRecords(disk::RecorderVolume& volume,
                                                            const std::vector<uint32_t>& records,
                                                            const playback::ActivityRequest& request,
                                                            bool perSecondLines)
{
    using platform::Error;
    using platform::ErrorKind;
    std::unique_ptr<playback::VideoDecoder> decoder;
    if (request.mode == playback::ActivityMode::Exact) {
        decoder = std::make_unique<playback::VideoDecoder>();
        if (!decoder->IsLoaded())
            return Error{ErrorKind::Refused, "no video decoding: " + decoder->Failure()};
    }
    std::vector<SearchedRecord> searched;
    ProgressBar bar("activity");
    for (size_t i = 0; i < records.size(); ++i) {
        const uint32_t record = records[i];
        const std::string name = RecordName(volume, record);
        if (volume.OpenRecordNumber() != int32_t(record) && !volume.OpenRecord(record)) {
            bar.Clear();
            std::fprintf(stderr, "quillon-cli: record %s cannot be opened: left out\n", name.c_str());
            continue;
        }
        playback::JobControl control([&](playback::JobProgress p) {
            bar.Update(uint64_t((double(i) + p.fraction) * 1000), uint64_t(records.size()) * 1000);
        });
        const auto outcome = playback::SearchRecordActivity(
            volume, decoder.get(), request, control, [&](const playback::ActivityScore& s) {
                if (!perSecondLines)
                    return;
                bar.Clear();
                std::printf("second\t%s\t%d\t%lld\t%u\n", name.c_str(), s.camera + 1,
                            static_cast<long long>(s.position), s.score);
            });
        if (outcome.status != playback::JobOutcome::Status::Done) {
            bar.Clear();
            return Error{ErrorKind::Refused, "record " + name + ": " + outcome.text};
        }
        SearchedRecord s{name, std::any_cast<playback::RecordActivity>(outcome.value), {}, {}};
        for (const playback::ActivityEvent& e : s.activity.events) {
            s.beginTimes.push_back(TimeAt(volume, e.begin));
            s.endTimes.push_back(TimeAt(volume, e.end));
        }
        for (int c = 0; c < 4; ++c)
            if (s.activity.withoutVideo[size_t(c)]) {
                bar.Clear();
                std::fprintf(stderr, "quillon-cli: record %s: camera %d has no video: left out\n", name.c_str(), c + 1);
            }
        searched.push_back(std::move(s));
    }
    bar.Clear();
    return searched;
}

std::vector<evidence::ActivityDocumentEvent> DocumentEvents(const std::vector<SearchedRecord>& searched)
{
    std::vector<evidence::ActivityDocumentEvent> events;
    for (const SearchedRecord& s : searched)
        for (const playback::ActivityEvent& e : s.activity.events)
            events.push_back({s.name, uint32_t(e.camera + 1), e.begin, e.end, e.peak});
    return events;
}

platform::Result<playback::ActivityRequest> RequestOf(const evidence::ActivityDocument& document)
{
    playback::ActivityRequest request;
    request.mode = document.mode == "fast" ? playback::ActivityMode::Fast : playback::ActivityMode::Exact;
    request.cameras = {false, false, false, false};
    for (const uint32_t c : document.cameras)
        request.cameras[size_t(c - 1)] = true;
    request.from = document.from;
    request.to = document.to;
    playback::ActivityParameters& p = request.parameters;
    const auto& n = document.numbers;
    p.sharePermille = n.at("share_permille");
    p.minFramesPerSecond = n.at("min_frames_per_second");
    p.learningShift = n.at("learning_shift");
    p.kTenths = n.at("k_tenths");
    p.floorLevels = n.at("floor_levels");
    p.downscale = n.at("downscale");
    p.warmupFrames = n.at("warmup_frames");
    p.globalPermille = n.at("global_permille");
    p.movingCells = n.at("moving_cells");
    p.absorbFrames = n.at("absorb_frames");
    p.sizeWindow = n.at("size_window");
    p.sizeWarmupFrames = n.at("size_warmup_frames");
    p.scoreHundredths = n.at("score_hundredths");
    p.gapSeconds = n.at("gap_seconds");
    p.beforeSeconds = n.at("before_seconds");
    p.afterSeconds = n.at("after_seconds");
    p.minEventSeconds = n.at("min_event_seconds");
    for (size_t c = 0; c < 4; ++c) {
        const auto& r = document.regions[c];
        p.regions[c] = {int32_t(r[0]), int32_t(r[1]), int32_t(r[2]), int32_t(r[3])};
    }
    if (const auto valid = playback::Validate(p); !valid)
        return valid.Failure();
    return request;
}

}  // namespace cli
