#pragma once
// The AVI writer's field layout: FourCCs, flags and little-endian fields.
#include <algorithm>
#include <cstdint>
#include <span>

#include "export/avi_riff_writer.h"

namespace exporter::avi_layout {

constexpr std::uint32_t Tag(const char (&s)[5])
{
    return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8 |
           std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}

inline constexpr std::uint32_t kAvifHasIndex = 0x10, kAvifIsInterleaved = 0x100, kAvifTrustChunkType = 0x800;
inline constexpr std::uint32_t kAviifKeyFrame = 0x10;
inline constexpr std::uint32_t kDeltaFrameBit = 0x80000000u;  // ix entries: set on frames that are not key frames
inline constexpr std::uint8_t kIndexOfIndexes = 0, kIndexOfChunks = 1;

inline constexpr std::uint32_t kSuperIndexBytes = 24;     // indx body before its entries
inline constexpr std::uint32_t kStdIndexChunkBytes = 32;  // ix chunk before its entries, chunk header included
inline constexpr std::uint32_t kDmlhBytes = 248;

// Header offsets up to the first stream's strh dwRate: RIFF 12, LIST hdrl 12,
// avih 8 + 56, LIST strl 12, strh chunk header 8, then fccType .. dwScale.
static_assert(12 + 12 + (8 + 56) + 12 + 8 + 24 == kAviVideoRateOffset);

inline std::uint32_t ChunkId(int stream) { return stream == 0 ? Tag("00dc") : Tag("01wb"); }

inline std::uint32_t Clamp32(std::uint64_t v) { return std::uint32_t(std::min<std::uint64_t>(v, 0xFFFFFFFFu)); }

// Little-endian fields into a buffer sized exactly for them.
class Fields {
public:
    explicit Fields(std::span<std::uint8_t> out) : out(out) {}
    void U8(std::uint8_t v) { out[at++] = v; }
    void U16(std::uint16_t v) { U8(std::uint8_t(v)), U8(std::uint8_t(v >> 8)); }
    void U32(std::uint32_t v) { U16(std::uint16_t(v)), U16(std::uint16_t(v >> 16)); }
    void U64(std::uint64_t v) { U32(std::uint32_t(v)), U32(std::uint32_t(v >> 32)); }
    void Zeros(std::size_t n) { std::fill_n(out.begin() + std::ptrdiff_t(at), n, 0), at += n; }
    std::size_t At() const { return at; }

private:
    std::span<std::uint8_t> out;
    std::size_t at = 0;
};

}  // namespace exporter::avi_layout
