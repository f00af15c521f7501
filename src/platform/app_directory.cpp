#include "platform/app_directory.h"

#include <filesystem>
#include <system_error>

namespace platform {

const std::string& AppDirectory()
{
    static const std::string directory = [] {
        // The kernel names the executable file itself, every link resolved:
        // started as /usr/bin/quillon (a link), this is /usr/lib/quillon.
        std::error_code error;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
        return error ? std::string() : exe.parent_path().string();
    }();
    return directory;
}

}  // namespace platform
