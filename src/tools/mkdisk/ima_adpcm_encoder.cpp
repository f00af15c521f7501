#include "tools/mkdisk/ima_adpcm_encoder.h"

#include <algorithm>
#include <cstdlib>

namespace mkdisk {

int ImaDecodeStep(ImaState& state, int code)
{
    const int step = kImaStepTable[state.index];
    int diff = step >> 3;
    if (code & 1)
        diff += step >> 2;
    if (code & 2)
        diff += step >> 1;
    if (code & 4)
        diff += step;
    if (code & 8)
        diff = -diff;
    state.predictor = std::clamp(state.predictor + diff, -32768, 32767);
    state.index = std::clamp(state.index + kImaIndexTable[code & 7], 0, 88);
    return state.predictor;
}

int ImaEncodeStep(ImaState& state, int sample)
{
    // Of the eight magnitudes with the right sign, take the one whose decoded
    // value lands nearest; the classic bit-by-bit choice can be off by one code.
    const int sign = sample < state.predictor ? 8 : 0;
    int best = sign;
    int bestError = -1;
    for (int magnitude = 0; magnitude < 8; ++magnitude) {
        ImaState trial = state;
        const int value = ImaDecodeStep(trial, sign | magnitude);
        const int error = std::abs(value - sample);
        if (bestError < 0 || error < bestError) {
            bestError = error;
            best = sign | magnitude;
        }
    }
    ImaDecodeStep(state, best);
    return best;
}

ImaSubBlock EncodeSubBlock(std::span<const int16_t, kSubBlockSamples> samples, int& index)
{
    ImaSubBlock block;
    block.predictor = samples[0];
    block.stepIndex = static_cast<uint8_t>(std::clamp(index, 0, 88));
    ImaState state{samples[0], block.stepIndex};
    for (int i = 0; i < kSubBlockCodeBytes; ++i) {
        const int low = ImaEncodeStep(state, samples[1 + 2 * i]);
        const int high = ImaEncodeStep(state, samples[2 + 2 * i]);
        block.codes[i] = static_cast<uint8_t>(low | (high << 4));
    }
    index = state.index;
    return block;
}

}  // namespace mkdisk
