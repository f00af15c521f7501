#pragma once
// 8 x 8 DCTs. Each 1-D pass runs down the eight columns at once, so that
// the compiler vectorises it; a transpose sits between the two passes.
#include <array>
#include <cstddef>
#include <cstdint>

namespace picture::jpeg {

// Index of zigzag position i in the forward DCT's output, which is transposed
// (element [u * 8 + v] holds horizontal frequency u, vertical frequency v).
extern const std::array<std::uint8_t, 64> kZigzagTransposed;

// Multipliers that turn the forward DCT's output into quantised values.
std::array<float, 64> ForwardDctMultipliers(const std::array<std::uint16_t, 64>& quant);

// Integer inverse DCT with the same arithmetic as libjpeg's "islow" method,
// so that decoded pictures match other decoders exactly. coefficients and
// quant in natural order. Writes 8 rows of 8 clamped samples, stride apart.
// Hostile values wrap around instead of overflowing.
void InverseDct(const std::int16_t* coefficients, const std::uint16_t* quant, std::uint8_t* out, std::ptrdiff_t stride);
// The sample value of a block whose only non-zero coefficient is the DC one.
std::uint8_t InverseDctDcOnly(std::int16_t dc, std::uint16_t quant);

// samples: 8 rows of 8, rows stride bytes apart. Writes the quantised
// coefficients in zigzag order.
void ForwardDct(const std::uint8_t* samples, std::ptrdiff_t stride, const float* multipliers, std::int16_t* zigzagOut);

}  // namespace picture::jpeg
