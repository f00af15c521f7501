#pragma once
// One record of the record table, decoded from its 32-byte entry.
#include <array>
#include <cstdint>
#include <span>

#include "disk/record_time.h"

namespace disk {

constexpr size_t kRecordEntryBytes = 32;
constexpr int kChannelFlags = 16;

struct RecordEntry {
    RecordTime beginTime;
    uint32_t segmentCount = 0;
    uint32_t indexOffset = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameRate = 0;
    int32_t kind = 0;  // 0..3, shown as B, A, S, M
    std::array<uint8_t, kChannelFlags> videoPresent{};
    std::array<uint8_t, kChannelFlags> audioPresent{};
};

struct ParsedEntry {
    RecordEntry entry;
    bool hasAudioArea = false;  // format bit 0x80
};

// Decodes the 32 bytes of an entry (a shorter span yields an empty entry).
ParsedEntry ParseRecordEntry(std::span<const uint8_t> bytes);

// "B", "A", "S" or "M" for kinds 0..3.
char KindLetter(int32_t kind);

}  // namespace disk
