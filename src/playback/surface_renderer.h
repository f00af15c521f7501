#pragma once
#include "playback/view_layout.h"
#include "playback/view_zoom.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct SwsContext;

namespace platform {
class WindowSurface;
}

namespace playback {

// Puts decoded YUY2 pictures into a window's backing image: scaled and
// converted (BT.601, studio range in, full range out) to exactly a target
// rectangle, aspect ratio not kept; or, without a picture, the rectangle
// filled with the no-picture colour. Scaling contexts are made once per
// pair of sizes, work buffers once per size (they only grow).
//
// The work is split in three libswscale steps because each has a fast path
// that the one-step packed-YUV scaler lacks: unpack YUY2 to planar 4:2:0
// (the decoder's chroma is 4:2:0 anyway), scale the planes, convert to RGB.
//
// Threads: not locked; the owner (the engine's presentation lock) makes one
// call at a time. The window's own lock is taken inside.
class SurfaceRenderer {
public:
    static constexpr int32_t kFailed = static_cast<int32_t>(0x80004005u);
    // RGB(100, 0, 0) as a 32-bit 0xffRRGGBB pixel.
    static constexpr uint32_t kNoPictureColour = 0xff640000u;

    SurfaceRenderer();
    ~SurfaceRenderer();
    SurfaceRenderer(const SurfaceRenderer&) = delete;
    SurfaceRenderer& operator=(const SurfaceRenderer&) = delete;

    // Binds the renderer to window: 0, or kFailed when there is no window or
    // it has no area.
    int32_t Create(platform::WindowSurface* window);
    void ReleaseAll();
    platform::WindowSurface* Window() const { return window; }

    // Draws picture (width x height YUY2, rows of width * 2 bytes without
    // gaps), or the no-picture colour when picture is empty, into target.
    // 1, or 0 when not bound, the picture is malformed or the target empty.
    int Present(std::span<const uint8_t> picture, int32_t width, int32_t height, CellRect target);
    // The part of the picture that zoom names, enlarged to fill target
    // (surface_renderer_zoom.cpp): each screen pixel the nearest picture
    // pixel, or with zoom.smooth a bilinear blend of the four nearest. The
    // whole picture (zoom.Whole()) goes through Present. 1, or 0 as Present.
    int PresentZoomed(std::span<const uint8_t> picture, int32_t width, int32_t height, CellRect target,
                      const ViewZoom& zoom);

private:
    struct Scaler;
    // Planar 4:2:0 pictures: the picture unpacked, then scaled to the target.
    // The memory only grows; the layout follows each picture's own size (a
    // wider stride than needed slows libswscale down a lot).
    struct Planes {
        int stride[4] = {};
        uint8_t* data[4] = {};
        std::size_t capacity = 0;
        std::unique_ptr<uint8_t, void (*)(void*)> memory{nullptr, nullptr};
    };

    Scaler* ScalerFor(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight);
    static bool Layout(Planes& planes, int32_t width, int32_t height);
    bool ReserveStage(int32_t width, int32_t height);
    bool Convert(std::span<const uint8_t> picture, int32_t width, int32_t height, CellRect target, uint8_t* rgb,
                 int rgbStride);

    platform::WindowSurface* window = nullptr;
    std::array<std::unique_ptr<Scaler>, 4> scalers;
    uint64_t uses = 0;
    Planes unpacked;
    Planes scaled;
    struct StageDeleter {
        void operator()(uint8_t* p) const;
    };
    std::unique_ptr<uint8_t, StageDeleter> stage;
    std::size_t stageBytes = 0;

    // The zoomed path: the whole picture in RGB at its own size, and for each
    // target column and row the picture's (and the next one's weight, 0..256,
    // for smoothing). All only grow.
    bool ReservePictureRgb(int32_t width, int32_t height);
    struct Axis {
        std::vector<int32_t> first;
        std::vector<int32_t> second;
        std::vector<uint32_t> weight;
    };
    static void MapAxis(Axis& axis, int32_t targetSize, int32_t pictureSize, double start, double span, bool smooth);
    std::unique_ptr<uint8_t, StageDeleter> pictureRgb;
    std::size_t pictureRgbBytes = 0;
    Axis columns;
    Axis rows;
};

}  // namespace playback
