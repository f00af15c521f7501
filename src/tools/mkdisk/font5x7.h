#pragma once
// A 5 × 7 dot font for digits and the separators of dates and times.
#include <array>
#include <cstdint>

namespace mkdisk {

// Rows top first; bit 4 is the leftmost dot. Unknown characters give a blank.
const std::array<uint8_t, 7>& Glyph5x7(char c);

}  // namespace mkdisk
