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

namespace {

int Run(Options& options)
{
    const auto out = options.Value("-o");
    disk::RecorderVolume volume;
    HeadlessEngine player(false);
    if (const auto opened = player.OpenFromOptions(options, volume, "--at"); !opened)
        return Fail(opened.Detail());
    if (const auto shown = player.CheckReadPicture(*options.Value("--at"), *options.Value("--record")); !shown)
        return Fail(shown.Detail());
    const QImage picture = player.Video().Copy();
    const platform::Result<void> written = platform::WriteWholeFile(
        *out, [&](const std::string& temporary) { return picture.save(QString::fromStdString(temporary), "PNG"); });
    if (!written)
        return Fail(written.Detail());
    return 0;
}

}  // namespace

Command StillCommand()
{
    return {.name = "still",
            .summary = "the picture a seek shows in the video window, as PNG",
            .description = "The picture a seek to position S shows in the 640 x 480 video window, as PNG.\n",
            .arguments = {DeclareDisk()},
            .options = {DeclareRecord(),
                        {.name = "--at", .value = "S", .help = "the position", .required = true},
                        DeclareView(),
                        {.name = "-o", .value = "OUT.png", .help = "the file to write", .required = true}},
            .run = Run};
}

}  // namespace cli
