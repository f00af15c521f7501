#pragma once
// IMA ADPCM encoder for the recorder's audio sub-blocks. It tracks the decoder's
// arithmetic exactly (integer steps, clamps), so what it predicts is what a
// reader decodes.
#include <array>
#include <cstdint>
#include <span>

#include "disk/ima_adpcm.h"

namespace mkdisk {

// The published step and index tables.
using disk::kImaIndexTable;
using disk::kImaStepTable;

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
