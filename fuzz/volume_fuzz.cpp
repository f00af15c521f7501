// Recorder disk images from the fuzzer: volume load, record index, frame
// extraction (continuation and splitting included) and audio decoding.
// The signature is put in place so that every input reaches the parser.
// The volume is built from the bytes in memory: no file, no drive table.
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "disk/recorder_volume.h"
#include "disk/volume.h"

namespace {

struct Harness {
    std::vector<uint8_t> image;
    disk::RecorderVolume volume;
    std::vector<uint8_t> frame = std::vector<uint8_t>(disk::RecorderVolume::kMaxFrameBytes);
    std::vector<uint8_t> block = std::vector<uint8_t>(disk::RecorderVolume::kAudioBlockBytes);
    std::vector<int16_t> pcm = std::vector<int16_t>(disk::RecorderVolume::kAudioSamples);
};

void Play(Harness& h, uint32_t calls, uint32_t seed)
{
    auto& v = h.volume;
    int failures = 0;
    for (uint32_t call = 0; call < calls && failures < 3; ++call) {
        uint32_t n = 0;
        int delivered = 0;
        const int channel = int((seed + call) % 5) - 1;
        if (v.NextFrame(h.frame, n, call < 4, channel, h.block, &delivered)) {
            failures = 0;
            if (n == 0 || n > h.frame.size())
                __builtin_trap();
        } else {
            ++failures;
        }
        if (delivered) {
            uint32_t bytes = 0;
            disk::RecorderVolume::DecodeAudioBlock(h.block, h.pcm, bytes);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Harness h;
    if (size < 512 || size > (4u << 20))
        return 0;
    // The reader lets go of the last input's volume before its bytes change.
    auto& v = h.volume;
    v.Close();
    h.image.assign(data, data + size);
    std::memcpy(h.image.data() + 2, "Kor Halvex", 10);
    disk::VolumeLoad load = disk::Volume::FromBytes(h.image);
    if (!load.volume)
        return 0;
    v.Attach(std::move(load.volume));
    disk::RecordTime t;
    uint32_t segments = 0;
    for (bool more = v.FirstRecord(t, segments); more; more = v.NextRecord(t, segments))
        disk::AddMilliseconds(t, int64_t(segments) * 1000 - 1000);
    for (uint32_t r = 0; r < v.RecordCount() && r < 4; ++r) {
        if (!v.OpenRecord(r))
            continue;
        v.SelectSegment(0);
        v.ResetFrameAssembly();
        Play(h, 400, r);
        if (v.SegmentCount() > 1 && v.SelectSegment(v.SegmentCount() / 2)) {
            v.ResetFrameAssembly();
            Play(h, 100, r + 1);
        }
    }
    return 0;
}
