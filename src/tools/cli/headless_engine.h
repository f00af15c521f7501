#pragma once
// The program's playback engine with headless windows: the 640 × 480 video
// window and the 925 × 640 main window as plain images, the real decoder
// library and timer.
#include <memory>
#include <string>

#include "disk/recorder_volume.h"
#include "platform/error.h"
#include "platform/window_surface.h"
#include "playback/playback_engine.h"
#include "playback/video_decoder.h"
#include "tools/cli/options.h"

namespace cli {

// Text drawn into pictures (the time and speed read-outs, the timeline)
// needs a GUI application: one without a display, made at the first call.
void EnsureGuiApplication();

class HeadlessEngine {
public:
    static constexpr int kViewWidth = 640;
    static constexpr int kViewHeight = 480;

    // soundDevice: whether the engine opens the sound output (only playing needs it).
    explicit HeadlessEngine(bool soundDevice = true);
    ~HeadlessEngine();

    // Attach the record (from 0) and show its start in the quad view, as
    // the main window does after the record list.
    platform::Result<void> Open(disk::RecorderVolume& volume, uint32_t record);

    // DISK, --record and --view of the command's options: the record opened
    // as above, the view chosen, and the position given by positionOption
    // (from 0, default 0) shown as a seek shows it.
    platform::Result<void> OpenFromOptions(Options& options, disk::RecorderVolume& volume,
                                           std::string_view positionOption);

    // Whether the position OpenFromOptions showed holds a picture read
    // there, and why not: no decoding library, or "no picture could be read
    // at position <at> of record <record>" when the seek had to go on to a
    // later second or no shown camera with video could be read and decoded
    // (a still of it would be the no-picture colour passed off as a picture).
    platform::Result<void> CheckReadPicture(const std::string& at, const std::string& record) const;

    playback::PlaybackEngine& Engine() { return *engine; }
    platform::WindowSurface& Video() { return video; }

private:
    bool ShowsReadPicture() const;

    playback::VideoDecoder decoder;
    platform::WindowSurface video{kViewWidth, kViewHeight};
    platform::WindowSurface mainWindow{925, 640};
    std::unique_ptr<playback::PlaybackEngine> engine;
    int requested = 0;
};

// --view: "quad" (the default) or a camera number 1..4.
bool ViewOption(const Options& options, int& viewMode, int& camera);

}  // namespace cli
