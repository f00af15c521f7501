#include "picture/bmp_format.h"

namespace picture {

namespace {

std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void Put16(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

}  // namespace

BmpFileHeader ParseBmpFileHeader(std::span<const std::uint8_t, kBmpFileHeaderSize> b)
{
    return {U16(b, 0), U32(b, 2), U16(b, 6), U16(b, 8), U32(b, 10)};
}

BmpInfoHeader ParseBmpInfoHeader(std::span<const std::uint8_t, kBmpInfoHeaderSize> b)
{
    BmpInfoHeader h;
    h.headerSize = U32(b, 0);
    h.width = static_cast<std::int32_t>(U32(b, 4));
    h.height = static_cast<std::int32_t>(U32(b, 8));
    h.planes = U16(b, 12);
    h.bitsPerPixel = U16(b, 14);
    h.compression = U32(b, 16);
    h.imageSize = U32(b, 20);
    h.xPixelsPerMetre = static_cast<std::int32_t>(U32(b, 24));
    h.yPixelsPerMetre = static_cast<std::int32_t>(U32(b, 28));
    h.coloursUsed = U32(b, 32);
    h.coloursImportant = U32(b, 36);
    return h;
}

void WriteBmpFileHeader(const BmpFileHeader& h, std::span<std::uint8_t, kBmpFileHeaderSize> b)
{
    Put16(b, 0, h.type);
    Put32(b, 2, h.fileSize);
    Put16(b, 6, h.reserved1);
    Put16(b, 8, h.reserved2);
    Put32(b, 10, h.pixelOffset);
}

void WriteBmpInfoHeader(const BmpInfoHeader& h, std::span<std::uint8_t, kBmpInfoHeaderSize> b)
{
    Put32(b, 0, h.headerSize);
    Put32(b, 4, static_cast<std::uint32_t>(h.width));
    Put32(b, 8, static_cast<std::uint32_t>(h.height));
    Put16(b, 12, h.planes);
    Put16(b, 14, h.bitsPerPixel);
    Put32(b, 16, h.compression);
    Put32(b, 20, h.imageSize);
    Put32(b, 24, static_cast<std::uint32_t>(h.xPixelsPerMetre));
    Put32(b, 28, static_cast<std::uint32_t>(h.yPixelsPerMetre));
    Put32(b, 32, h.coloursUsed);
    Put32(b, 36, h.coloursImportant);
}

}  // namespace picture
