// quillon-cli records DISK: the record table as the record list shows it.
#include <cstdio>
#include <string>

#include "disk/recorder_volume.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"

namespace cli {
namespace {

std::string CameraList(const std::array<uint8_t, disk::kChannelFlags>& present)
{
    std::string list;
    for (int camera = 0; camera < 4; ++camera) {
        if (!present[camera])
            continue;
        if (!list.empty())
            list += ',';
        list += std::to_string(camera + 1);
    }
    return list.empty() ? "-" : list;
}

int Run(Options& options)
{
    disk::RecorderVolume volume;
    if (const auto loaded = LoadVolume(options.positional[0], volume); !loaded)
        return Fail(loaded.Detail());

    std::printf("No.\tRecord\tBegin Time\tEnd Time\tSegments\tSize\tFPS\tVideo\tAudio\n");
    disk::RecordTime begin;
    uint32_t segments = 0;
    uint32_t index = 0;
    for (bool more = volume.FirstRecord(begin, segments); more; more = volume.NextRecord(begin, segments), ++index) {
        const disk::RecordEntry& entry = volume.Record(index);
        const disk::RecordTime end = disk::RecordEndTime(begin, segments);
        std::printf("%u\t%c\t%s\t%s\t%u\t%dx%d\t%d\t%s\t%s\n", index + 1, disk::KindLetter(entry.kind),
                    disk::FormatRecordTime(begin).c_str(), disk::FormatRecordTime(end).c_str(), segments, entry.width,
                    entry.height, entry.frameRate, CameraList(entry.videoPresent).c_str(),
                    CameraList(entry.audioPresent).c_str());
    }
    // The table stays as the record list shows it, for scripts; a damaged
    // record is named once on stderr, as the record list marks it.
    for (uint32_t r = 0; r < index; ++r) {
        disk::IndexCheck check;
        if (!volume.CheckRecordIndex(r, check))
            std::fprintf(stderr, "quillon-cli: warning: record %u is damaged: its index cannot be read\n", r + 1);
        else if (check.Damaged())
            std::fprintf(stderr, "quillon-cli: warning: %s\n", disk::IndexCheckText(r, check).c_str());
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace

Command RecordsCommand()
{
    return {.name = "records",
            .summary = "the record table, as the record list shows it",
            .description = "The record table as the record list shows it: a heading line, then per record its\n"
                           "number, kind, begin and end time, segments (seconds), picture size, pictures a second,\n"
                           "and the cameras with video and with sound.\n",
            .arguments = {DeclareDisk()},
            .run = Run};
}

}  // namespace cli
