#pragma once
// Puts decoded YUY2 (or planar) pictures into a cell of a YUV 4:2:0 frame, for the
// export: the same unpack and scale steps as the window's SurfaceRenderer,
// without its conversion to RGB, so an exported cell holds the very YUV the
// window turns into its pixels. The steps work in buffers of their own
// (aligned and padded, as libswscale wants) and the result is copied row by
// row into the cell, or scaled straight into it where libswscale's whole-vector
// writes stay inside, so nothing is written outside it. Scaling contexts and
// buffers are made when the sizes change, never per picture.
//
// Threads: one caller at a time (the export worker).
#include <cstdint>
#include <memory>
#include <span>

#include "platform/yuv_planes.h"
#include "playback/view_layout.h"

struct SwsContext;

namespace playback {

class PlaneRenderer {
public:
    PlaneRenderer();
    ~PlaneRenderer();
    PlaneRenderer(const PlaneRenderer&) = delete;
    PlaneRenderer& operator=(const PlaneRenderer&) = delete;

    // picture: width x height YUY2, rows of width * 2 bytes without gaps,
    // scaled to exactly the cell (aspect ratio not kept). The cell is taken
    // within the frame, its left and top rounded down to even (chroma pairs).
    // False when the picture is malformed, the cell empty, or a scaler or
    // buffer cannot be made.
    bool Render(std::span<const uint8_t> picture, int32_t width, int32_t height, CellRect cell,
                const platform::YuvPlanes& frame);
    // As Render, for a planar 4:2:0 picture in the decoding library's layout
    // (decodeapi::PlanarPicture): the same cell, byte for byte, as the YUY2
    // picture the library would have made of it.
    bool RenderPlanar(std::span<const uint8_t> picture, int32_t width, int32_t height, CellRect cell,
                      const platform::YuvPlanes& frame);

private:
    // Scales the planes to the cell and puts them there.
    bool Place(const uint8_t* const src[4], const int srcStride[4], int32_t width, int32_t height, CellRect cell,
               const platform::YuvPlanes& frame);

    struct Work;
    std::unique_ptr<Work> work;
};

// The cell (clamped to the frame, left and top rounded down to even) filled
// with one colour.
void FillCell(const platform::YuvPlanes& frame, CellRect cell, uint8_t y, uint8_t u, uint8_t v);

// The cell as it is drawn into a frame: within it, left and top even.
CellRect FrameCell(const platform::YuvPlanes& frame, CellRect cell);

}  // namespace playback
