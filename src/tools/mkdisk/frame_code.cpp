#include "tools/mkdisk/frame_code.h"

#include <algorithm>
#include <cmath>

namespace mkdisk {
namespace {

// Cells: 0 white, 1 black (reference levels), 2..3 camera, 4..19 second,
// 20..24 frame, 25..30 check, 31 black.
constexpr int kCameraCell = 2;
constexpr int kSecondCell = 4;
constexpr int kFrameCell = 20;
constexpr int kCheckCell = 25;

uint32_t Payload(const FrameCode& c)
{
    return (static_cast<uint32_t>(c.camera) & 3u) | ((c.second & 0xFFFFu) << 2) |
           ((static_cast<uint32_t>(c.frame) & 31u) << 18);
}

uint32_t Check(uint32_t payload)
{
    return (payload * 0x9E3779B1u) >> 26;  // 6 bits
}

int CellLeft(int cell, int width) { return static_cast<int>(int64_t{cell} * width / kFrameCodeCells); }

}  // namespace

uint32_t FrameCodeBits(const FrameCode& code)
{
    const uint32_t payload = Payload(code);
    // Bit k of the result is cell k.
    uint32_t bits = 1u;  // cell 0 white, cell 1 black
    bits |= (payload & 3u) << kCameraCell;
    bits |= ((payload >> 2) & 0xFFFFu) << kSecondCell;
    bits |= ((payload >> 18) & 31u) << kFrameCell;
    bits |= Check(payload) << kCheckCell;
    return bits;
}

void DrawFrameCode(const Yuv420View& pic, const FrameCode& code)
{
    const int w = pic.y.width;
    const int h = pic.y.height;
    const int top = static_cast<int>(std::lround(kFrameCodeTop * h));
    const int bottom = static_cast<int>(std::lround(kFrameCodeBottom * h));
    const uint32_t bits = FrameCodeBits(code);
    for (int k = 0; k < kFrameCodeCells; ++k) {
        const Yuv level = (bits >> k) & 1u ? Yuv{235, 128, 128} : Yuv{16, 128, 128};
        FillRect(pic, CellLeft(k, w), top, CellLeft(k + 1, w), bottom, level);
    }
}

std::optional<FrameCode> DecodeFrameCode(int width, int height, const LumaAt& luma)
{
    if (width < kFrameCodeCells || height < 10)
        return std::nullopt;
    // Average the middle of each cell: half its width, the middle half of the band.
    const double bandTop = kFrameCodeTop * height;
    const double bandHeight = (kFrameCodeBottom - kFrameCodeTop) * height;
    const int y0 = static_cast<int>(bandTop + bandHeight * 0.25);
    const int y1 = std::max(y0 + 1, static_cast<int>(bandTop + bandHeight * 0.75));
    int levels[kFrameCodeCells];
    for (int k = 0; k < kFrameCodeCells; ++k) {
        const int left = CellLeft(k, width);
        const int right = CellLeft(k + 1, width);
        const int quarter = (right - left) / 4;
        const int x0 = left + quarter;
        const int x1 = std::max(x0 + 1, right - quarter);
        long sum = 0;
        long n = 0;
        for (int y = y0; y < y1 && y < height; ++y)
            for (int x = x0; x < x1 && x < width; ++x, ++n)
                sum += luma(x, y);
        levels[k] = n ? static_cast<int>(sum / n) : 0;
    }
    const int white = levels[0];
    const int black = levels[1];
    if (white - black < 64)
        return std::nullopt;
    const int threshold = (white + black) / 2;
    uint32_t bits = 0;
    for (int k = 0; k < kFrameCodeCells; ++k)
        if (levels[k] > threshold)
            bits |= 1u << k;
    if ((bits & 3u) != 1u || (bits >> 31) != 0)
        return std::nullopt;
    FrameCode code;
    code.camera = static_cast<int>((bits >> kCameraCell) & 3u);
    code.second = (bits >> kSecondCell) & 0xFFFFu;
    code.frame = static_cast<int>((bits >> kFrameCell) & 31u);
    if (((bits >> kCheckCell) & 63u) != Check(Payload(code)))
        return std::nullopt;
    return code;
}

std::optional<FrameCode> DecodeFrameCodeLuma(const uint8_t* y, int width, int height, size_t stride)
{
    return DecodeFrameCode(
        width, height, [&](int px, int py) { return y[static_cast<size_t>(py) * stride + static_cast<size_t>(px)]; });
}

std::optional<FrameCode> DecodeFrameCodeYuy2(const uint8_t* yuy2, int width, int height)
{
    const size_t stride = static_cast<size_t>(width) * 2;
    return DecodeFrameCode(width, height, [&](int px, int py) {
        return yuy2[static_cast<size_t>(py) * stride + static_cast<size_t>(px) * 2];
    });
}

std::optional<FrameCode> DecodeFrameCodeRgb(const uint8_t* rgb, int width, int height, size_t stride, int bytesPerPixel)
{
    // (c0 + 2 c1 + c2) / 4 is the same for RGB and BGR byte orders.
    return DecodeFrameCode(width, height, [&](int px, int py) {
        const uint8_t* p =
            rgb + static_cast<size_t>(py) * stride + static_cast<size_t>(px) * static_cast<size_t>(bytesPerPixel);
        return (p[0] + 2 * p[1] + p[2]) / 4;
    });
}

}  // namespace mkdisk
