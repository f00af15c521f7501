#include "disk/segment_content.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "disk/raw_disk.h"
#include "disk/record_reader.h"

namespace disk {
namespace {

// From the VO start code to its intra VOP: VO + VOL (19 bytes) and 8 more.
constexpr size_t kHeaderToVop = 27;
constexpr size_t kVolOffset = 4;

}  // namespace

bool AudioAreaPlausible(std::span<const uint8_t> area)
{
    if (area.size() < RecordReader::kAudioAreaBytes)
        return false;
    std::array<uint8_t, RecordReader::kAudioBlockBytes> block{};
    for (int channel = 0; channel < 4; ++channel) {
        if (!RecordReader::AudioBlockFromArea(area, channel, block) || !RecordReader::AudioBlockPlausible(block))
            return false;
    }
    return true;
}

SegmentHead CheckSegmentHead(std::span<const uint8_t> bytes, bool audioArea)
{
    SegmentHead head;
    if (bytes.size() < size_t(SegmentHeadSectors(audioArea)) * kSectorBytes) {
        head.failure = "too short to hold a second";
        return head;
    }
    const size_t videoStart = audioArea ? RecordReader::kAudioAreaBytes : 0;
    if (audioArea && !AudioAreaPlausible(bytes.first(RecordReader::kAudioAreaBytes))) {
        head.failure = "its audio area is not one the recorder writes";
        return head;
    }
    size_t header = videoStart;
    if (!HasVoVolAt(bytes, header)) {
        // The last picture of the second before ran on into this segment
        // (and the pictures cut off with it): picture data and picture
        // start codes, no zero run and no other start code, up to the header.
        header = SIZE_MAX;
        const size_t end = std::min<size_t>(bytes.size(), videoStart + kContinuationBytes + 8);
        for (size_t i = videoStart; audioArea && i + 4 <= end; ++i) {
            if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] > 1)
                continue;
            if (bytes[i + 2] == 1 && bytes[i + 3] == 0xB6) {
                i += 3;
                continue;
            }
            if (HasVoVolAt(bytes, i))
                header = i;
            break;
        }
        if (header == SIZE_MAX) {
            head.failure = "no stream header at its video start";
            return head;
        }
    }
    VolParse vol = ParseVolHeader(bytes.subspan(header + kVolOffset));
    if (!vol.header) {
        head.failure = "its stream header cannot be read: " + vol.failure;
        return head;
    }
    head.ok = true;
    head.vol = *vol.header;
    return head;
}

std::array<uint8_t, kChannelFlags> SoundCamerasOfArea(std::span<const uint8_t> area)
{
    std::array<uint8_t, kChannelFlags> sound{};
    if (area.size() < RecordReader::kAudioAreaBytes)
        return sound;
    std::array<uint8_t, RecordReader::kAudioBlockBytes> block{};
    for (int channel = 0; channel < 4; ++channel) {
        if (!RecordReader::AudioBlockFromArea(area, channel, block))
            continue;
        // Each of the 16 sub-blocks: predictor (2 bytes), step index, then codes.
        for (size_t sub = 0; sub < 16 && !sound[channel]; ++sub)
            for (size_t i = sub * 255 + 3; i < (sub + 1) * 255; ++i)
                if (block[i] != 0) {
                    sound[channel] = 1;
                    break;
                }
    }
    return sound;
}

SecondCameras CamerasOfSecond(std::span<const uint8_t> segment, bool audioArea, const VolHeader& vol)
{
    SecondCameras cameras;
    const size_t videoStart = audioArea ? RecordReader::kAudioAreaBytes : 0;
    std::vector<size_t> headers;
    for (size_t i = videoStart; i + 8 <= segment.size() && headers.size() <= 4; ++i) {
        if (segment[i + 2] > 1) {
            i += 2;  // no start code can begin at i, i + 1 or i + 2
            continue;
        }
        if (HasVoVolAt(segment, i))
            headers.push_back(i);
    }
    cameras.headers = static_cast<int>(headers.size());
    bool clear = headers.size() == 4;
    for (size_t c = 0; clear && c < headers.size(); ++c) {
        const size_t vop = headers[c] + kHeaderToVop;
        const std::optional<bool> coded =
            vop < segment.size() ? VopCoded(segment.subspan(vop), vol) : std::optional<bool>();
        if (!coded)
            clear = false;
        else
            cameras.video[c] = *coded ? 1 : 0;
    }
    if (clear && (cameras.video[0] | cameras.video[1] | cameras.video[2] | cameras.video[3]) == 0)
        clear = false;
    cameras.clear = clear;
    if (!clear)
        for (int c = 0; c < 4; ++c)
            cameras.video[c] = 1;
    return cameras;
}

}  // namespace disk
