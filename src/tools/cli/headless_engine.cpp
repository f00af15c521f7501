#include "tools/cli/headless_engine.h"

#include <QGuiApplication>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tools/cli/volume_arg.h"

namespace cli {

using platform::Error;
using platform::ErrorKind;

void EnsureGuiApplication()
{
    if (QGuiApplication::instance())
        return;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        // Qt wants a private runtime directory even with no display.
        const std::string dir = "/tmp/quillon-runtime-" + std::to_string(::getuid());
        ::mkdir(dir.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
    }
    static int argc = 1;
    static char name[] = "quillon-cli";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

HeadlessEngine::HeadlessEngine(bool soundDevice)
{
    EnsureGuiApplication();
    engine = std::make_unique<playback::PlaybackEngine>(decoder);
    engine->UseSoundDevice(soundDevice);
    engine->SetHosts(nullptr, nullptr, &mainWindow);
}

HeadlessEngine::~HeadlessEngine()
{
    engine->Halt();
    engine->KillTimer();
}

platform::Result<void> HeadlessEngine::Open(disk::RecorderVolume& volume, uint32_t record)
{
    if (!engine->Attach(&video, &volume, static_cast<int>(record), volume.LoadedDrive()))
        return Error{ErrorKind::ReadFailed, "cannot attach record " + RecordName(volume, record)};
    if (!engine->GotoStart())
        return Error{ErrorKind::Damaged, "record " + RecordName(volume, record) + " has no segment to show"};
    return {};
}

platform::Result<void> HeadlessEngine::OpenFromOptions(Options& options, disk::RecorderVolume& volume,
                                                       std::string_view positionOption)
{
    int viewMode = 0;
    int camera = 0;
    if (!ViewOption(options, viewMode, camera))
        return Error{ErrorKind::Refused, "--view takes quad or a camera number 1 to 4"};
    const auto opened = LoadRecord(options, volume);
    if (!opened)
        return opened.Failure();
    const uint32_t record = *opened;
    const uint32_t length = volume.SegmentCount();
    if (length == 0)
        return Error{ErrorKind::Damaged, "record " + RecordName(volume, record) + " has no segments"};
    int64_t at = 0;
    if (!options.Number(positionOption, 0, length - 1, 0, at))
        return Error{ErrorKind::Refused,
                     std::string(positionOption) + " must lie between 0 and " + std::to_string(length - 1)};
    if (const auto attached = Open(volume, record); !attached)
        return attached;
    if (viewMode != playback::PlaybackEngine::kQuadView)
        engine->SetView(viewMode, camera);
    if (at != 0 && !engine->ShowPosition(static_cast<int>(at), true, true))
        return Error{ErrorKind::ReadFailed, "cannot seek to position " + std::to_string(at)};
    requested = static_cast<int>(at);
    return {};
}

platform::Result<void> HeadlessEngine::CheckReadPicture(const std::string& at, const std::string& record) const
{
    if (std::string failure = engine->DecodingFailure(); !failure.empty())
        return platform::Error{platform::ErrorKind::Unsupported, std::move(failure)};
    if (!ShowsReadPicture())
        return platform::Error{platform::ErrorKind::ReadFailed,
                               "no picture could be read at position " + at + " of record " + record};
    return {};
}

bool HeadlessEngine::ShowsReadPicture() const
{
    // A seek passes over seconds it finds no picture in: a later second's
    // picture must not pass for the one asked for.
    if (engine->Position() != requested)
        return false;
    if (engine->ShownPictures() > 0)
        return true;
    for (int camera = 0; camera < playback::kCameras; ++camera)
        if (engine->IsShown(camera) && engine->HasVideo(camera))
            return false;
    return true;
}

bool ViewOption(const Options& options, int& viewMode, int& camera)
{
    const std::string text = options.Value("--view").value_or("quad");
    viewMode = playback::PlaybackEngine::kQuadView;
    camera = 0;
    if (text == "quad")
        return true;
    if (text.size() == 1 && text[0] >= '1' && text[0] <= '4') {
        viewMode = playback::PlaybackEngine::kSingleView;
        camera = text[0] - '1';
        return true;
    }
    return false;
}

}  // namespace cli
