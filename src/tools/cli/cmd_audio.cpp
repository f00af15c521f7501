// quillon-cli audio: one camera's sound as playback plays it, to a WAV file.
#include <cstdio>
#include <string>
#include <vector>

#include "disk/recorder_volume.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"
#include "tools/cli/wav_file.h"

namespace cli {

int RunAudio(const Args& args)
{
    Options options;
    if (!options.Parse(args, {"--record", "--camera", "--from", "--seconds", "-o"}, {}))
        return Fail(options.error);
    if (options.positional.size() != 1 || !options.Value("-o") || !options.Value("--camera"))
        return Fail("usage: quillon-cli audio DISK --record N --camera C [--from S] [--seconds K] -o OUT.wav");

    disk::RecorderVolume volume;
    std::string error;
    uint32_t record = 0;
    if (!LoadRecord(options, volume, record, error))
        return Fail(error);
    int64_t camera = 0, from = 0, seconds = 0;
    if (!options.Number("--camera", 1, 4, 1, camera))
        return Fail("camera out of range: cameras are 1 to 4");
    const uint32_t length = volume.SegmentCount();
    if (!options.Number("--from", 0, length == 0 ? 0 : length - 1, 0, from) ||
        !options.Number("--seconds", 1, UINT32_MAX, length, seconds))
        return Fail(options.error);
    if (!volume.HasAudioArea())
        return Fail("this volume's segments carry no audio areas");
    const int channel = static_cast<int>(camera - 1);
    if (!volume.Record(record).audioPresent[channel])
        return Fail("camera " + std::to_string(camera) + " of record " + std::to_string(record + 1) + " has no sound");
    if (!volume.SelectSegment(static_cast<uint32_t>(from)))
        return Fail("position " + std::to_string(from) + " is beyond the record's end");
    volume.ResetFrameAssembly();

    // Read the stream the way normal-speed playback does; each segment
    // entered hands over its block, of which one second (8,000 samples) is
    // played.
    constexpr size_t kSecondSamples = 8000;
    const uint64_t wanted = std::min<uint64_t>(uint64_t(seconds), length - from);
    std::vector<int16_t> samples;
    samples.reserve(wanted * kSecondSamples);
    std::vector<uint8_t> frame(disk::RecorderVolume::kMaxFrameBytes);
    std::vector<uint8_t> block(disk::RecorderVolume::kAudioBlockBytes);
    std::vector<int16_t> pcm(disk::RecorderVolume::kAudioSamples);
    uint64_t blocks = 0;
    int failures = 0;
    const uint32_t stopSegment = static_cast<uint32_t>(from + wanted);
    while (blocks < wanted && failures < 2) {
        uint32_t frameLength = 0;
        int delivered = 0;
        const bool got = volume.NextFrame(frame, frameLength, false, channel, block, &delivered);
        failures = got ? 0 : failures + 1;
        if (delivered && volume.CurrentSegment() < stopSegment) {
            uint32_t bytes = 0;
            disk::RecorderVolume::DecodeAudioBlock(block, pcm, bytes);
            samples.insert(samples.end(), pcm.begin(), pcm.begin() + kSecondSamples);
            ++blocks;
        }
        if (volume.CurrentSegment() >= stopSegment)
            break;
    }
    if (!WriteWavFile(*options.Value("-o"), samples, 8000, error))
        return Fail(error);
    return 0;
}

}  // namespace cli
