#include "tools/cli/volume_arg.h"

#include <charconv>
#include <filesystem>

#include "platform/drive_table.h"

namespace cli {

bool ResolveDrive(std::string_view diskArg, int& driveNumber, std::string& error)
{
    std::error_code ec;
    const std::string path(diskArg);
    if (std::filesystem::exists(path, ec)) {
        platform::SetDriveImages({path});
        driveNumber = 0;
        return true;
    }
    int number = -1;
    const auto [ptr, err] = std::from_chars(diskArg.data(), diskArg.data() + diskArg.size(), number);
    if (err == std::errc() && ptr == diskArg.data() + diskArg.size() && number >= 0 && number < platform::kMaxDrives) {
        platform::SetDriveImages({});
        driveNumber = number;
        return true;
    }
    error = "no such disk image or drive: " + path;
    return false;
}

bool LoadVolume(std::string_view diskArg, disk::RecorderVolume& volume, std::string& error)
{
    int drive = -1;
    if (!ResolveDrive(diskArg, drive, error))
        return false;
    {
        disk::RawDisk probe;
        std::string why;
        if (!probe.Open(drive, &why)) {
            error = "cannot open " + std::string(diskArg) + " for reading" + (why.empty() ? "" : ": " + why);
            return false;
        }
        if (!probe.HasVolumeSignature()) {
            error = "not a recorder volume: " + std::string(diskArg);
            return false;
        }
    }
    if (!volume.Load(drive)) {
        error = "unreadable or damaged recorder volume header or record table: " + std::string(diskArg);
        return false;
    }
    return true;
}

bool LoadRecord(Options& options, disk::RecorderVolume& volume, uint32_t& record, std::string& error)
{
    return LoadVolume(options.positional.at(0), volume, error) && OpenRecordOption(options, volume, record, error);
}

bool OpenRecordOption(Options& options, disk::RecorderVolume& volume, uint32_t& record, std::string& error)
{
    if (!options.Value("--record")) {
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
    return true;
}

}  // namespace cli
