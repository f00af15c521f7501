#include "tools/cli/commands.h"

#include <cstdio>
#include <string>

namespace cli {

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {"disks", "disks [IMAGE...]", RunDisks},
        {"records", "records DISK", RunRecords},
        {"timeline", "timeline DISK", RunTimeline},
        {"locate", "locate DISK \"YYYY-MM-DD HH:MM:SS\"", RunLocate},
        {"audio", "audio DISK --record N --camera C [--from S] [--seconds K] -o OUT.wav", RunAudio},
        {"frames", "frames DISK --record N [--from S] [--calls K] [--intra-first] [--audio-camera C] [--dump DIR]",
         RunFrames},
        {"play", "play DISK --record N [--from S] [--speed X] [--reverse] [--view quad|1..4] [--seconds T] [--sound]",
         RunPlay},
        {"still", "still DISK --record N --at S [--view quad|1..4] -o OUT.png", RunStill},
        {"snapshot", "snapshot DISK --record N --at S [--view quad|1..4] -o OUT.jpg|OUT.bmp", RunSnapshot},
        {"export", "export DISK --record N --from B --to E [--view quad|1..4] -o OUT.mpg|OUT.avi", RunExport},
        {"verify", "verify REPORT [--disk DISK]", RunVerify},
        {"hash", "hash DISK [--record N [--from B --to E]] [--md5]", RunHash},
        {"convert", "convert IN OUT [--quality Q] [--watermark]", RunConvert},
        {"skin-preview", "skin-preview [--skin DIR] -o OUT.png [--states]", RunSkinPreview},
    };
    return commands;
}

}  // namespace cli

static void PrintUsage(std::FILE* to)
{
    std::fprintf(to, "usage: quillon-cli COMMAND ...\n"
                     "DISK is a recorder disk image path or a drive number (0 to 9).\n"
                     "Record and camera numbers count from 1; positions from 0.\n\n");
    for (const auto& c : cli::Commands())
        std::fprintf(to, "  quillon-cli %.*s\n", static_cast<int>(c.usage.size()), c.usage.data());
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintUsage(stderr);
        return 1;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    cli::Args args(argv + 2, argv + argc);
    for (const auto& c : cli::Commands())
        if (c.name == name)
            return c.run(args);
    std::fprintf(stderr, "quillon-cli: unknown command '%s'\n", argv[1]);
    return 1;
}
