// The one-camera view enlarged: does 16x playback stay real time? For each
// picture format, a record played at speed 16 by the real engine and timer
// into a 640 x 480 headless view, once showing the whole picture and once
// enlarged 8x (nearest neighbour, then smoothed): pictures presented per
// second and seconds of record per second, side by side. Then presentation
// alone, flat out: presents per second of each path and their ratio.
//
//   quillon-bench-zoom [SECONDS]
#include <QGuiApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/drive_table.h"
#include "platform/window_surface.h"
#include "playback/playback_engine.h"
#include "playback/surface_renderer.h"
#include "playback/video_decoder.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    double seconds = 0;
    double presentsPerSecond = 0;
    double recordPerSecond = 0;
};

Run Play16(playback::VideoDecoder& decoder, disk::RecorderVolume& volume, const playback::ViewZoom& zoom)
{
    platform::WindowSurface video(640, 480);
    platform::WindowSurface main(925, 640);
    std::atomic<long> presents{0};
    video.SetRepaintHook([&](const QRect&) { presents.fetch_add(1); });
    playback::PlaybackEngine engine(decoder);
    engine.UseSoundDevice(false);
    engine.SetHosts(nullptr, nullptr, &main);
    Run run;
    if (engine.Attach(&video, &volume, 0, 0) != 1 || !engine.GotoStart())
        return run;
    engine.SetView(playback::PlaybackEngine::kSingleView, 0);
    engine.SetZoom(zoom);
    for (int i = 0; i < 4; ++i)
        engine.Faster();
    presents = 0;
    const auto start = Clock::now();
    engine.PlayForward();
    while (engine.IsPlaying())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    engine.KillTimer();
    run.presentsPerSecond = double(presents.load()) / run.seconds;
    run.recordPerSecond = double(engine.Position()) / run.seconds;
    return run;
}

// Presents per second of one path over the same decoded picture.
template <typename Present>
double Rate(Present present)
{
    const auto start = Clock::now();
    int n = 0;
    for (; n < 20 || Clock::now() - start < std::chrono::milliseconds(700); ++n)
        present();
    return n / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(4, std::atoi(argv[1])) : 48;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const auto dir = std::filesystem::temp_directory_path() / "quillon-bench-zoom";
    std::filesystem::create_directories(dir);
    const std::string image = (dir / "zoom.img").string();
    playback::VideoDecoder decoder;
    if (!decoder.IsLoaded()) {
        std::fprintf(stderr, "no decoding library beside the program\n");
        return 1;
    }
    playback::ViewZoom nearest = playback::ZoomAbout({}, 8, 0.5, 0.5);
    playback::ViewZoom smooth = nearest;
    smooth.smooth = true;

    std::printf("16x playback, one camera, %d s records (real time: 16 pictures and 16 record seconds a second)\n",
                seconds);
    std::printf("%-8s %-14s %10s %16s %12s\n", "format", "view", "wall s", "presents/s", "record s/s");
    for (auto format : {mkdisk::PictureFormat::k352x240, mkdisk::PictureFormat::k720x240,
                        mkdisk::PictureFormat::k352x288, mkdisk::PictureFormat::k720x288}) {
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan record;
        record.format = format;
        record.seconds = static_cast<uint32_t>(seconds);
        plan.records.push_back(record);
        if (const auto written = mkdisk::WriteDisk(plan, image); !written) {
            std::fprintf(stderr, "%s\n", written.Detail().c_str());
            return 1;
        }
        platform::SetDriveImages({image});
        disk::RecorderVolume volume;
        if (!volume.Load(0))
            return 1;
        const std::string size =
            std::to_string(mkdisk::FormatWidth(format)) + "x" + std::to_string(mkdisk::FormatHeight(format));
        const Run whole = Play16(decoder, volume, {});
        const Run zoomed = Play16(decoder, volume, nearest);
        const Run blended = Play16(decoder, volume, smooth);
        for (const auto& [name, r] : {std::pair{"whole", whole}, {"8x nearest", zoomed}, {"8x smooth", blended}})
            std::printf("%-8s %-14s %10.2f %16.2f %12.2f\n", size.c_str(), name, r.seconds, r.presentsPerSecond,
                        r.recordPerSecond);
        std::printf("%-8s %-14s %10s %15.3fx %11.3fx\n", size.c_str(), "zoomed/whole", "",
                    zoomed.presentsPerSecond / whole.presentsPerSecond, zoomed.recordPerSecond / whole.recordPerSecond);

        // Presentation alone over the record's first picture of camera 1.
        platform::WindowSurface video(640, 480);
        playback::PlaybackEngine engine(decoder);
        engine.UseSoundDevice(false);
        if (engine.Attach(&video, &volume, 0, 0) != 1 || !engine.GotoStart())
            return 1;
        const auto picture = engine.Picture(0);
        const int w = engine.PictureWidth(), h = engine.PictureHeight();
        playback::SurfaceRenderer renderer;
        if (renderer.Create(&video) != 0)
            return 1;
        const playback::CellRect view{0, 0, 640, 480};
        const double plain = Rate([&] { renderer.Present(picture, w, h, view); });
        const double near = Rate([&] { renderer.PresentZoomed(picture, w, h, view, nearest); });
        const double soft = Rate([&] { renderer.PresentZoomed(picture, w, h, view, smooth); });
        std::printf(
            "%-8s presentation alone, presents/s: whole %.0f, 8x nearest %.0f (%.2fx), 8x smooth %.0f (%.2fx)\n",
            size.c_str(), plain, near, near / plain, soft, soft / plain);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
