#pragma once
// The 16,384-byte audio area at the start of each segment: 2,048 rows of 8 bytes,
// camera c in bytes 2c and 2c + 1 of each row, 16 IMA ADPCM sub-blocks per camera.
#include <array>
#include <cstdint>
#include <span>

namespace mkdisk {

inline constexpr uint32_t kAudioAreaBytes = 16384;
inline constexpr int kAudioSubBlocks = 16;
// One second as the recorder stores it: 16 sub-blocks of 505 samples. Players
// keep the first 8,000 (one second at 8 kHz).
inline constexpr int kSamplesPerSecond = 8000;
inline constexpr int kSamplesPerArea = kAudioSubBlocks * 505;  // 8,080

// Tone of each camera with sound; a click (a 2 kHz square burst) opens every second.
inline constexpr std::array<int, 4> kToneHz = {400, 550, 700, 850};
inline constexpr int kToneAmplitude = 6000;
inline constexpr int kClickSamples = 40;
inline constexpr int kClickAmplitude = 16000;

using SecondOfAudio = std::array<int16_t, kSamplesPerArea>;

// The sound recorded for `camera` in any second: sample n lies n / 8000 s into
// the second. Every tone makes whole cycles per second, so all seconds are alike
// and join without a phase jump; the last 80 samples (dropped by players) repeat
// the second's start.
void SourceAudio(int camera, SecondOfAudio& out);

// Builds the area. Cameras not in audioMask get silence: predictor 0, step index 0,
// all codes 0, which decodes to zeros.
void BuildAudioArea(uint8_t audioMask, std::span<uint8_t, kAudioAreaBytes> area);

}  // namespace mkdisk
