#pragma once
// The window outline as rectangles, and its file form: the RGNDATA record
// (32-byte header, then the rectangles; every field a 32-bit little-endian
// integer; right and bottom exclusive; y-x banded order).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class QRegion;

namespace ui {

struct ShapeRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const ShapeRect&, const ShapeRect&) = default;
};

inline constexpr std::size_t kRegionHeaderBytes = 32;
inline constexpr std::size_t kRegionRectBytes = 16;
// What the classic cache file holds at most: 510 rectangles.
inline constexpr std::size_t kClassicRegionFileBytes = 8192;
// The largest window.rgn read or written. Shapes over the classic limit are
// written whole; beyond this one they stay in memory only.
inline constexpr std::size_t kMaxRegionFileBytes = kRegionHeaderBytes + kRegionRectBytes * 65536;

std::vector<std::uint8_t> EncodeRegionData(std::span<const ShapeRect> rects);

// False on anything but a well-formed banded rectangle list: short or
// oversized data, a wrong header size or type, a count the data can't hold,
// an empty, unordered or overlapping rectangle.
bool DecodeRegionData(std::span<const std::uint8_t> bytes, std::vector<ShapeRect>& rects);

// True when the rectangles are non-empty, sorted by top then left, bands
// share top and bottom, do not overlap, and stay within +-2^24.
bool IsBanded(std::span<const ShapeRect> rects);

// A region of banded rectangles (empty list: empty region).
QRegion RegionFromRects(std::span<const ShapeRect> rects);

}  // namespace ui
