// quillon-mkdisk: writes recorder disk images for the demo and the tests.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/plan_options.h"

int main(int argc, char** argv)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    mkdisk::CommandLine cmd;
    std::string error;
    if (!mkdisk::ParseCommandLine(args, cmd, error)) {
        std::fprintf(stderr, "quillon-mkdisk: %s\n(see quillon-mkdisk --help)\n", error.c_str());
        return 2;
    }
    if (cmd.help) {
        std::fputs(mkdisk::kUsage, stdout);
        return 0;
    }
    mkdisk::Manifest manifest;
    if (!mkdisk::WriteDisk(cmd.plan, cmd.output, error, cmd.manifest.empty() ? nullptr : &manifest)) {
        std::fprintf(stderr, "quillon-mkdisk: %s\n", error.c_str());
        return 1;
    }
    if (!cmd.manifest.empty() && !mkdisk::WriteManifestText(manifest, cmd.manifest, error)) {
        std::fprintf(stderr, "quillon-mkdisk: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
