// The audio area at the start of each segment: extraction of one channel's
// block through the cursor, and IMA ADPCM decoding of a block.
#include <algorithm>

#include "disk/byte_order.h"
#include "disk/ima_adpcm.h"
#include "disk/record_reader.h"

namespace disk {
namespace {
constexpr uint32_t kSubBlocks = 16;
constexpr uint32_t kCodeWords = 126;
constexpr uint32_t kRecordBytes = 255;  // predictor 2, step index 1, codes 252
constexpr uint32_t kRowBytes = 8;
}  // namespace

bool RecordReader::ExtractAudioBlock(int channel, std::span<uint8_t> destination)
{
    if (channel < 0 || channel > 3 || destination.size() < kAudioBlockBytes)
        return false;
    // The usual case, a whole area at the segment's start followed by video:
    // take the lane straight from the window and leave the cursor on the
    // first video byte, as the row-by-row walk below would.
    EnsureLoaded(cursor + kAudioAreaBytes + kRowBytes);
    if (cursor == 0 && segmentBytes > kAudioAreaBytes && loadedBytes > kAudioAreaBytes) {
        AudioBlockFromArea(std::span<const uint8_t>(window.get(), kAudioAreaBytes), channel, destination);
        cursor = kAudioAreaBytes;
        return true;
    }
    const uint32_t lane = 2 * static_cast<uint32_t>(channel);
    uint8_t* out = destination.data();
    // Steps to the next row; the very last step of the area may fail when
    // the segment holds nothing after it, yet the block is complete then.
    auto nextRow = [&](bool last) {
        for (uint32_t i = 0; i < kRowBytes; ++i)
            if (!Advance())
                return last && i + 1 == kRowBytes && cursor + 1 == segmentBytes;
        return true;
    };
    for (uint32_t sub = 0; sub < kSubBlocks; ++sub) {
        *out++ = CursorByte(lane);
        *out++ = CursorByte(lane + 1);
        if (!nextRow(false))
            return false;
        *out++ = CursorByte(lane);
        if (!nextRow(false))
            return false;
        for (uint32_t w = 0; w < kCodeWords; ++w) {
            *out++ = CursorByte(lane);
            *out++ = CursorByte(lane + 1);
            if (!nextRow(sub + 1 == kSubBlocks && w + 1 == kCodeWords))
                return false;
        }
    }
    return true;
}

bool RecordReader::AudioBlockFromArea(std::span<const uint8_t> area, int channel, std::span<uint8_t> destination)
{
    if (channel < 0 || channel > 3 || area.size() < kAudioAreaBytes || destination.size() < kAudioBlockBytes)
        return false;
    // Rows of 8 bytes, two per channel: each sub-block's predictor and step
    // index in its first two rows, then its 126 code words.
    const uint8_t* row = area.data() + 2 * static_cast<uint32_t>(channel);
    uint8_t* out = destination.data();
    for (uint32_t sub = 0; sub < kSubBlocks; ++sub) {
        *out++ = row[0];
        *out++ = row[1];
        *out++ = row[kRowBytes];
        row += 2 * kRowBytes;
        for (uint32_t w = 0; w < kCodeWords; ++w, row += kRowBytes) {
            *out++ = row[0];
            *out++ = row[1];
        }
    }
    return true;
}

bool RecordReader::AudioAreaSectors(uint32_t segment, SectorRange& range) const
{
    SectorRange whole;
    if (!audioArea || !SegmentSectors(segment, whole) || whole.count < kAudioAreaSectors)
        return false;
    // A recovered second that is not intact holds no sound of its own.
    if (openRecovered && segment < openRecovered->status.size() &&
        openRecovered->status[segment] != SegmentStatus::Intact)
        return false;
    range = {whole.first, kAudioAreaSectors};
    return true;
}

bool RecordReader::DecodeAudioBlock(std::span<const uint8_t> block, std::span<int16_t> destination, uint32_t& byteCount)
{
    if (block.size() < kAudioBlockBytes || destination.size() < kAudioSamples)
        return false;
    int16_t* out = destination.data();
    for (uint32_t sub = 0; sub < kSubBlocks; ++sub) {
        const std::span<const uint8_t> record = block.subspan(sub * kRecordBytes, kRecordBytes);
        int32_t predictor = ReadLe16Signed(record, 0);
        // A damaged step index is brought into the table's range.
        int32_t index = std::min<int32_t>(record[2], 88);
        *out++ = static_cast<int16_t>(predictor);
        for (uint32_t i = 3; i < kRecordBytes; ++i) {
            for (const uint8_t code : {uint8_t(record[i] & 0x0F), uint8_t(record[i] >> 4)}) {
                const int32_t step = kImaStepTable[index];
                int32_t diff = step >> 3;
                if (code & 1)
                    diff += step >> 2;
                if (code & 2)
                    diff += step >> 1;
                if (code & 4)
                    diff += step;
                if (code & 8)
                    diff = -diff;
                predictor = std::clamp(predictor + diff, -32768, 32767);
                index = std::clamp(index + kImaIndexTable[code & 7], 0, 88);
                *out++ = static_cast<int16_t>(predictor);
            }
        }
    }
    byteCount = kAudioSamples * 2;
    return true;
}

}  // namespace disk

namespace disk {

bool RecordReader::AudioBlockPlausible(std::span<const uint8_t> block)
{
    if (block.size() < kAudioBlockBytes)
        return false;
    for (uint32_t sub = 0; sub < kSubBlocks; ++sub)
        if (block[sub * kRecordBytes + 2] > 88)
            return false;
    return true;
}

}  // namespace disk
