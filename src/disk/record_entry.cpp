#include "disk/record_entry.h"

#include "disk/byte_order.h"

namespace disk {
namespace {

struct PictureFormat {
    int32_t width, height, frameRate;
};

PictureFormat FormatOf(uint8_t formatByte)
{
    switch (formatByte & 0x50) {
    case 0x50: return {352, 240, 30};
    case 0x40: return {720, 240, 15};
    case 0x10: return {352, 288, 25};
    default: return {720, 288, 12};
    }
}

int32_t KindOf(uint8_t flags)
{
    if (flags & 0x04)
        return 1;
    if (flags & 0x08)
        return 2;
    if (flags & 0x10)
        return 3;
    return 0;
}

// Channel k is bit 15 - k of (second byte << 8 | first byte): channel 0 is
// the top bit of the second byte, channel 8 the top bit of the first.
void ChannelFlags(const uint8_t* two, std::array<uint8_t, kChannelFlags>& out)
{
    const unsigned value = unsigned(two[1]) << 8 | two[0];
    for (int k = 0; k < kChannelFlags; ++k)
        out[k] = (value >> (15 - k)) & 1;
}

}  // namespace

ParsedEntry ParseRecordEntry(std::span<const uint8_t> bytes)
{
    ParsedEntry parsed;
    if (bytes.size() < kRecordEntryBytes)
        return parsed;
    RecordEntry& e = parsed.entry;
    e.beginTime.year = static_cast<uint16_t>(2000 + bytes[5]);
    e.beginTime.month = bytes[4];
    e.beginTime.day = bytes[3];
    e.beginTime.hour = bytes[2];
    e.beginTime.minute = bytes[1];
    e.beginTime.second = bytes[0];
    e.segmentCount = ReadBe32(bytes, 6);
    e.indexOffset = ReadBe32(bytes, 10);
    e.kind = KindOf(bytes[14]);
    const PictureFormat format = FormatOf(bytes[15]);
    e.width = format.width;
    e.height = format.height;
    e.frameRate = format.frameRate;
    parsed.hasAudioArea = (bytes[15] & 0x80) != 0;
    ChannelFlags(&bytes[16], e.videoPresent);
    ChannelFlags(&bytes[18], e.audioPresent);
    return parsed;
}

char KindLetter(int32_t kind)
{
    static constexpr char letters[] = {'B', 'A', 'S', 'M'};
    return kind >= 0 && kind < 4 ? letters[kind] : '?';
}

}  // namespace disk
