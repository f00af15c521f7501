#pragma once
// Endian-explicit reads over spans. An out-of-range read yields 0 rather
// than touching memory outside the span; callers size-check first anyway.
#include <cstddef>
#include <cstdint>
#include <span>

namespace disk {

inline uint16_t ReadBe16(std::span<const uint8_t> bytes, size_t offset)
{
    if (offset > bytes.size() || bytes.size() - offset < 2)
        return 0;
    return static_cast<uint16_t>(bytes[offset] << 8 | bytes[offset + 1]);
}

inline uint32_t ReadBe32(std::span<const uint8_t> bytes, size_t offset)
{
    if (offset > bytes.size() || bytes.size() - offset < 4)
        return 0;
    return uint32_t(bytes[offset]) << 24 | uint32_t(bytes[offset + 1]) << 16 | uint32_t(bytes[offset + 2]) << 8 |
           uint32_t(bytes[offset + 3]);
}

inline int16_t ReadLe16Signed(std::span<const uint8_t> bytes, size_t offset)
{
    if (offset > bytes.size() || bytes.size() - offset < 2)
        return 0;
    return static_cast<int16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

}  // namespace disk
