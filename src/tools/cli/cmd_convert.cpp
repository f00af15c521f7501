// quillon-cli convert: a BMP or JPEG picture read the way the program reads
// skin pictures, written as BMP (optionally watermarked) or as the JPEG a
// snapshot would write.
#include <string>

#include "export/image_convert.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"

namespace cli {

int RunConvert(const Args& args)
{
    Options options;
    if (!options.Parse(args, {"--quality"}, {"--watermark"}))
        return Fail(options.error);
    if (options.positional.size() != 2)
        return Fail("usage: quillon-cli convert IN OUT [--quality Q] [--watermark]");
    int64_t quality = 0;
    if (!options.Number("--quality", 1, 100, 70, quality))
        return Fail(options.error);
    ConvertOptions convert;
    convert.quality = static_cast<int>(quality);
    convert.watermark = options.Has("--watermark");
    std::string error;
    if (!ConvertImage(options.positional[0], options.positional[1], convert, error))
        return Fail(error);
    return 0;
}

}  // namespace cli
