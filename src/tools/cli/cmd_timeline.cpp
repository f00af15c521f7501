// quillon-cli timeline DISK: the recorded spans in time order, the gaps
// between them, overlapping records and the totals; with --png, the
// timeline drawn as the window draws it.
#include <QImage>
#include <QString>

#include <cstdio>
#include <string>

#include "disk/camera_timeline.h"
#include "disk/record_entry.h"
#include "disk/recorder_volume.h"
#include "disk/timeline.h"
#include "platform/whole_file.h"
#include "tools/cli/commands.h"
#include "tools/cli/headless_engine.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"
#include "ui/timeline_picture.h"

namespace cli {
namespace {

std::string Shown(disk::ClockSeconds second) { return disk::FormatRecordTime(disk::ToRecordTime(second)); }

// The last second of [begin, end), as the record list shows a record's end.
std::string ShownLast(disk::ClockSeconds end) { return Shown(end - std::chrono::seconds{1}); }

// One line about the picture: where it went, its size and range.
int WritePicture(Options& options, const disk::RecorderVolume& volume)
{
    std::shared_ptr<const disk::Volume> shown = volume.Shared();
    if (options.Has("--recovered")) {
        auto scanned = ScanLoadedVolume(volume);
        if (!scanned)
            return Fail(scanned.Detail());
        shown = *scanned;
    }
    int64_t width = 0;
    if (!options.Number("--width", ui::TimelineLayout::kMinWidth, ui::TimelineLayout::kMaxWidth, 1200, width))
        return Fail("--width must be a number of pixels from " + std::to_string(ui::TimelineLayout::kMinWidth) +
                    " to " + std::to_string(ui::TimelineLayout::kMaxWidth));
    const std::vector<disk::CameraSpan> spans = disk::CameraSpans(*shown);
    const disk::CameraTimeline timeline = disk::BuildCameraTimeline(spans);
    ui::TimelineLayout layout = ui::WholeTimeline(timeline, int(width));
    disk::ClockSeconds from = layout.from, to = layout.to;
    for (const auto& [name, bound] : {std::pair{"--from-time", &from}, std::pair{"--to-time", &to}}) {
        if (const auto text = options.Value(name)) {
            const auto parsed = disk::ParseClockTime(*text);
            if (!parsed)
                return Fail(std::string(name) + " must be a time \"YYYY-MM-DD HH:MM:SS\", not \"" + *text + "\"");
            *bound = *parsed;
        }
    }
    // --to-time names the last second shown.
    if (options.Has("--to-time"))
        to += std::chrono::seconds{1};
    if (to <= from)
        return Fail("--to-time must not be before --from-time");
    layout = ui::MakeTimelineLayout(from, to, int(width));
    EnsureGuiApplication();
    const QImage picture = ui::DrawTimelinePicture(timeline, layout);
    const std::string out = *options.Value("--png");
    const platform::Result<void> written = platform::WriteWholeFile(
        out, [&](const std::string& temporary) { return picture.save(QString::fromStdString(temporary), "PNG"); });
    if (!written)
        return Fail(written.Detail());
    std::printf("png\t%s\t%dx%d\t%s\t%s\n", out.c_str(), picture.width(), picture.height(),
                disk::FormatClockTime(layout.from).c_str(),
                disk::FormatClockTime(layout.to - std::chrono::seconds{1}).c_str());
    return 0;
}

int Run(Options& options)
{
    disk::RecorderVolume volume;
    if (const auto loaded = LoadVolume(options.positional[0], volume); !loaded)
        return Fail(loaded.Detail());
    if (options.Has("--png"))
        return WritePicture(options, volume);

    const disk::VolumeRecords records = disk::ReadRecords(volume);
    const disk::Timeline timeline = disk::BuildTimeline(records.placed);
    // Spans and gaps alternate in time order.
    for (size_t i = 0; i < timeline.spans.size(); ++i) {
        const disk::RecordedSpan& span = timeline.spans[i];
        std::string numbers, kinds;
        for (uint32_t record : span.records) {
            numbers += (numbers.empty() ? "" : ",") + std::to_string(record + 1);
            kinds += (kinds.empty() ? "" : ",") + std::string(1, disk::KindLetter(volume.Record(record).kind));
        }
        std::printf("span\t%s\t%s\t%lld\t%s\t%s\n", Shown(span.begin).c_str(), ShownLast(span.end).c_str(),
                    static_cast<long long>((span.end - span.begin).count()), numbers.c_str(), kinds.c_str());
        if (i < timeline.gaps.size()) {
            const disk::TimeGap& gap = timeline.gaps[i];
            std::printf("gap\t%s\t%s\t%lld\n", Shown(gap.begin).c_str(), ShownLast(gap.end).c_str(),
                        static_cast<long long>((gap.end - gap.begin).count()));
        }
    }
    for (const disk::RecordOverlap& overlap : timeline.overlaps)
        std::printf("overlap\t%u\t%u\t%s\t%s\t%lld\n", overlap.earlier + 1, overlap.later + 1,
                    Shown(overlap.begin).c_str(), ShownLast(overlap.end).c_str(),
                    static_cast<long long>((overlap.end - overlap.begin).count()));
    if (timeline.overlapsNotListed > 0)
        std::printf("overlaps-not-listed\t%llu\n", static_cast<unsigned long long>(timeline.overlapsNotListed));
    for (uint32_t record : records.unplaced) {
        const disk::RecordEntry& entry = volume.Record(record);
        std::printf("unplaced\t%u\t%c\t%s\t%u\n", record + 1, disk::KindLetter(entry.kind),
                    disk::FormatRecordTime(entry.beginTime).c_str(), entry.segmentCount);
    }
    std::printf("recorded\t%lld\nunrecorded\t%lld\n", static_cast<long long>(timeline.recorded.count()),
                static_cast<long long>(timeline.unrecorded.count()));
    return 0;
}

}  // namespace

Command TimelineCommand()
{
    return {
        .name = "timeline",
        .summary = "recorded spans, gaps and overlaps in time order, totals",
        .description = "The recorded spans on the recorder's clock, in time order, one line each:\n"
                       "'span begin last seconds records kinds', with a 'gap begin last seconds' line between\n"
                       "two spans; then 'overlap earlier later begin last seconds' per pair of overlapping\n"
                       "records, 'unplaced' records whose times cannot be placed, and the totals 'recorded'\n"
                       "and 'unrecorded' in seconds.\n"
                       "With --png, the timeline drawn instead (one row per camera: recorded seconds, a record\n"
                       "without video for the camera, recovered recordings with a recorded time (with\n"
                       "--recovered, which scans the disk), overlapping records; the x axis linear in time) and\n"
                       "one line 'png OUT WIDTHxHEIGHT first last'.\n",
        .arguments = {DeclareDisk()},
        .options = {{.name = "--png", .value = "OUT.png", .help = "draw the timeline into this PNG file"},
                    {.name = "--from-time",
                     .value = "T",
                     .help = "the first second drawn (\"YYYY-MM-DD HH:MM:SS\"; default: the first recorded)",
                     .needs = "--png"},
                    {.name = "--to-time",
                     .value = "T",
                     .help = "the last second drawn (default: the last recorded)",
                     .needs = "--png"},
                    {.name = "--width", .value = "W", .help = "the picture's width in pixels (1200)", .needs = "--png"},
                    {.name = "--recovered",
                     .help = "scan the disk and draw the recovered recordings with a recorded time",
                     .needs = "--png"}},
        .run = Run};
}

}  // namespace cli
