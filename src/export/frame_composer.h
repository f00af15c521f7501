#pragma once
// The export's composition: each frame made straight in the encoders' YUV
// 4:2:0, with no round trip through RGB. The shown cameras' pictures are
// unpacked and scaled into their cells as the window scales them
// (playback::PlaneRenderer), a shown camera without a picture decoded for
// the position gets the no-picture colour, and the recorder time is burnt
// in at the frame's corner (StampOverlay). Snapshots and printing keep their
// RGB composition (PictureComposer).
//
// Threads: one caller at a time (the export worker); the engine's pictures
// must not change meanwhile (the caller holds its stream lock).
#include <cstdint>
#include <span>

#include "disk/position_stamp.h"
#include "export/stamp_overlay.h"
#include "playback/plane_renderer.h"

namespace playback {
class PlaybackEngine;
}

namespace exporter {

class FrameComposer {
public:
    // Frames of width x height with background (0xRRGGBB) where no picture
    // is; false for an empty or absurd size.
    bool Setup(int32_t width, int32_t height, uint32_t background);
    bool IsSetUp() const { return width > 0; }
    void Release();
    // The bytes of one frame (platform/yuv_planes.h's layout).
    std::size_t FrameBytes() const { return platform::YuvPlanesBytes(width, height); }

    // The whole frame into out (FrameBytes() or more): background, the shown
    // cameras' cells, the stamp. False when out is too small.
    bool Compose(const playback::PlaybackEngine& engine, const disk::PositionStamp& time, std::span<uint8_t> out);

private:
    // Whether the shown cameras' pictures will cover the whole frame, so
    // that no background shows.
    bool PicturesCover(const playback::PlaybackEngine& engine, bool quad, const platform::YuvPlanes& frame) const;

    int32_t width = 0;
    int32_t height = 0;
    uint8_t backY = 16, backU = 128, backV = 128;
    playback::PlaneRenderer renderer;
    StampOverlay stamp;
};

}  // namespace exporter
