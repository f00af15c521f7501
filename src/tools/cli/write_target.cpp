#include "tools/cli/write_target.h"

#include <filesystem>
#include <system_error>

namespace cli {

platform::Result<void> CheckWriteTarget(const std::string& target, std::string_view what,
                                        std::initializer_list<KeptFile> kept)
{
    using platform::Error;
    using platform::ErrorKind;
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::absolute(target, ec).parent_path();
    if (parent == "/dev" || parent.string().starts_with("/dev/"))
        return Error{ErrorKind::Refused, target + ": a " + std::string(what) + " is never written among the devices"};
    for (const KeptFile& k : kept)
        if (!k.path.empty() && std::filesystem::exists(target, ec) && std::filesystem::equivalent(target, k.path, ec))
            return Error{ErrorKind::Refused,
                         target + " is " + k.name + "; the " + std::string(what) + " is never written over it"};
    return {};
}

}  // namespace cli
