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
    const std::string extension = capture::FileExtension(*out);
    if (extension != "jpg" && extension != "bmp")
        return Fail("the output name must end in .jpg or .bmp (lower case): " + *out);
    int viewMode = 0;
    int camera = 0;
    if (!ViewOption(options, viewMode, camera))
        return Fail("--view takes quad or a camera number 1 to 4");

    disk::RecorderVolume volume;
    std::string error;
    uint32_t record = 0;
    if (!LoadRecord(options, volume, record, error))
        return Fail(error);
    const uint32_t length = volume.SegmentCount();
    if (length == 0)
        return Fail("record " + std::to_string(record + 1) + " has no segments");
    int64_t at = 0;
    if (!options.Number("--at", 0, length - 1, 0, at))
        return Fail("--at must lie between 0 and " + std::to_string(length - 1));

    HeadlessEngine player;
    if (!player.Open(volume, record, error))
        return Fail(error);
    auto& engine = player.Engine();
    if (viewMode != playback::PlaybackEngine::kQuadView)
        engine.SetView(viewMode, camera);
    if (!engine.ShowPosition(static_cast<int>(at), true, true))
        return Fail("cannot seek to position " + std::to_string(at));
    const auto choose = [&out](const std::string&) { return std::optional<std::string>(*out); };
    if (!capture::TakeSnapshot(engine, choose))
        return Fail("cannot write " + *out);
    return 0;
}

}  // namespace cli
