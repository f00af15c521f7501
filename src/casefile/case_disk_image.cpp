#include "casefile/case_disk_image.h"

#include <filesystem>
#include <system_error>

#include "casefile/case_file.h"

namespace casefile {

std::string CaseDiskImage(const std::string& casePath)
{
    const auto file = CaseFile::Open(casePath);
    if (!file)
        return {};
    const std::string& image = file->Disk().resolvedPath;
    std::error_code ec;
    if (image.empty() || !std::filesystem::is_regular_file(image, ec))
        return {};
    return image;
}

}  // namespace casefile
