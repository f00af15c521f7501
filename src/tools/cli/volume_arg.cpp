#include "tools/cli/volume_arg.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "disk/recovery_scan.h"
#include "platform/drive_table.h"
#include "tools/cli/progress_bar.h"

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
    if (volume.IsLoaded())
        return OpenRecordOption(options, volume);
    if (const auto loaded = LoadVolume(options.positional.at(0), volume); !loaded)
        return loaded.Failure();
    return OpenRecordOption(options, volume);
}

std::string RecordName(const disk::RecorderVolume& volume, uint32_t record)
{
    return volume.IsLoaded() ? volume.Shared()->RecordingName(record) : std::to_string(uint64_t(record) + 1);
}

bool IsRecoveredId(std::string_view text)
{
    if (text.size() < 2 || text.size() > 11 || (text[0] != 'u' && text[0] != 'i' && text[0] != 'c') || text[1] == '0')
        return false;
    return std::all_of(text.begin() + 1, text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

namespace {

// The recording named id in the volume the scan made, or why there is none.
platform::Result<uint32_t> FindRecovered(const std::string& id, disk::RecorderVolume& volume)
{
    // A volume scanned already keeps what its scan found.
    std::shared_ptr<const disk::Volume> recovered = volume.Shared();
    if (!recovered || !recovered->RecoveryFound()) {
        auto scanned = ScanLoadedVolume(volume);
        if (!scanned)
            return scanned.Failure();
        recovered = *scanned;
    }
    const disk::Recovery& recovery = *recovered->RecoveryFound();
    // What was found, for a refusal: the first ten ids and how many more.
    std::string found;
    const size_t count = recovery.recordings.size();
    for (size_t i = 0; i < std::min<size_t>(count, 10); ++i)
        found += (found.empty() ? "" : ", ") + recovery.recordings[i].id;
    if (count > 10)
        found += " and " + std::to_string(count - 10) + " more";
    uint32_t record = 0;
    if (!recovered->FindRecording(id, record))
        return Error{ErrorKind::NotFound, "no recovered recording " + id + " on this disk (the scan found " +
                                              (found.empty() ? std::string("none") : found) + ")"};
    volume.Attach(recovered);
    return record;
}

}  // namespace

platform::Result<std::shared_ptr<const disk::Volume>> ScanLoadedVolume(const disk::RecorderVolume& volume)
{
    const std::shared_ptr<const disk::Volume> listed = volume.Shared();
    if (!listed)
        return Error{ErrorKind::NotFound, "no disk is loaded"};
    ProgressBar bar("scan");
    disk::ScanControl control;
    control.progress = [&bar](double fraction, const std::string&) {
        bar.Update(static_cast<uint64_t>(std::clamp(fraction, 0.0, 1.0) * 1000), 1000);
    };
    auto scanned = disk::ScanForRecordings(*listed, control);
    bar.Clear();
    if (!scanned)
        return Error{scanned.Failure().kind, "the recovery scan failed: " + scanned.Detail()};
    auto recovered = disk::Volume::WithRecovery(listed, std::make_shared<const disk::Recovery>(std::move(*scanned)));
    if (!recovered)
        return Error{ErrorKind::ReadFailed, "out of memory for the recovered recordings"};
    return recovered;
}

platform::Result<uint32_t> OpenRecordOption(Options& options, disk::RecorderVolume& volume)
{
    if (!options.Has("--record"))
        return Error{ErrorKind::Refused, "--record N is required"};
    uint32_t record = 0;
    if (const auto value = options.Value("--record"); value && IsRecoveredId(*value)) {
        const auto found = FindRecovered(*value, volume);
        if (!found)
            return found.Failure();
        record = *found;
    } else {
        int64_t number = 0;
        if (!options.Number("--record", 1, volume.RecordCount(), 0, number))
            return Error{ErrorKind::Refused,
                         "record out of range: the volume has " + std::to_string(volume.RecordCount()) + " records"};
        record = static_cast<uint32_t>(number - 1);
    }
    const std::string name = RecordName(volume, record);
    if (!volume.OpenRecord(record))
        return Error{ErrorKind::ReadFailed, "cannot read the index of record " + name};
    // Said once, by every command that opens a record: what is read of a
    // damaged record is only what its index can be trusted for.
    const disk::IndexCheck& check = volume.OpenIndexCheck();
    if (check.Damaged()) {
        if (check.readableSegments == 0)
            return Error{ErrorKind::Damaged, disk::IndexCheckText(name, check)};
        std::fprintf(stderr, "quillon-cli: warning: %s\n", disk::IndexCheckText(name, check).c_str());
    }
    return record;
}

}  // namespace cli
