#pragma once
// A PCM WAV file: 16-bit mono samples at a given rate, little-endian.
#include <cstdint>
#include <span>
#include <string>

namespace cli {

bool WriteWavFile(const std::string& path, std::span<const int16_t> samples, uint32_t sampleRate, std::string& error);

}  // namespace cli
