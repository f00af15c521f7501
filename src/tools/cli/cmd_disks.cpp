// quillon-cli disks [IMAGE...]: the drive table, as the disk dialog sizes it.
#include <cstdio>
#include <string>

#include "disk/raw_disk.h"
#include "platform/drive_table.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"

namespace cli {

namespace {

int Run(Options& options)
{
    const platform::DriveTable table = platform::DriveTable::Take(options.positional);
    const auto& drives = table.Rows();
    for (size_t i = 0; i < drives.size() && i < size_t(platform::kMaxDrives); ++i) {
        disk::RawDisk drive;
        disk::DiskGeometry geometry;
        std::string why;
        if (!drive.Open(table, static_cast<int>(i), &why) || !drive.QueryGeometry(geometry)) {
            // Left out as the disk dialog leaves it out; say why on stderr.
            std::fprintf(stderr, "quillon-cli: drive %zu (%s) cannot be opened for reading%s%s\n", i,
                         drives[i].path.c_str(), why.empty() ? "" : ": ", why.c_str());
            continue;
        }
        // The geometry product, not the byte count: what the dialog shows.
        const uint64_t bytes = uint64_t(geometry.bytesPerSector) * geometry.sectorsPerTrack *
                               geometry.tracksPerCylinder * uint64_t(geometry.cylinders);
        std::printf("%zu\t%d GBytes\t%s\n", i, static_cast<int>(bytes >> 30), drives[i].description.c_str());
    }
    return 0;
}

}  // namespace

Command DisksCommand()
{
    return {.name = "disks",
            .summary = "the drive table: number, size and name of each drive",
            .description = "The drive table: one line per drive, 'number<TAB>size<TAB>name', the size as the disk\n"
                           "dialog shows it. The images given come first (drives 0, 1, ...), then the machine's\n"
                           "whole-disk block devices.\n",
            .arguments = {{.name = "IMAGE", .optional = true, .repeatable = true}},
            .run = Run};
}

}  // namespace cli
