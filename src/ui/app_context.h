#pragma once
// The program's process-wide state, made before the application object and
// gone after it, members in this order: where the program lives, the drive
// and record last chosen, the recorder volume, the skin and the decoder.
#include <string>

#include "disk/recorder_volume.h"
#include "playback/video_decoder.h"
#include "ui/skin.h"

namespace ui {

struct AppContext {
    // appDirectory: the executable's directory (skin, Tooltip.ini and the
    // decoding library are found there).
    explicit AppContext(std::string appDirectory);
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    std::string appDirectory;
    int currentDrive = -1;
    int currentRecord = -1;
    disk::RecorderVolume volume;
    Skin skin;
    playback::VideoDecoder decoder;
};

}  // namespace ui
