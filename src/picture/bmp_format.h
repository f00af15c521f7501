#pragma once
// The two headers of a BMP file (little-endian, no padding between fields)
// and the row stride of its pixel data.
#include <cstdint>
#include <span>

namespace picture {

struct BmpFileHeader {
    std::uint16_t type = 0;  // "BM"
    std::uint32_t fileSize = 0;
    std::uint16_t reserved1 = 0;
    std::uint16_t reserved2 = 0;
    std::uint32_t pixelOffset = 0;
};

struct BmpInfoHeader {
    std::uint32_t headerSize = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;  // > 0: bottom-up rows; < 0: top-down
    std::uint16_t planes = 0;
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::int32_t xPixelsPerMetre = 0;
    std::int32_t yPixelsPerMetre = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t coloursImportant = 0;
};

struct BmpPaletteEntry {
    std::uint8_t blue = 0, green = 0, red = 0, reserved = 0;
};

inline constexpr std::uint16_t kBmpType = 0x4D42;
inline constexpr int kBmpFileHeaderSize = 14;
inline constexpr int kBmpInfoHeaderSize = 40;

BmpFileHeader ParseBmpFileHeader(std::span<const std::uint8_t, kBmpFileHeaderSize> bytes);
BmpInfoHeader ParseBmpInfoHeader(std::span<const std::uint8_t, kBmpInfoHeaderSize> bytes);
void WriteBmpFileHeader(const BmpFileHeader& h, std::span<std::uint8_t, kBmpFileHeaderSize> bytes);
void WriteBmpInfoHeader(const BmpInfoHeader& h, std::span<std::uint8_t, kBmpInfoHeaderSize> bytes);

// Bytes of a DIB row: the pixels' bits padded to a multiple of 4 bytes. The
// one formula for every BMP, snapshot, print and export row.
inline std::int64_t DibStride(std::int64_t width, int bitsPerPixel) { return ((width * bitsPerPixel + 31) / 32) * 4; }

}  // namespace picture
