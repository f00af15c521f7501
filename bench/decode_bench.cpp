// Playback's picture path, single-threaded: frame extraction, decoding and
// presentation into a 640 x 480 quad view, for every frame of a four-camera
// record in each picture format; beside ffmpeg decoding and scaling the same
// elementary streams with one thread. Prints pictures per second and the CPU
// share that real-time quad playback of the format would take.
#include "disk/recorder_volume.h"
#include "platform/drive_table.h"
#include "platform/window_surface.h"
#include "playback/video_decoder.h"
#include "playback/video_presenter.h"
#include "playback/view_layout.h"
#include "tools/mkdisk/disk_plan.h"
#include "tools/mkdisk/disk_writer.h"

#ifdef QUILLON_BENCH_MOVING
#include "mpeg4_test_stream.h"
#endif

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ChildCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

struct Stage {
    double cpu = 0;
    int pictures = 0;
};

struct Frames {
    std::vector<std::vector<uint8_t>> frames;  // stream order, camera = index % 4
    std::vector<uint8_t> header;
};

// Extraction alone: every frame of the record, in stream order.
Stage Extract(disk::RecorderVolume& volume, Frames& out)
{
    std::vector<uint8_t> frame(disk::RecorderVolume::kMaxFrameBytes);
    volume.SelectSegment(0);
    volume.ResetFrameAssembly();
    const double t0 = CpuSeconds();
    for (int call = 0, misses = 0; misses < 2;) {
        uint32_t n = 0;
        if (!volume.NextFrame(frame, n, call < 4, -1, {}, nullptr)) {
            ++misses;
            continue;
        }
        misses = 0;
        ++call;
        out.frames.emplace_back(frame.begin(), frame.begin() + n);
    }
    const double t1 = CpuSeconds();
    const auto header = volume.StreamHeader();
    out.header.assign(header.begin(), header.end());
    return {t1 - t0, static_cast<int>(out.frames.size())};
}

// The whole picture path as the playback loop runs it.
Stage Play(disk::RecorderVolume& volume, playback::VideoDecoder& decoder, playback::VideoPresenter& presenter,
           platform::WindowSurface& window)
{
    const auto cells = playback::QuadCells(window.Width(), window.Height());
    std::vector<uint8_t> frame(disk::RecorderVolume::kMaxFrameBytes);
    std::vector<uint8_t> picture(playback::VideoDecoder::kPictureBytes);
    for (int c = 0; c < 4; ++c)
        decoder.ReleaseChannel(c);
    volume.SelectSegment(0);
    volume.ResetFrameAssembly();
    const int w = volume.OpenWidth();
    const int h = volume.OpenHeight();
    Stage s;
    const double t0 = CpuSeconds();
    for (int call = 0, misses = 0; misses < 2;) {
        uint32_t n = 0;
        if (!volume.NextFrame(frame, n, call < 4, -1, {}, nullptr)) {
            ++misses;
            continue;
        }
        misses = 0;
        const int camera = call++ % 4;
        if (n > 100 &&
            decoder.DecodeFrame(camera, std::span<const uint8_t>(frame.data(), n), picture, w, h,
                                volume.StreamHeader()) != 0 &&
            presenter.Present(&window, playback::VideoPresenter::kQuadView, cells, camera, picture, w, h) != 0)
            ++s.pictures;
    }
    s.cpu = CpuSeconds() - t0;
    return s;
}

// Decoding alone and presentation alone, from frames in memory.
void Split(const Frames& f, int w, int h, playback::VideoDecoder& decoder, playback::VideoPresenter& presenter,
           platform::WindowSurface& window, Stage& decode, Stage& present)
{
    const auto cells = playback::QuadCells(window.Width(), window.Height());
    std::vector<std::vector<uint8_t>> pictures(4, std::vector<uint8_t>(playback::VideoDecoder::kPictureBytes));
    for (int c = 0; c < 4; ++c)
        decoder.ReleaseChannel(c);
    double t0 = CpuSeconds();
    for (std::size_t i = 0; i < f.frames.size(); ++i)
        decode.pictures += decoder.DecodeFrame(int(i % 4), f.frames[i], pictures[i % 4], w, h, f.header) != 0;
    decode.cpu = CpuSeconds() - t0;
    t0 = CpuSeconds();
    for (std::size_t i = 0; i < f.frames.size(); ++i)
        present.pictures +=
            presenter.Present(&window, playback::VideoPresenter::kQuadView, cells, int(i % 4), pictures[i % 4], w, h);
    present.cpu = CpuSeconds() - t0;
}

double FfmpegCpu(const std::filesystem::path& stream)
{
    const double t0 = ChildCpuSeconds();
    const std::string cmd =
        "ffmpeg -nostdin -loglevel error -threads 1 -f m4v -i '" + stream.string() + "' -vf scale=320:240 -f null - ";
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "decode_bench: ffmpeg failed: %s\n", cmd.c_str());
        return -1;
    }
    return ChildCpuSeconds() - t0;
}

void WriteStream(const std::filesystem::path& path, const Frames& f, int camera, std::size_t limit)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(f.header.data()), std::streamsize(f.header.size()));
    for (std::size_t i = camera, n = 0; i < f.frames.size() && n < limit; i += 4, ++n)
        out.write(reinterpret_cast<const char*>(f.frames[i].data()), std::streamsize(f.frames[i].size()));
}

// ffmpeg, one thread, decoding each camera's elementary stream and scaling it
// to a quad cell. The cost of starting ffmpeg (measured on a one-picture
// stream) is taken off, so that only decoding and scaling are compared.
Stage Ffmpeg(const Frames& f, const std::filesystem::path& dir)
{
    Stage s;
    for (int c = 0; c < 4; ++c) {
        const auto full = dir / "full.m4v";
        const auto one = dir / "one.m4v";
        WriteStream(full, f, c, SIZE_MAX);
        WriteStream(one, f, c, 1);
        const double all = FfmpegCpu(full);
        const double start = FfmpegCpu(one);
        if (all < 0 || start < 0)
            return {};
        s.cpu += std::max(all - start, 1e-6);
        s.pictures += static_cast<int>((f.frames.size() - c + 3) / 4) - 1;
    }
    return s;
}

double Rate(const Stage& s) { return s.cpu > 0 ? s.pictures / s.cpu : 0; }

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const auto dir = std::filesystem::temp_directory_path() / ("quillon-decode-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const mkdisk::PictureFormat formats[] = {mkdisk::PictureFormat::k352x240, mkdisk::PictureFormat::k720x240,
                                             mkdisk::PictureFormat::k352x288, mkdisk::PictureFormat::k720x288};
    mkdisk::DiskPlan plan;
    for (const auto format : formats) {
        mkdisk::RecordPlan r;
        r.seconds = static_cast<uint32_t>(seconds);
        r.format = format;
        plan.records.push_back(r);
    }
    const std::string image = (dir / "bench.img").string();
    if (const auto written = mkdisk::WriteDisk(plan, image); !written) {
        std::fprintf(stderr, "decode_bench: %s\n", written.Detail().c_str());
        return 1;
    }
    platform::SetDriveImages({image});
    disk::RecorderVolume volume;
    playback::VideoDecoder decoder;
    if (!volume.Load(0) || !decoder.IsLoaded()) {
        std::fprintf(stderr, "decode_bench: no volume or no decoding library\n");
        return 1;
    }
    for (int c = 0; c < 4; ++c)
        decoder.SetFormat(c, 1);
    platform::WindowSurface window(640, 480);
    playback::VideoPresenter presenter;

    std::printf("%d-second four-camera records, quad view 640x480, one thread; rates in pictures per CPU second\n",
                seconds);
    std::printf("format\tpictures\textract\tdecode\tpresent\tplay(all)\tffmpeg\tplay/ffmpeg\treal-time quad CPU\n");
    for (uint32_t r = 0; r < plan.records.size(); ++r) {
        volume.OpenRecord(r);
        const int w = volume.OpenWidth();
        const int h = volume.OpenHeight();
        const int fps = mkdisk::FormatFrameRate(plan.records[r].format);
        // Best of three runs each: the machine is shared, the least disturbed
        // run is the one that tells.
        Frames frames;
        Stage extract{1e9, 0}, decode{1e9, 0}, present{1e9, 0}, play{1e9, 0}, ffmpeg{1e9, 0};
        for (int run = 0; run < 3; ++run) {
            Frames f;
            const Stage e = Extract(volume, f);
            Stage d, p;
            Split(f, w, h, decoder, presenter, window, d, p);
            const Stage a = Play(volume, decoder, presenter, window);
            const Stage x = Ffmpeg(f, dir);
            extract = e.cpu < extract.cpu ? e : extract;
            decode = d.cpu < decode.cpu ? d : decode;
            present = p.cpu < present.cpu ? p : present;
            play = a.cpu < play.cpu ? a : play;
            ffmpeg = x.cpu < ffmpeg.cpu && x.pictures > 0 ? x : ffmpeg;
            frames = std::move(f);
        }
        const double share = play.pictures > 0 ? 100.0 * 4 * fps * play.cpu / play.pictures : 0;
        std::printf("%dx%d@%d\t%d\t%.0f\t%.0f\t%.0f\t%.0f\t%.0f\t%.2f\t%.1f%%\n", w, h, fps, play.pictures,
                    Rate(extract), Rate(decode), Rate(present), Rate(play), Rate(ffmpeg),
                    Rate(ffmpeg) > 0 ? Rate(play) / Rate(ffmpeg) : 0, share);
    }
#ifdef QUILLON_BENCH_MOVING
    // The disk writer's pictures hardly change between frames; these move
    // everywhere, so predicted frames carry data and decoding weighs more.
    std::printf("\nbusier pictures (texture moving in every block), decode + present from memory\n");
    std::printf("format\tpictures\tdecode\tpresent\tdecode+present\tffmpeg\tratio\treal-time quad CPU\n");
    for (const auto format : formats) {
        const int w = mkdisk::FormatWidth(format);
        const int h = mkdisk::FormatHeight(format);
        const int fps = mkdisk::FormatFrameRate(format);
        Frames frames;
        std::vector<teststream::CameraStream> cams(4);
        for (int c = 0; c < 4; ++c)
            if (!teststream::EncodeCamera(c, w, h, fps * seconds, fps, cams[c]))
                return 1;
        frames.header = cams[0].header;
        for (int i = 0; i < fps * seconds; ++i)
            for (int c = 0; c < 4; ++c)
                frames.frames.push_back(cams[c].frames[i]);
        Stage decode{1e9, 0}, present{1e9, 0}, ffmpeg{1e9, 0};
        for (int run = 0; run < 3; ++run) {
            Stage d, p;
            Split(frames, w, h, decoder, presenter, window, d, p);
            const Stage x = Ffmpeg(frames, dir);
            decode = d.cpu < decode.cpu ? d : decode;
            present = p.cpu < present.cpu ? p : present;
            ffmpeg = x.cpu < ffmpeg.cpu && x.pictures > 0 ? x : ffmpeg;
        }
        const Stage both{decode.cpu + present.cpu, decode.pictures};
        const double share = both.pictures > 0 ? 100.0 * 4 * fps * both.cpu / both.pictures : 0;
        std::printf("%dx%d@%d\t%d\t%.0f\t%.0f\t%.0f\t%.0f\t%.2f\t%.1f%%\n", w, h, fps, both.pictures, Rate(decode),
                    Rate(present), Rate(both), Rate(ffmpeg), Rate(ffmpeg) > 0 ? Rate(both) / Rate(ffmpeg) : 0, share);
    }
#endif
    std::filesystem::remove_all(dir);
    return 0;
}
