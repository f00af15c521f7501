// quillon-cli convert: a BMP or JPEG picture read the way the program reads
// skin pictures, written as BMP (optionally watermarked) or as the JPEG a
// snapshot would write.
#include <string>

#include "export/image_convert.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"

namespace cli {

namespace {

int Run(Options& options)
{
    int64_t quality = 0;
    if (!options.Number("--quality", 1, 100, 70, quality))
        return Fail(options.error);
    exporter::ConvertOptions convert;
    convert.quality = static_cast<int>(quality);
    convert.watermark = options.Has("--watermark");
    if (const auto converted = exporter::ConvertImage(options.positional[0], options.positional[1], convert);
        !converted)
        return Fail(converted.Detail());
    return 0;
}

}  // namespace

Command ConvertCommand()
{
    return {.name = "convert",
            .summary = "a BMP or JPEG picture written as BMP or as a snapshot's JPEG",
            .description = "A BMP or JPEG picture read as the program reads skin pictures, written as BMP or as\n"
                           "the JPEG a snapshot writes (by OUT's extension).\n",
            .arguments = {{"IN"}, {"OUT"}},
            .options = {{"--quality", "Q", "JPEG quality 1 to 100 (default 70)"},
                        {"--watermark", "", "add the snapshot watermark"}},
            .run = Run};
}

}  // namespace cli
