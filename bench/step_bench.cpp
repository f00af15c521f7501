// What a picture back costs: the pictures are decoded again from their
// second's intra frames, so the cost grows with the place in the second.
// For each picture format (quad view, four cameras): one picture forward,
// one back from the middle of a second, and one back across a second's
// start (the previous second counted, then decoded to its last picture).
//
//   quillon-bench-step
#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/drive_table.h"
#include "platform/window_surface.h"
#include "playback/playback_engine.h"
#include "playback/video_decoder.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Step>
double Milliseconds(int times, Step step)
{
    double total = 0;
    for (int i = 0; i < times; ++i) {
        const auto start = Clock::now();
        step(i);
        total += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    return total / times;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const auto dir = std::filesystem::temp_directory_path() / "quillon-bench-step";
    std::filesystem::create_directories(dir);
    const std::string image = (dir / "step.img").string();
    playback::VideoDecoder decoder;
    if (!decoder.IsLoaded()) {
        std::fprintf(stderr, "no decoding library beside the program\n");
        return 1;
    }
    std::printf("%-8s %6s %14s %22s %24s\n", "format", "fps", "forward ms", "back, mid-second ms",
                "back, second's start ms");
    for (auto format : {mkdisk::PictureFormat::k352x240, mkdisk::PictureFormat::k720x240,
                        mkdisk::PictureFormat::k352x288, mkdisk::PictureFormat::k720x288}) {
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan record;
        record.format = format;
        record.seconds = 12;
        plan.records.push_back(record);
        if (const auto written = mkdisk::WriteDisk(plan, image); !written) {
            std::fprintf(stderr, "%s\n", written.Detail().c_str());
            return 1;
        }
        platform::SetDriveImages({image});
        disk::RecorderVolume volume;
        platform::WindowSurface video(640, 480);
        platform::WindowSurface main(925, 640);
        playback::PlaybackEngine engine(decoder);
        engine.UseSoundDevice(false);
        engine.SetHosts(nullptr, nullptr, &main);
        if (!volume.Load(0) || engine.Attach(&video, &volume, 0, 0) != 1 || !engine.GotoStart())
            return 1;
        const int rate = engine.FrameRate();
        const double forward = Milliseconds(rate * 4, [&](int) { engine.StepForward(); });
        // Back from frame rate/2 + 1 of a second (rate/2 + 1 frames decoded
        // again), and back from a second's first picture (rate frames).
        double back = 0, across = 0;
        for (int i = 0; i < 8; ++i) {
            engine.ShowPosition(1 + i, true, true);
            for (int k = 0; k <= rate / 2; ++k)
                engine.StepForward();
            back += Milliseconds(1, [&](int) { engine.StepBackPicture(); });
            engine.ShowPosition(2 + i, true, true);
            across += Milliseconds(1, [&](int) { engine.StepBackPicture(); });
        }
        const std::string size =
            std::to_string(mkdisk::FormatWidth(format)) + "x" + std::to_string(mkdisk::FormatHeight(format));
        std::printf("%-8s %6d %14.2f %22.2f %24.2f\n", size.c_str(), rate, forward, back / 8, across / 8);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
