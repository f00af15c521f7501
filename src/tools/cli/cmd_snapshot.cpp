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

int RunSnapshot(const Args& args)
{
    Options options;
    if (!options.Parse(args, {"--record", "--at", "--view", "-o"}, {}))
        return Fail(options.error);
    const auto out = options.Value("-o");
    if (options.positional.size() != 1 || !out || !options.Value("--at"))
        return Fail("usage: quillon-cli snapshot DISK --record N --at S [--view quad|1..4] -o OUT.jpg|OUT.bmp");
    const std::string extension = exporter::FileExtension(*out);
    if (extension != "jpg" && extension != "bmp")
        return Fail("the output name must end in .jpg or .bmp (lower case): " + *out);
    disk::RecorderVolume volume;
    HeadlessEngine player(false);
    std::string error;
    if (!player.OpenFromOptions(options, volume, "--at", error))
        return Fail(error);
    if (!player.ShowsReadPicture())
        return Fail("no picture could be read at position " + *options.Value("--at") + " of record " +
                    *options.Value("--record"));
    auto& engine = player.Engine();
    const auto choose = [&out](const std::string&) { return std::optional<std::string>(*out); };
    if (!exporter::TakeSnapshot(engine, choose))
        return Fail("cannot write " + *out);
    return 0;
}

}  // namespace cli
