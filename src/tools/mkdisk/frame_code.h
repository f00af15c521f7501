#pragma once
// The frame code: a band of 32 black/white cells across the picture that names
// camera, second and frame. Cells are fractions of the picture, so the code reads
// back from the record's own picture size or from any scaled copy of it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "tools/mkdisk/yuv_view.h"

namespace mkdisk {

struct FrameCode {
    int camera = 0;       // 0..3
    uint32_t second = 0;  // second of the record, modulo 65,536
    int frame = 0;        // frame of the camera within the second, 0..31
    bool operator==(const FrameCode&) const = default;
};

inline constexpr int kFrameCodeCells = 32;
// The band's rows, as fractions of the picture height.
inline constexpr double kFrameCodeTop = 0.80;
inline constexpr double kFrameCodeBottom = 0.90;

// Cell values, cell 0 first (true = white).
uint32_t FrameCodeBits(const FrameCode& code);

void DrawFrameCode(const Yuv420View& pic, const FrameCode& code);

// Reads the code back through a luma sampler (0..255 at pixel x, y of a
// width × height picture). Empty when the band is unreadable or its check fails.
using LumaAt = std::function<int(int x, int y)>;
std::optional<FrameCode> DecodeFrameCode(int width, int height, const LumaAt& luma);

// Convenience forms for the picture layouts that tests meet.
std::optional<FrameCode> DecodeFrameCodeLuma(const uint8_t* y, int width, int height, size_t stride);
// YUY2 (Y0 U Y1 V), rows of width × 2 bytes without gaps.
std::optional<FrameCode> DecodeFrameCodeYuy2(const uint8_t* yuy2, int width, int height);
// Packed RGB or BGR (3 or 4 bytes a pixel), any size: a scaled copy reads the same.
std::optional<FrameCode> DecodeFrameCodeRgb(const uint8_t* rgb, int width, int height, size_t stride,
                                            int bytesPerPixel);

}  // namespace mkdisk
