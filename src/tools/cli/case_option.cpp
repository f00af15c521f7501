#include "tools/cli/case_option.h"

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

}  // namespace cli
