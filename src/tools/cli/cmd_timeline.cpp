// quillon-cli timeline DISK: the recorded spans in time order, the gaps
// between them, overlapping records and the totals.
#include <cstdio>
#include <string>

#include "disk/record_entry.h"
#include "disk/recorder_volume.h"
#include "disk/timeline.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"

namespace cli {
namespace {

std::string Shown(disk::ClockSeconds second) { return disk::FormatRecordTime(disk::ToRecordTime(second)); }

// The last second of [begin, end), as the record list shows a record's end.
std::string ShownLast(disk::ClockSeconds end) { return Shown(end - std::chrono::seconds{1}); }

int Run(Options& options)
{
    disk::RecorderVolume volume;
    if (const auto loaded = LoadVolume(options.positional[0], volume); !loaded)
        return Fail(loaded.Detail());

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
    return {.name = "timeline",
            .summary = "recorded spans, gaps and overlaps in time order, totals",
            .description = "The recorded spans on the recorder's clock, in time order, one line each:\n"
                           "'span begin last seconds records kinds', with a 'gap begin last seconds' line between\n"
                           "two spans; then 'overlap earlier later begin last seconds' per pair of overlapping\n"
                           "records, 'unplaced' records whose times cannot be placed, and the totals 'recorded'\n"
                           "and 'unrecorded' in seconds.\n",
            .arguments = {DeclareDisk()},
            .run = Run};
}

}  // namespace cli
