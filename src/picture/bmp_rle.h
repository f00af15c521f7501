#pragma once
// Run-length encoded 8-bit BMP data (BI_RLE8), as ImageMagick and others
// write palette pictures by default.
#include <cstdint>
#include <span>

namespace picture {

inline constexpr std::uint32_t kBmpRle8 = 1;

// Expands the runs into bottom-up rows of `stride` bytes (`out` holds
// stride * height bytes; pixels the runs skip stay 0). False on data that
// would write outside the rows or ends without an end-of-picture mark
// or a complete last row.
bool DecodeBmpRle8(std::span<const std::uint8_t> data, int width, int height, std::size_t stride,
                   std::span<std::uint8_t> out);

}  // namespace picture
