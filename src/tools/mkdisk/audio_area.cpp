#include "tools/mkdisk/audio_area.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tools/mkdisk/ima_adpcm_encoder.h"

namespace mkdisk {

void SourceAudio(int camera, SecondOfAudio& out)
{
    const double hz = kToneHz[static_cast<size_t>(camera & 3)];
    for (int n = 0; n < kSamplesPerArea; ++n) {
        double v = kToneAmplitude * std::sin(2.0 * std::numbers::pi * hz * n / kSamplesPerSecond);
        if (n < kClickSamples)
            v += (n & 2) ? -kClickAmplitude : kClickAmplitude;
        out[static_cast<size_t>(n)] = static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
    }
}

void BuildAudioArea(uint8_t audioMask, std::span<uint8_t, kAudioAreaBytes> area)
{
    std::fill(area.begin(), area.end(), uint8_t{0});
    SecondOfAudio samples;
    for (int c = 0; c < 4; ++c) {
        if (!(audioMask & (1u << c)))
            continue;
        SourceAudio(c, samples);
        int index = 40;  // near the tone's step size, so the first sub-block adapts at once
        for (int b = 0; b < kAudioSubBlocks; ++b) {
            const std::span<const int16_t, kSubBlockSamples> in(&samples[static_cast<size_t>(b) * kSubBlockSamples],
                                                                kSubBlockSamples);
            const ImaSubBlock block = EncodeSubBlock(in, index);
            // Word w of the sub-block sits in row 128 b + w, bytes 2c and 2c + 1.
            auto word = [&](int w, uint8_t first, uint8_t second) {
                const size_t row = static_cast<size_t>(b) * 128 + static_cast<size_t>(w);
                area[row * 8 + 2 * static_cast<size_t>(c)] = first;
                area[row * 8 + 2 * static_cast<size_t>(c) + 1] = second;
            };
            const auto p = static_cast<uint16_t>(block.predictor);
            word(0, static_cast<uint8_t>(p & 0xFF), static_cast<uint8_t>(p >> 8));
            word(1, block.stepIndex, 0);
            for (int w = 0; w < 126; ++w)
                word(2 + w, block.codes[static_cast<size_t>(2 * w)], block.codes[static_cast<size_t>(2 * w + 1)]);
        }
    }
}

}  // namespace mkdisk
