// quillon-cli locate DISK "YYYY-MM-DD HH:MM:SS": every record and position
// holding that second, or the nearest recorded seconds before and after.
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

void PrintPlace(const char* tag, const disk::RecorderVolume& volume, const disk::RecordPosition& at,
                disk::ClockSeconds second)
{
    std::printf("%s\t%u\t%c\t%u\t%s", tag, at.record + 1, disk::KindLetter(volume.Record(at.record).kind), at.position,
                disk::FormatRecordTime(disk::ToRecordTime(second)).c_str());
}

void PrintNearest(const char* tag, const disk::RecorderVolume& volume, const disk::NearestSecond& nearest)
{
    PrintPlace(tag, volume, nearest.at, nearest.second);
    std::printf("\t%lld\n", static_cast<long long>(nearest.distance.count()));
}

int Run(Options& options)
{
    const std::optional<disk::ClockSeconds> second = disk::ParseClockTime(options.positional[1]);
    if (!second)
        return Fail("not a time: '" + options.positional[1] + "' (give YYYY-MM-DD HH:MM:SS)");
    disk::RecorderVolume volume;
    if (const auto loaded = LoadVolume(options.positional[0], volume); !loaded)
        return Fail(loaded.Detail());

    const disk::VolumeRecords records = disk::ReadRecords(volume);
    const disk::Location location = disk::Locate(records.placed, *second);
    if (location.holders.empty() && !location.before && !location.after)
        return Fail("no record on this disk holds any second");
    for (const disk::RecordPosition& at : location.holders) {
        PrintPlace("at", volume, at, *second);
        std::printf("\n");
    }
    if (location.before)
        PrintNearest("before", volume, *location.before);
    if (location.after)
        PrintNearest("after", volume, *location.after);
    return 0;
}

}  // namespace

Command LocateCommand()
{
    return {.name = "locate",
            .summary = "the records and positions holding that second",
            .description = "Every record and position holding that second on the recorder's clock, one line\n"
                           "each: 'at record kind position time'. When none does, the nearest recorded seconds\n"
                           "'before' and 'after' it, each with its distance in seconds.\n",
            .arguments = {DeclareDisk(), {.name = "\"YYYY-MM-DD HH:MM:SS\""}},
            .run = Run};
}

}  // namespace cli
