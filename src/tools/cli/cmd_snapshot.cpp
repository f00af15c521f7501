// quillon-cli snapshot: what the "snap" button saves, for a seek. The seek
// is the engine's own, as for still; the picture is the snapshot's own
// composition and saving path, not the window's pixels.
#include <string>

#include "export/snapshot.h"
#include "tools/cli/commands.h"
#include "tools/cli/headless_engine.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"

namespace cli {

namespace {

int Run(Options& options)
{
    const auto out = options.Value("-o");
    const std::string extension = exporter::FileExtension(*out);
    if (extension != "jpg" && extension != "bmp")
        return Fail("the output name must end in .jpg or .bmp (lower case): " + *out);
    disk::RecorderVolume volume;
    HeadlessEngine player(false);
    if (const auto opened = player.OpenFromOptions(options, volume, "--at"); !opened)
        return Fail(opened.Detail());
    if (const auto shown = player.CheckReadPicture(*options.Value("--at"), *options.Value("--record")); !shown)
        return Fail(shown.Detail());
    auto& engine = player.Engine();
    const auto choose = [&out](const std::string&) { return std::optional<std::string>(*out); };
    if (!exporter::TakeSnapshot(engine, choose))
        return Fail("cannot write " + *out);
    return 0;
}

}  // namespace

Command SnapshotCommand()
{
    return {.name = "snapshot",
            .summary = "what the \"snap\" button saves after a seek, as JPEG or BMP",
            .description = "What the \"snap\" button saves after a seek to position S, as JPEG or BMP (by the\n"
                           "extension).\n",
            .arguments = {DeclareDisk()},
            .options = {DeclareRecord(),
                        {.name = "--at", .value = "S", .help = "the position", .required = true},
                        DeclareView(),
                        {.name = "-o", .value = "OUT.jpg|OUT.bmp", .help = "the file to write", .required = true}},
            .run = Run};
}

}  // namespace cli
