#pragma once
// Big- and little-endian reads from bytes a test holds. A read that runs past
// the end throws std::out_of_range, which fails the test that made it.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace testing_support {

inline std::span<const std::uint8_t> BytesAt(std::span<const std::uint8_t> b, std::size_t at, std::size_t n)
{
    if (at > b.size() || b.size() - at < n)
        throw std::out_of_range("read of " + std::to_string(n) + " bytes at " + std::to_string(at) + " past " +
                                std::to_string(b.size()));
    return b.subspan(at, n);
}

inline std::uint16_t Be16(std::span<const std::uint8_t> b, std::size_t at)
{
    const auto p = BytesAt(b, at, 2);
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

inline std::uint32_t Be32(std::span<const std::uint8_t> b, std::size_t at)
{
    const auto p = BytesAt(b, at, 4);
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

inline std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at)
{
    const auto p = BytesAt(b, at, 2);
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at)
{
    const auto p = BytesAt(b, at, 4);
    return p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

}  // namespace testing_support
