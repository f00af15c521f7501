#pragma once
#include <array>
#include <cstdint>

namespace playback {

// A rectangle of the video window, right and bottom exclusive.
struct CellRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const CellRect&) const = default;
};

constexpr int kCameras = 4;

// The quad view of a width x height window: camera n in cell n, top left,
// top right, bottom left, bottom right. Halves are truncated, so an odd last
// column or row belongs to no cell.
inline std::array<CellRect, kCameras> QuadCells(int32_t width, int32_t height)
{
    const int32_t w = width / 2;
    const int32_t h = height / 2;
    return {CellRect{0, 0, w, h}, CellRect{w, 0, 2 * w, h}, CellRect{0, h, w, 2 * h}, CellRect{w, h, 2 * w, 2 * h}};
}

}  // namespace playback
