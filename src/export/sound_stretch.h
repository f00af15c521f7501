#pragma once
// The MPEG-1 export's sound: each recorded second of 8,000 samples is
// stretched to 11,200 by inserting averaged samples at fixed places, so the
// encoder can take it at 11,200 a second in step with 30 pictures.
#include <cstddef>
#include <cstdint>
#include <span>

namespace exporter {

// Samples that StretchSound makes from `count` input samples.
std::size_t StretchedCount(std::size_t count);

// Writes the stretched samples into out and returns their number; 0, writing
// nothing, when out is smaller than StretchedCount(in.size()).
std::size_t StretchSound(std::span<const int16_t> in, std::span<int16_t> out);

}  // namespace exporter
