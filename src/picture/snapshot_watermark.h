#pragma once
// Watermark of BMP snapshots: for each 8 x 8 block, the mean and standard
// deviation of the top nibble of red are written, bit by bit in a scrambled
// order, into bit 3 of the red byte of 16 of the block's pixels. Works on a
// copy; the source pixels are only read.
#include <cstdint>
#include <span>
#include <vector>

#include "picture/bmp_format.h"

namespace picture {

class SnapshotWatermark {
public:
    // Copies the source pixels (rows padded to 4 bytes, |height| rows).
    // False when the source holds fewer bytes than the picture needs.
    bool Prepare(const BmpInfoHeader& header, std::span<const std::uint8_t> pixels);
    // 1 when embedded; 0 (copy unchanged) when the width or height is not a
    // multiple of 8 or the pixels have no red byte (not 24 or 32 bits).
    int Embed();
    std::span<const std::uint8_t> Result() const { return copy_; }

    // Slot scrambling: scrambled[i] = slots[SourceSlot(i)].
    static int SourceSlot(int i);

private:
    void EmbedBlock(std::uint8_t* base);

    BmpInfoHeader header_;
    std::vector<std::uint8_t> copy_;
};

}  // namespace picture
