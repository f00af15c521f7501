#pragma once
// Bits of an entropy-coded segment, most significant first, with the 0xFF 00
// stuffing removed. At a marker or the end of the data it supplies zero bits
// and counts them, so that an overrun is noticed after the fact.
#include <cstddef>
#include <cstdint>

namespace picture::jpeg {

class BitReader {
public:
    BitReader(const std::uint8_t* begin, const std::uint8_t* end) : p_(begin), end_(end) {}

    void Refill()
    {
        while (bits_ <= 56) {
            std::uint64_t byte = 0;
            if (!atMarker_ && p_ < end_) {
                byte = *p_;
                if (byte == 0xFF) {
                    if (p_ + 1 < end_ && p_[1] == 0x00) {
                        p_ += 2;
                    } else {
                        atMarker_ = true;
                        byte = 0;
                        fakeBits_ += 8;
                    }
                } else {
                    ++p_;
                }
            } else {
                fakeBits_ += 8;
            }
            buffer_ |= byte << (56 - bits_);
            bits_ += 8;
        }
    }

    void EnsureBits(int n)
    {
        if (bits_ < n)
            Refill();
    }
    std::uint32_t Peek(int n) const { return static_cast<std::uint32_t>(buffer_ >> (64 - n)); }
    void Skip(int n)
    {
        buffer_ <<= n;
        bits_ -= n;
    }
    std::uint32_t Get(int n)
    {
        if (n == 0)
            return 0;
        const std::uint32_t v = Peek(n);
        Skip(n);
        return v;
    }

    // True when more bits were consumed than the segment held.
    bool Overrun() const { return fakeBits_ > bits_; }

    // Drops the buffered bits and moves to the next marker; returns its
    // position (end when there is none).
    const std::uint8_t* SeekMarker()
    {
        buffer_ = 0;
        bits_ = 0;
        fakeBits_ = 0;
        atMarker_ = false;
        while (p_ < end_) {
            if (p_[0] == 0xFF && p_ + 1 < end_ && p_[1] != 0x00 && p_[1] != 0xFF)
                return p_;
            ++p_;
        }
        return end_;
    }

    void Restart(const std::uint8_t* at)
    {
        p_ = at;
        buffer_ = 0;
        bits_ = 0;
        fakeBits_ = 0;
        atMarker_ = false;
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
    std::uint64_t buffer_ = 0;
    int bits_ = 0;
    int fakeBits_ = 0;
    bool atMarker_ = false;
};

}  // namespace picture::jpeg
