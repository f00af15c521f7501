#include "playback/view_zoom.h"

#include <algorithm>
#include <cmath>

namespace playback {

namespace {

// The part seen stays inside the picture.
ViewZoom Clamped(ViewZoom zoom)
{
    if (!std::isfinite(zoom.factor) || zoom.factor <= 1.0) {
        zoom.factor = 1.0;
        zoom.left = zoom.top = 0.0;
        return zoom;
    }
    zoom.factor = std::min(zoom.factor, ViewZoom::kMaxFactor);
    const double span = 1.0 / zoom.factor;
    zoom.left = std::isfinite(zoom.left) ? std::clamp(zoom.left, 0.0, 1.0 - span) : 0.0;
    zoom.top = std::isfinite(zoom.top) ? std::clamp(zoom.top, 0.0, 1.0 - span) : 0.0;
    return zoom;
}

}  // namespace

ViewZoom ZoomAbout(const ViewZoom& zoom, double factor, double x, double y)
{
    const double oldSpan = 1.0 / zoom.factor;
    const double pointX = zoom.left + x * oldSpan;
    const double pointY = zoom.top + y * oldSpan;
    ViewZoom next = zoom;
    next.factor = std::clamp(std::isfinite(factor) ? factor : 1.0, 1.0, ViewZoom::kMaxFactor);
    const double span = 1.0 / next.factor;
    next.left = pointX - x * span;
    next.top = pointY - y * span;
    return Clamped(next);
}

ViewZoom Pan(const ViewZoom& zoom, double dx, double dy)
{
    ViewZoom next = zoom;
    next.left -= dx / zoom.factor;
    next.top -= dy / zoom.factor;
    return Clamped(next);
}

}  // namespace playback
