// quillon-cli still: the picture that a seek shows, saved as PNG. The seek
// is the playback engine's own, into a headless 640 x 480 video window.
#include <QImage>
#include <QString>

#include <string>

#include "platform/whole_file.h"
#include "tools/cli/commands.h"
#include "tools/cli/headless_engine.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"

namespace cli {

int RunStill(const Args& args)
{
    Options options;
    if (!options.Parse(args, {"--record", "--at", "--view", "-o"}, {}))
        return Fail(options.error);
    const auto out = options.Value("-o");
    if (options.positional.size() != 1 || !out || !options.Value("--at"))
        return Fail("usage: quillon-cli still DISK --record N --at S [--view quad|1..4] -o OUT.png");
    disk::RecorderVolume volume;
    HeadlessEngine player(false);
    std::string error;
    if (!player.OpenFromOptions(options, volume, "--at", error))
        return Fail(error);
    if (!player.ShowsReadPicture())
        return Fail("no picture could be read at position " + *options.Value("--at") + " of record " +
                    *options.Value("--record"));
    const QImage picture = player.Video().Copy();
    if (!platform::WriteWholeFile(
            *out, [&](const std::string& temporary) { return picture.save(QString::fromStdString(temporary), "PNG"); },
            error))
        return Fail(error);
    return 0;
}

}  // namespace cli
