// quillon-cli frames: NextFrame calls as playback makes them, one line each.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <zlib.h>

#include "disk/recorder_volume.h"
#include "platform/unique_fd.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/progress_bar.h"
#include "tools/cli/volume_arg.h"

namespace cli {
namespace {

bool WriteBytes(const std::filesystem::path& path, const uint8_t* bytes, size_t size)
{
    const platform::UniqueFile file(std::fopen(path.c_str(), "wb"));
    return file && std::fwrite(bytes, 1, size, file.get()) == size;
}

bool IsIntraVop(const uint8_t* f, uint32_t n)
{
    return n >= 5 && f[0] == 0 && f[1] == 0 && f[2] == 1 && f[3] == 0xB6 && (f[4] & 0xC0) == 0;
}

int Run(Options& options)
{
    disk::RecorderVolume volume;
    if (const auto opened = LoadRecord(options, volume); !opened)
        return Fail(opened.Detail());
    const uint32_t length = volume.SegmentCount();
    int64_t from = 0, calls = 0, audioCamera = 0;
    if (!options.Number("--from", 0, length == 0 ? 0 : length - 1, 0, from) ||
        !options.Number("--calls", 0, INT64_MAX, INT64_MAX, calls) ||
        !options.Number("--audio-camera", 1, 4, 0, audioCamera))
        return Fail(options.error);
    const auto dump = options.Value("--dump");
    if (dump) {
        std::error_code ec;
        std::filesystem::create_directories(*dump, ec);
        if (ec)
            return Fail("cannot create " + *dump);
    }

    // A seek: select the position and drop any assembly in progress.
    if (length > 0 && volume.SelectSegment(static_cast<uint32_t>(from)))
        volume.ResetFrameAssembly();
    const bool intraFirst = options.Has("--intra-first");
    const int channel = static_cast<int>(audioCamera) - 1;
    std::vector<uint8_t> frame(disk::RecorderVolume::kMaxFrameBytes);
    std::vector<uint8_t> block(disk::RecorderVolume::kAudioBlockBytes);
    // Only a dump gets a bar: without one the lines on stdout are the
    // progress, and a bar between them on the same terminal would only
    // get in their way.
    std::optional<ProgressBar> bar;
    if (dump && ::isatty(STDOUT_FILENO) != 1)
        bar.emplace("frames");
    const bool byCalls = calls != INT64_MAX;
    const uint64_t work = byCalls ? uint64_t(calls) : length - uint64_t(from);
    int failures = 0;
    for (int64_t call = 0; call < calls && failures < 2; ++call) {
        uint32_t n = 0;
        int delivered = 0;
        if (bar)
            bar->Update(byCalls ? uint64_t(call) : volume.CurrentSegment() - uint64_t(from), work);
        const bool got = volume.NextFrame(frame, n, intraFirst && call < 4, channel, block, &delivered);
        failures = got ? 0 : failures + 1;
        if (!got) {
            std::printf("%lld\t%lld\t%u\t-\t-\t-\t-\n", static_cast<long long>(call), static_cast<long long>(call % 4),
                        volume.CurrentSegment());
            continue;
        }
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), frame.data(), n);
        std::printf("%lld\t%lld\t%u\t%u\t%d\t%d\t%08lx\n", static_cast<long long>(call),
                    static_cast<long long>(call % 4), volume.CurrentSegment(), n, IsIntraVop(frame.data(), n) ? 1 : 0,
                    delivered, static_cast<unsigned long>(crc));
        if (dump) {
            char name[32];
            std::snprintf(name, sizeof name, "%06lld.m4v", static_cast<long long>(call));
            if (!WriteBytes(std::filesystem::path(*dump) / name, frame.data(), n)) {
                if (bar)
                    bar->Clear();
                return Fail("cannot write to " + *dump);
            }
        }
    }
    if (bar)
        bar->Update(work, work);
    if (dump) {
        const auto header = volume.StreamHeader();
        if (!WriteBytes(std::filesystem::path(*dump) / "header.bin", header.data(), header.size()))
            return Fail("cannot write to " + *dump);
    }
    return 0;
}

}  // namespace

Command FramesCommand()
{
    return {.name = "frames",
            .summary = "the frame-extraction calls as playback makes them, one line each",
            .description = "The frame-extraction calls as playback makes them (call i is for camera i mod 4), one\n"
                           "line each: call, camera, segment, length, intra, audio blocks delivered, CRC-32.\n",
            .arguments = {DeclareDisk()},
            .options = {DeclareRecord(),
                        {"--from", "S", "start at position S (default 0)"},
                        {"--calls", "K", "at most K calls (default: until the record ends)"},
                        {"--intra-first", "", "the first four calls wait for an intra picture, as a seek does"},
                        {"--audio-camera", "C", "deliver camera C's sound blocks as well"},
                        {"--dump", "DIR",
                         "write each frame to DIR/NNNNNN.m4v and the stream header to\n"
                         "DIR/header.bin; with the lines going to a file or pipe, a\n"
                         "progress bar shows on the terminal"}},
            .run = Run};
}

}  // namespace cli
