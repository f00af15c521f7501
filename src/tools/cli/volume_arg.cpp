#include "tools/cli/volume_arg.h"

#include <charconv>
#include <cstdio>
#include <filesystem>

#include "platform/drive_table.h"

namespace cli {

bool ResolveDrive(std::string_view diskArg, platform::DriveTable& table, int& driveNumber, std::string& error)
{
    std::error_code ec;
    const std::string path(diskArg);
    if (std::filesystem::exists(path, ec)) {
        table = platform::DriveTable::Take({path});
        driveNumber = 0;
        return true;
    }
    int number = -1;
    const auto [ptr, err] = std::from_chars(diskArg.data(), diskArg.data() + diskArg.size(), number);
    if (err == std::errc() && ptr == diskArg.data() + diskArg.size() && number >= 0 && number < platform::kMaxDrives) {
        table = platform::DriveTable::Take({});
        driveNumber = number;
        return true;
    }
    error = "no such disk image or drive: " + path;
    return false;
}

bool LoadVolume(std::string_view diskArg, disk::RecorderVolume& volume, std::string& error)
{
    platform::DriveTable table;
    int drive = -1;
    if (!ResolveDrive(diskArg, table, drive, error))
        return false;
    if (volume.Load(table, drive))
        return true;
    const std::string name(diskArg);
    switch (volume.LastLoadFailure()) {
    case disk::LoadFailure::CannotOpen: {
        const std::string& why = volume.LastOpenError();
        error = "cannot open " + name + " for reading" + (why.empty() ? "" : ": " + why);
        break;
    }
    case disk::LoadFailure::NotRecorderDisk: error = "not a recorder volume: " + name; break;
    default: error = name + ": " + std::string(disk::LoadFailureText(volume.LastLoadFailure())); break;
    }
    return false;
}

bool LoadRecord(Options& options, disk::RecorderVolume& volume, uint32_t& record, std::string& error)
{
    return LoadVolume(options.positional.at(0), volume, error) && OpenRecordOption(options, volume, record, error);
}

bool OpenRecordOption(Options& options, disk::RecorderVolume& volume, uint32_t& record, std::string& error)
{
    if (!options.Has("--record")) {
        error = "--record N is required";
        return false;
    }
    int64_t number = 0;
    if (!options.Number("--record", 1, volume.RecordCount(), 0, number)) {
        error = "record out of range: the volume has " + std::to_string(volume.RecordCount()) + " records";
        return false;
    }
    record = static_cast<uint32_t>(number - 1);
    if (!volume.OpenRecord(record)) {
        error = "cannot read the index of record " + std::to_string(number);
        return false;
    }
    // Said once, by every command that opens a record: what is read of a
    // damaged record is only what its index can be trusted for.
    const disk::IndexCheck& check = volume.OpenIndexCheck();
    if (check.Damaged()) {
        if (check.readableSegments == 0) {
            error = disk::IndexCheckText(record, check);
            return false;
        }
        std::fprintf(stderr, "quillon-cli: warning: %s\n", disk::IndexCheckText(record, check).c_str());
    }
    return true;
}

}  // namespace cli
