#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace picture::jpeg {

// Encodes a bottom-up 24-bit blue-green-red DIB (rows padded to 4 bytes) as
// baseline JFIF, YCbCr 4:2:0, at the given quality (1..100). Returns the
// number of bytes written to out, 0 on failure (including a too small out).
std::size_t EncodeJpegToMemory(std::span<std::uint8_t> out, const std::uint8_t* pixels, int width, int height,
                               int quality);

}  // namespace picture::jpeg
