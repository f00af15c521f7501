#pragma once
// The enlarged part of the picture in the one-camera view: how much it is
// enlarged and which part is seen, in fractions of the picture, so that it
// holds for any picture size. Enlarged pictures keep the pixels the camera
// recorded (each a block of equal screen pixels) unless smooth is set.
namespace playback {

struct ViewZoom {
    static constexpr double kMaxFactor = 8.0;

    double factor = 1.0;  // 1: the whole picture
    double left = 0.0;    // the part seen: its top-left corner, fractions of the picture
    double top = 0.0;
    bool smooth = false;

    bool Whole() const { return factor <= 1.0; }
    bool operator==(const ViewZoom&) const = default;
};

// Enlarged to `factor` (limited to 1 .. kMaxFactor) keeping the picture's
// point under (x, y), fractions of the view, where it is.
ViewZoom ZoomAbout(const ViewZoom& zoom, double factor, double x, double y);
// Moved with the pointer by (dx, dy), fractions of the view.
ViewZoom Pan(const ViewZoom& zoom, double dx, double dy);

}  // namespace playback
