#include "picture/jpeg/entropy_encoder.h"

#include <bit>

namespace picture::jpeg {

void JpegWriter::Drain()
{
    while (bits_ >= 8) {
        const int b = static_cast<int>((accumulator_ >> (bits_ - 8)) & 0xFF);
        Byte(b);
        if (b == 0xFF)
            Byte(0x00);
        bits_ -= 8;
    }
}

void JpegWriter::FlushBits()
{
    const int pad = (8 - bits_ % 8) % 8;
    if (pad)
        Bits((1u << pad) - 1, pad);
    Drain();
    accumulator_ = 0;
}

// Magnitude category: bits needed for |v|.
static inline int Category(int v)
{
    const unsigned a = static_cast<unsigned>(v < 0 ? -v : v);
    return a ? 32 - std::countl_zero(a) : 0;
}

// The magnitude bits of v in category s (one's complement for negatives).
static inline std::uint32_t MagnitudeBits(int v, int s)
{
    return static_cast<std::uint32_t>(v < 0 ? v - 1 : v) & ((1u << s) - 1);
}

// Bit k set when zigzag coefficient k (1..63) is non-zero: the coder then
// jumps from one non-zero coefficient to the next instead of testing all 63.
static inline std::uint64_t NonZeroMask(const std::int16_t* zigzag)
{
    std::uint64_t mask = 0;
    for (int group = 0; group < 8; ++group) {
        unsigned bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= static_cast<unsigned>(zigzag[group * 8 + i] != 0) << i;
        mask |= static_cast<std::uint64_t>(bits) << (group * 8);
    }
    return mask & ~std::uint64_t{1};
}

void CountBlock(const std::int16_t* zigzag, int& predictor, SymbolCounts& counts)
{
    const int diff = zigzag[0] - predictor;
    predictor = zigzag[0];
    ++counts.dc[Category(diff)];
    int k = 0;
    for (std::uint64_t mask = NonZeroMask(zigzag); mask; mask &= mask - 1) {
        const int next = std::countr_zero(mask);
        int run = next - k - 1;
        for (; run > 15; run -= 16)
            ++counts.ac[0xF0];
        ++counts.ac[(run << 4) | Category(zigzag[next])];
        k = next;
    }
    if (k != 63)
        ++counts.ac[0x00];
}

void EncodeBlock(const std::int16_t* zigzag, int& predictor, const HuffmanEncodeTable& dc, const HuffmanEncodeTable& ac,
                 JpegWriter& w)
{
    const int diff = zigzag[0] - predictor;
    predictor = zigzag[0];
    const int s = Category(diff);
    w.Bits((static_cast<std::uint32_t>(dc.code[s]) << s) | MagnitudeBits(diff, s), dc.length[s] + s);

    int k = 0;
    for (std::uint64_t mask = NonZeroMask(zigzag); mask; mask &= mask - 1) {
        const int next = std::countr_zero(mask);
        int run = next - k - 1;
        for (; run > 15; run -= 16)
            w.Bits(ac.code[0xF0], ac.length[0xF0]);
        const int v = zigzag[next];
        const int size = Category(v);
        const int symbol = (run << 4) | size;
        w.Bits((static_cast<std::uint32_t>(ac.code[symbol]) << size) | MagnitudeBits(v, size),
               ac.length[symbol] + size);
        k = next;
    }
    if (k != 63)
        w.Bits(ac.code[0x00], ac.length[0x00]);
}

}  // namespace picture::jpeg
