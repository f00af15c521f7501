#include "picture/snapshot_watermark.h"

#include <array>
#include <cmath>
#include <cstdlib>

namespace picture {

namespace {

constexpr std::array<std::uint8_t, 64> MakeScramble()
{
    std::array<std::uint8_t, 64> order{};
    int p = 32;
    for (int i = 0; i < 63; ++i) {
        p = ((p & 0x20) ^ ((p & 1) << 5)) | (p >> 1);
        order[i] = static_cast<std::uint8_t>(p);
    }
    order[63] = 0;
    return order;
}

constexpr std::array<std::uint8_t, 64> kScramble = MakeScramble();

}  // namespace

int SnapshotWatermark::SourceSlot(int i) { return kScramble[static_cast<std::size_t>(i & 63)]; }

bool SnapshotWatermark::Prepare(const BmpInfoHeader& header, std::span<const std::uint8_t> pixels)
{
    header_ = header;
    copy_.clear();
    const std::int64_t rows = std::llabs(static_cast<std::int64_t>(header.height));
    const std::int64_t stride = 4 * (((static_cast<std::int64_t>(header.width) * header.bitsPerPixel + 7) / 8 + 3) / 4);
    if (header.width <= 0 || rows == 0 || stride * rows > static_cast<std::int64_t>(pixels.size()))
        return false;
    copy_.assign(pixels.begin(), pixels.begin() + static_cast<std::ptrdiff_t>(stride * rows));
    return true;
}

int SnapshotWatermark::Embed()
{
    const int bpp = header_.bitsPerPixel / 8;
    const std::int64_t width = header_.width;
    const std::int64_t height = std::llabs(static_cast<std::int64_t>(header_.height));
    if (copy_.empty() || width % 8 != 0 || height % 8 != 0 || (bpp != 3 && bpp != 4))
        return 0;
    // Blocks are addressed with rows width * bpp apart; with a width that is
    // a multiple of 8 that is also the padded stride.
    const std::int64_t rowBytes = width * bpp;
    for (std::int64_t y0 = 0; y0 < height; y0 += 8)
        for (std::int64_t x = 0; x < rowBytes; x += 8 * bpp)
            EmbedBlock(copy_.data() + y0 * rowBytes + x);
    return 1;
}

void SnapshotWatermark::EmbedBlock(std::uint8_t* base)
{
    const int bpp = header_.bitsPerPixel / 8;
    const std::ptrdiff_t width = header_.width;
    std::array<std::uint8_t*, 64> red{};
    std::array<int, 64> sample{};
    int sum = 0;
    for (int k = 0; k < 64; ++k) {
        red[k] = base + ((k % 8) + (k / 8) * width) * bpp + 2;
        sample[k] = *red[k] >> 4;
        sum += sample[k];
    }
    const int mean = (sum + 32) / 64;  // sum / 64 rounded half up (sum >= 0)
    int squares = 0;
    for (const int s : sample)
        squares += (s - mean) * (s - mean);
    const int sd = static_cast<int>(std::floor(std::sqrt(squares / 64.0) + 0.5));

    std::array<int, 64> slots;
    slots.fill(-1);  // -1: leave the pixel alone
    for (int n = 0; n < 8; ++n) {
        slots[24 + n] = (mean >> (7 - n)) & 1;
        slots[56 + n] = (sd >> (7 - n)) & 1;
    }
    for (int k = 0; k < 64; ++k) {
        const int bit = slots[kScramble[k]];
        if (bit >= 0)
            *red[k] = static_cast<std::uint8_t>((*red[k] & ~8) | (bit << 3));
    }
}

}  // namespace picture
