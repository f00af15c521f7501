// quillon-cli audio: one camera's sound as playback plays it, to a WAV file.
// The sound goes to the file second by second: memory stays bounded
// whatever the record's length says.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "disk/recorder_volume.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/progress_bar.h"
#include "tools/cli/volume_arg.h"
#include "tools/cli/wav_file.h"

namespace cli {

namespace {

int Run(Options& options)
{
    disk::RecorderVolume volume;
    const auto opened = LoadRecord(options, volume);
    if (!opened)
        return Fail(opened.Detail());
    const uint32_t record = *opened;
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
    if (!volume.OpenRecordEntry().audioPresent[channel])
        return Fail("camera " + std::to_string(camera) + " of record " + RecordName(volume, record) + " has no sound");
    if (!volume.SelectSegment(static_cast<uint32_t>(from)))
        return Fail("position " + std::to_string(from) + " is beyond the record's end");
    volume.ResetFrameAssembly();

    const std::string out = *options.Value("-o");
    WavWriter wav;
    if (const auto opened = wav.Open(out, 8000); !opened)
        return Fail(opened.Detail());

    // Read the stream the way normal-speed playback does; each segment
    // entered hands over its block, of which one second (8,000 samples) is
    // played.
    constexpr size_t kSecondSamples = 8000;
    const uint64_t wanted = std::min<uint64_t>(uint64_t(seconds), length - from);
    std::vector<uint8_t> frame(disk::RecorderVolume::kMaxFrameBytes);
    std::vector<uint8_t> block(disk::RecorderVolume::kAudioBlockBytes);
    std::vector<int16_t> pcm(disk::RecorderVolume::kAudioSamples);
    uint64_t blocks = 0;
    uint64_t noisy = 0;
    int failures = 0;
    const uint32_t stopSegment = static_cast<uint32_t>(from + wanted);
    ProgressBar bar("audio");
    while (blocks < wanted && failures < 2) {
        uint32_t frameLength = 0;
        int delivered = 0;
        const bool got = volume.NextFrame(frame, frameLength, false, channel, block, &delivered);
        failures = got ? 0 : failures + 1;
        if (delivered && volume.CurrentSegment() < stopSegment) {
            uint32_t bytes = 0;
            disk::RecorderVolume::DecodeAudioBlock(block, pcm, bytes);
            if (!disk::RecorderVolume::AudioBlockPlausible(block))
                ++noisy;
            if (const auto appended = wav.Append(std::span(pcm).first(kSecondSamples)); !appended)
                return Fail(appended.Detail());
            ++blocks;
            bar.Update(blocks, wanted);
        }
        if (volume.CurrentSegment() >= stopSegment)
            break;
    }
    bar.Done();
    if (blocks == 0)
        return Fail("no sound of camera " + std::to_string(camera) + " could be read from record " +
                    RecordName(volume, record));
    if (const auto finished = wav.Finish(); !finished)
        return Fail(finished.Detail());
    if (blocks < wanted)
        std::fprintf(stderr, "quillon-cli: warning: only %llu of %llu seconds of sound could be read\n",
                     static_cast<unsigned long long>(blocks), static_cast<unsigned long long>(wanted));
    if (noisy > 0)
        std::fprintf(stderr,
                     "quillon-cli: warning: %llu of %llu seconds hold damaged sound (impossible ADPCM headers): "
                     "written as read, they are noise, not the camera's sound\n",
                     static_cast<unsigned long long>(noisy), static_cast<unsigned long long>(blocks));
    return 0;
}

}  // namespace

Command AudioCommand()
{
    return {.name = "audio",
            .summary = "one camera's sound as playback plays it, as a WAV file",
            .description = "One camera's sound as playback plays it, written as an 8 kHz mono 16-bit WAV file.\n",
            .arguments = {DeclareDisk()},
            .options = {DeclareRecord(),
                        {.name = "--camera", .value = "C", .help = "the camera, 1 to 4", .required = true},
                        {"--from", "S", "the first position (seconds from the record's begin, default 0)"},
                        {"--seconds", "K", "at most K seconds (default: to the record's end)"},
                        {.name = "-o", .value = "OUT.wav", .help = "the file to write", .required = true}},
            .run = Run};
}

}  // namespace cli
