// quillon-mkdisk: writes recorder disk images for the demo and the tests.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/plan_options.h"

// The package's version, set with the install rules (packaging/CMakeLists.txt).
#ifndef QUILLON_VERSION
#define QUILLON_VERSION "unknown"
#endif

int main(int argc, char** argv)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("quillon-mkdisk %s\n", QUILLON_VERSION);
        return 0;
    }
    mkdisk::CommandLine cmd;
    if (const auto parsed = mkdisk::ParseCommandLine(args, cmd); !parsed) {
        std::fprintf(stderr, "quillon-mkdisk: %s\n(see quillon-mkdisk --help)\n", parsed.Detail().c_str());
        return 2;
    }
    if (cmd.help) {
        std::fputs(mkdisk::kUsage, stdout);
        return 0;
    }
    mkdisk::Manifest manifest;
    if (const auto written = mkdisk::WriteDisk(cmd.plan, cmd.output, cmd.manifest.empty() ? nullptr : &manifest);
        !written) {
        std::fprintf(stderr, "quillon-mkdisk: %s\n", written.Detail().c_str());
        return 1;
    }
    if (cmd.manifest.empty())
        return 0;
    if (const auto listed = mkdisk::WriteManifestText(manifest, cmd.manifest); !listed) {
        std::fprintf(stderr, "quillon-mkdisk: %s\n", listed.Detail().c_str());
        return 1;
    }
    return 0;
}
