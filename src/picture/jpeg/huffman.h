#pragma once
// Huffman tables in the forms the decoder and the encoder use, built from the
// DHT form (counts per code length + symbols).
#include <array>
#include <cstdint>

#include "picture/jpeg/tables.h"

namespace picture::jpeg {

inline constexpr int kFastBits = 9;

struct HuffmanDecodeTable {
    // Codes of up to kFastBits bits, indexed by the next kFastBits bits of the
    // stream: (length << 8) | symbol, or 0 when the code is longer.
    std::array<std::uint16_t, 1 << kFastBits> fast{};
    // AC tables: code and magnitude bits together within kFastBits:
    // value << 16 | run << 8 | total length, or 0 when they don't fit.
    std::array<std::int32_t, 1 << kFastBits> fastAc{};
    // maxCode[l]: largest code of length l (left-aligned to l bits), -1 if none.
    std::array<std::int32_t, 18> maxCode{};
    std::array<std::int32_t, 18> valueOffset{};
    std::array<std::uint8_t, 256> symbols{};
};

// False when the counts overflow the code space or exceed 256 symbols.
// isDc: symbols above 15 are refused (magnitude categories of 8-bit data).
bool BuildDecodeTable(const HuffmanSpec& def, bool isDc, HuffmanDecodeTable& table);

struct HuffmanEncodeTable {
    std::array<std::uint16_t, 256> code{};
    std::array<std::uint8_t, 256> length{};  // 0: symbol not in the table
};

bool BuildEncodeTable(const HuffmanSpec& def, HuffmanEncodeTable& table);

// Table with code lengths of at most 16 bits from symbol frequencies
// (ITU-T T.81 K.2); no code of all ones.
HuffmanSpec OptimalSpec(const std::array<std::uint32_t, 256>& frequencies);

}  // namespace picture::jpeg
