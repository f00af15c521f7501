#pragma once
// A picture in YUV 4:2:0 (BT.601 studio range) as the export composes it and
// its encoders take it: the luma plane, then blue and red chroma at half the
// width and height (an odd side rounded up), one after the other in one
// buffer, each row exactly as wide as its plane.
#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

struct YuvPlanes {
    uint8_t* y = nullptr;
    uint8_t* u = nullptr;
    uint8_t* v = nullptr;
    int width = 0;  // luma; also the luma rows' stride
    int height = 0;
    int chromaWidth = 0;  // also the chroma rows' stride
    int chromaHeight = 0;
};

constexpr int ChromaSide(int side) { return (side + 1) / 2; }

// The bytes of such a picture; 0 for a side of 0 or less.
constexpr std::size_t YuvPlanesBytes(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    return std::size_t(width) * std::size_t(height) +
           2 * std::size_t(ChromaSide(width)) * std::size_t(ChromaSide(height));
}

// The planes of a width x height picture laid out in bytes; all null when
// bytes is too small.
inline YuvPlanes PlanesIn(std::span<uint8_t> bytes, int width, int height)
{
    const std::size_t needed = YuvPlanesBytes(width, height);
    if (needed == 0 || bytes.size() < needed)
        return {};
    YuvPlanes p;
    p.width = width;
    p.height = height;
    p.chromaWidth = ChromaSide(width);
    p.chromaHeight = ChromaSide(height);
    p.y = bytes.data();
    p.u = p.y + std::size_t(width) * std::size_t(height);
    p.v = p.u + std::size_t(p.chromaWidth) * std::size_t(p.chromaHeight);
    return p;
}

}  // namespace platform
