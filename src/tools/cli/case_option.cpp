#include "tools/cli/case_option.h"

#include "tools/cli/volume_arg.h"

namespace cli {

Option DeclareCaseOption() { return {"--case", "CASE", "the case file to add this to (its disk must be DISK)"}; }

platform::Result<std::optional<casefile::CaseFile>> OpenCaseOption(Options& options, const disk::RecorderVolume& volume)
{
    const std::optional<std::string> path = options.Value("--case");
    if (!path)
        return std::optional<casefile::CaseFile>{};
    auto file = casefile::CaseFile::Open(*path);
    if (!file)
        return file.Failure();
    if (const auto same = file->CheckVolume(*volume.Shared(), options.positional.at(0)); !same)
        return same.Failure();
    return std::optional<casefile::CaseFile>(std::move(*file));
}

std::string CaseDiskArg(Options& options, const casefile::DiskIdentity& named)
{
    return options.Value("--disk").value_or(named.resolvedPath.empty() ? named.path : named.resolvedPath);
}

platform::Result<void> OpenCaseDisk(const std::string& diskArg, const casefile::CaseFile& file,
                                    disk::RecorderVolume& volume, disk::RawDisk& raw)
{
    using platform::Error;
    if (const auto loaded = LoadVolume(diskArg, volume); !loaded)
        return Error{loaded.Failure().kind, "the case's disk: " + loaded.Detail()};
    if (const auto checked = file.CheckVolume(*volume.Shared(), file.Disk().path); !checked)
        return checked;
    const auto resolved = ResolveDrive(diskArg);
    if (!resolved)
        return resolved.Failure();
    if (!raw.Open(resolved->table, resolved->driveNumber))
        return Error{platform::ErrorKind::NotFound, "cannot open " + diskArg + " for reading"};
    return {};
}

}  // namespace cli
