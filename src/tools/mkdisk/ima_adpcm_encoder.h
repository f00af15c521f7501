#pragma once
// IMA ADPCM encoder for the recorder's audio sub-blocks. It tracks the decoder's
// arithmetic exactly (integer steps, clamps), so what it predicts is what a
// reader decodes.
#include <array>
#include <cstdint>
#include <span>

namespace mkdisk {

inline constexpr std::array<int16_t, 89> kImaStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
inline constexpr std::array<int8_t, 8> kImaIndexTable = {-1, -1, -1, -1, 2, 4, 6, 8};

// Samples per sub-block: the header's predictor plus 504 coded samples.
inline constexpr int kSubBlockSamples = 505;
inline constexpr int kSubBlockCodeBytes = 252;

struct ImaState {
    int predictor = 0;
    int index = 0;
};

// Applies one code to the state as the decoder does; returns the new sample.
int ImaDecodeStep(ImaState& state, int code);

// Chooses the code for one sample and applies it to the state.
int ImaEncodeStep(ImaState& state, int sample);

// One sub-block: the predictor is samples[0] verbatim, the step index comes from
// `index` (the running index of the caller, updated on return), and the 504 codes,
// two per byte, low nibble first, go to codes.
struct ImaSubBlock {
    int16_t predictor = 0;
    uint8_t stepIndex = 0;
    std::array<uint8_t, kSubBlockCodeBytes> codes{};
};
ImaSubBlock EncodeSubBlock(std::span<const int16_t, kSubBlockSamples> samples, int& index);

}  // namespace mkdisk
