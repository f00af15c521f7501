#pragma once
// Output side of the encoder: marker segments and Huffman-coded blocks into
// a caller's buffer that is never overrun (an overflow is reported instead).
#include <array>
#include <cstddef>
#include <cstdint>

#include "picture/jpeg/huffman.h"

namespace picture::jpeg {

class JpegWriter {
public:
    JpegWriter(std::uint8_t* out, std::size_t capacity) : out_(out), capacity_(capacity) {}

    void Byte(int b)
    {
        if (pos_ < capacity_)
            out_[pos_++] = static_cast<std::uint8_t>(b);
        else
            overflow_ = true;
    }
    void U16(int v)
    {
        Byte(v >> 8);
        Byte(v & 0xFF);
    }
    void Marker(int m)
    {
        Byte(0xFF);
        Byte(m);
    }

    // Entropy-coded bits, with 0xFF bytes stuffed. len <= 32.
    void Bits(std::uint32_t code, int len)
    {
        accumulator_ = (accumulator_ << len) | code;
        bits_ += len;
        if (bits_ >= 32)
            Drain();
    }
    // Pads the last byte with one bits.
    void FlushBits();

    bool Overflow() const { return overflow_; }
    std::size_t Size() const { return pos_; }

private:
    void Drain();

    std::uint8_t* out_;
    std::size_t capacity_;
    std::size_t pos_ = 0;
    std::uint64_t accumulator_ = 0;
    int bits_ = 0;
    bool overflow_ = false;
};

// Huffman statistics of one DC and one AC table.
struct SymbolCounts {
    std::array<std::uint32_t, 256> dc{};
    std::array<std::uint32_t, 256> ac{};
};

// zigzag: quantised coefficients of a block in zigzag order.
void CountBlock(const std::int16_t* zigzag, int& predictor, SymbolCounts& counts);
void EncodeBlock(const std::int16_t* zigzag, int& predictor, const HuffmanEncodeTable& dc, const HuffmanEncodeTable& ac,
                 JpegWriter& w);

}  // namespace picture::jpeg
