#include "tools/cli/volume_arg.h"

#include <charconv>
#include <cstdio>
#include <filesystem>

#include "platform/drive_table.h"

namespace cli {

using platform::Error;
using platform::ErrorKind;

platform::Result<ResolvedDisk> ResolveDrive(std::string_view diskArg)
{
    std::error_code ec;
    const std::string path(diskArg);
    if (std::filesystem::exists(path, ec))
        return ResolvedDisk{platform::DriveTable::Take({path}), 0};
    int number = -1;
    const auto [ptr, err] = std::from_chars(diskArg.data(), diskArg.data() + diskArg.size(), number);
    if (err == std::errc() && ptr == diskArg.data() + diskArg.size() && number >= 0 && number < platform::kMaxDrives)
        return ResolvedDisk{platform::DriveTable::Take({}), number};
    return Error{ErrorKind::NotFound, "no such disk image or drive: " + path};
}

platform::Result<void> LoadVolume(std::string_view diskArg, disk::RecorderVolume& volume)
{
    const auto disk = ResolveDrive(diskArg);
    if (!disk)
        return disk.Failure();
    if (volume.Load(disk->table, disk->driveNumber))
        return {};
    const std::string name(diskArg);
    switch (volume.LastLoadFailure()) {
    case disk::LoadFailure::CannotOpen: {
        const std::string& why = volume.LastOpenError();
        return Error{ErrorKind::ReadFailed, "cannot open " + name + " for reading" + (why.empty() ? "" : ": " + why)};
    }
    case disk::LoadFailure::NotRecorderDisk: return Error{ErrorKind::Unsupported, "not a recorder volume: " + name};
    default:
        return Error{ErrorKind::Damaged, name + ": " + std::string(disk::LoadFailureText(volume.LastLoadFailure()))};
    }
}

platform::Result<uint32_t> LoadRecord(Options& options, disk::RecorderVolume& volume)
{
    if (const auto loaded = LoadVolume(options.positional.at(0), volume); !loaded)
        return loaded.Failure();
    return OpenRecordOption(options, volume);
}

platform::Result<uint32_t> OpenRecordOption(Options& options, disk::RecorderVolume& volume)
{
    if (!options.Has("--record"))
        return Error{ErrorKind::Refused, "--record N is required"};
    int64_t number = 0;
    if (!options.Number("--record", 1, volume.RecordCount(), 0, number))
        return Error{ErrorKind::Refused,
                     "record out of range: the volume has " + std::to_string(volume.RecordCount()) + " records"};
    const uint32_t record = static_cast<uint32_t>(number - 1);
    if (!volume.OpenRecord(record))
        return Error{ErrorKind::ReadFailed, "cannot read the index of record " + std::to_string(number)};
    // Said once, by every command that opens a record: what is read of a
    // damaged record is only what its index can be trusted for.
    const disk::IndexCheck& check = volume.OpenIndexCheck();
    if (check.Damaged()) {
        if (check.readableSegments == 0)
            return Error{ErrorKind::Damaged, disk::IndexCheckText(record, check)};
        std::fprintf(stderr, "quillon-cli: warning: %s\n", disk::IndexCheckText(record, check).c_str());
    }
    return record;
}

}  // namespace cli
