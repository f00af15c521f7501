#pragma once
#include "playback/surface_renderer.h"
#include "playback/view_layout.h"

#include <memory>
#include <mutex>
#include <span>

namespace platform {
class WindowSurface;
}

namespace playback {

// The engine's side of presentation: puts camera n's picture into its quad
// cell (quad view) or over the whole window (one-camera view). The renderer
// is made at the first picture and bound again only when the window changes;
// while it can't be bound, Present returns 0.
//
// The one-camera view may show part of the picture enlarged (SetZoom, from
// the window's thread); the quad view always shows whole pictures.
//
// Threads: the timer, the window's thread and the export worker present;
// `presentLock` makes one Present at a time and guards the renderer and zoom.
class VideoPresenter {
public:
    static constexpr int kQuadView = 1;
    static constexpr int kSingleView = 0;

    VideoPresenter() = default;
    ~VideoPresenter();
    VideoPresenter(const VideoPresenter&) = delete;
    VideoPresenter& operator=(const VideoPresenter&) = delete;

    // camera's picture (or the no-picture colour when picture is empty) into
    // window: cells[camera] when viewMode is kQuadView, else the whole window
    // at its present size. 1, or 0 when nothing could be drawn.
    int Present(platform::WindowSurface* window, int viewMode, const std::array<CellRect, kCameras>& cells, int camera,
                std::span<const uint8_t> picture, int32_t width, int32_t height);

    void Release();

    void SetZoom(const ViewZoom& newZoom);
    ViewZoom Zoom();

private:
    std::mutex presentLock;
    std::unique_ptr<SurfaceRenderer> renderer;
    ViewZoom zoom;
};

}  // namespace playback
