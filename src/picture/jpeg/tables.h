#pragma once
// Fixed tables of the baseline process (ITU-T T.81 annex K) and the
// scale factors of the AAN DCT.
#include <array>
#include <cstdint>

namespace picture::jpeg {

// kZigzag[i]: natural (row-major) index of the i-th coefficient in zigzag order.
extern const std::array<std::uint8_t, 64> kZigzag;

extern const std::array<std::uint8_t, 64> kStdLuminanceQuant;    // natural order
extern const std::array<std::uint8_t, 64> kStdChrominanceQuant;  // natural order

// A Huffman table as stored in a DHT segment: code counts per length 1..16
// and the symbols in code order.
struct HuffmanSpec {
    std::array<std::uint8_t, 16> counts{};
    std::array<std::uint8_t, 256> symbols{};
    int symbolCount = 0;
};

HuffmanSpec StdDcLuminance();
HuffmanSpec StdAcLuminance();
HuffmanSpec StdDcChrominance();
HuffmanSpec StdAcChrominance();

// cos(k*pi/16)*sqrt(2) for k>0, 1 for k=0.
extern const std::array<float, 8> kAanScale;

// Quantisation table scaled by quality (1..100), clamped to 1..255.
std::array<std::uint16_t, 64> ScaledQuant(const std::array<std::uint8_t, 64>& base, int quality);

}  // namespace picture::jpeg
