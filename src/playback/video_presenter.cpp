#include "playback/video_presenter.h"

#include "platform/window_surface.h"

namespace playback {

VideoPresenter::~VideoPresenter() { Release(); }

void VideoPresenter::Release()
{
    std::lock_guard guard(presentLock);
    renderer.reset();
}

int VideoPresenter::Present(platform::WindowSurface* window, int viewMode, const std::array<CellRect, kCameras>& cells,
                            int camera, std::span<const uint8_t> picture, int32_t width, int32_t height)
{
    if (!window || camera < 0 || camera >= kCameras)
        return 0;
    std::lock_guard guard(presentLock);
    if (!renderer)
        renderer = std::make_unique<SurfaceRenderer>();
    // A failed binding (say, a window without area yet) is tried again at
    // the next picture rather than given up for good.
    if (renderer->Window() != window && renderer->Create(window) != 0)
        return 0;
    if (viewMode == kQuadView)
        return renderer->Present(picture, width, height, cells[camera]);
    return renderer->PresentZoomed(picture, width, height, CellRect{0, 0, window->Width(), window->Height()}, zoom);
}

void VideoPresenter::SetZoom(const ViewZoom& newZoom)
{
    std::lock_guard guard(presentLock);
    zoom = newZoom;
}

ViewZoom VideoPresenter::Zoom()
{
    std::lock_guard guard(presentLock);
    return zoom;
}

}  // namespace playback
