#pragma once
// The composition shared by snapshots, printing and export: the engine's shown
// cameras scaled into the view's layout on a W x H surface, with the recorder
// time stamped on it. A snapshot makes one for a single picture; the export
// keeps one for the whole run, so its surface and scalers are made once.
//
// Threads: one caller at a time (the window's thread, or the export worker);
// the engine's pictures must not change meanwhile (the caller holds its stream
// lock or playback is halted).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "disk/position_stamp.h"

namespace platform {
class PixelPacker;
class WindowSurface;
}  // namespace platform

namespace playback {
class PlaybackEngine;
class SurfaceRenderer;
struct CellRect;
}  // namespace playback

namespace exporter {

class PictureComposer {
public:
    // Where the time goes: a snapshot's at the first shown camera's corner,
    // with a thick shadow; an export frame's once at the frame's own corner.
    enum class Stamp { FirstCamera, FrameCorner };

    PictureComposer();
    ~PictureComposer();
    PictureComposer(const PictureComposer&) = delete;
    PictureComposer& operator=(const PictureComposer&) = delete;

    // A width x height surface filled with background (0xRRGGBB), kept until
    // Release; an existing surface of that size is kept as it is. False for
    // an empty or absurd size, or when the scaler cannot be set up.
    bool Setup(int32_t width, int32_t height, uint32_t background);
    void Release();
    bool IsSetUp() const { return surface != nullptr; }

    void Fill(uint32_t background);
    // Scales each shown camera's picture into its cell (the whole view in
    // the one-camera view) and stamps time as "%d/%02d/%02d %02d:%02d:%02d".
    // Only pictures the engine decoded for the position read are used
    // (PlaybackEngine::HasPicture); any other shown cell is painted with the
    // background first, so the surface never keeps a picture of another time.
    void Compose(const playback::PlaybackEngine& engine, const disk::PositionStamp& time, Stamp stamp);
    // The surface as 24-bit blue-green-red rows `stride` bytes apart (>= 3 x
    // width; padding zeroed), top row first or bottom row first. False when
    // out is too small.
    bool CopyOut(std::span<uint8_t> out, std::size_t stride, bool bottomUp) const;

private:
    void FillCell(const playback::CellRect& cell);

    uint32_t background = 0;
    std::unique_ptr<platform::WindowSurface> surface;
    std::unique_ptr<playback::SurfaceRenderer> renderer;
    std::unique_ptr<platform::PixelPacker> packer;
};

// "2006/03/15 23:59:30", or "c1 +00:00:05" when the time is unknown: the stamp's text.
void FormatStamp(const disk::PositionStamp& stamp, char (&text)[64]);

}  // namespace exporter
