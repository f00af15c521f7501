// The timeline window on a big disk: 8,192 records spread over a year
// (about one an hour, each a few seconds, every kind of run: cameras
// without video, back-to-back records, a clock set back) written by the
// mkdisk library. Measures the disk's load, the window's first picture
// (spans, runs and drawing at 1,200 columns), and the time of a wheel
// notch and of a drag step with the picture drawn again, against the
// display's 16.7 ms a frame. Usage: timeline_bench [IMAGE] (default
// /tmp/timeline-bench.img; removed at the end).
#include <QApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "disk/recorder_volume.h"
#include "platform/drive_table.h"
#include "tools/mkdisk/disk_writer.h"
#include "ui/timeline_window.h"

namespace {

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string image = argc > 1 ? argv[1] : "/tmp/timeline-bench.img";

    mkdisk::DiskPlan plan;
    const auto year = std::chrono::sys_days{std::chrono::year{2023} / 1 / 1};
    constexpr int kRecords = 8192;
    for (int k = 0; k < kRecords; ++k) {
        mkdisk::RecordPlan r;
        // About an hour apart; every 97th record starts ten seconds before the
        // previous one ended (a clock set back), every 13th right after it.
        const int64_t step = 365LL * 86400 / kRecords;
        int64_t at = k * step;
        if (k % 97 == 96)
            at = (k - 1) * step + 2 - 10;
        else if (k % 13 == 12)
            at = (k - 1) * step + 4;
        const auto when = std::chrono::sys_seconds{year} + std::chrono::seconds{at};
        const auto day = std::chrono::floor<std::chrono::days>(when);
        const std::chrono::year_month_day ymd{day};
        const std::chrono::hh_mm_ss hms{when - day};
        r.begin = {int(ymd.year()),          int(unsigned(ymd.month())), int(unsigned(ymd.day())),
                   int(hms.hours().count()), int(hms.minutes().count()), int(hms.seconds().count())};
        r.seconds = k % 13 == 11 ? 4 : 2;
        r.videoCameras = k % 7 == 3 ? 0x0B : 0x00;  // no pictures to encode: the table is what counts here
        r.audioCameras = 0;
        r.qscale = 31;
        r.sensorNoise = false;
        plan.records.push_back(r);
    }
    auto start = Clock::now();
    if (const auto written = mkdisk::WriteDisk(plan, image); !written) {
        std::fprintf(stderr, "timeline_bench: %s\n", written.Detail().c_str());
        return 1;
    }
    std::printf("disk: %d records over a year, written in %.1f s (%.0f MiB)\n", kRecords, Since(start),
                double(std::filesystem::file_size(image)) / 1048576.0);

    platform::SetDriveImages({image});
    disk::RecorderVolume volume;
    start = Clock::now();
    if (!volume.Load(0)) {
        std::fprintf(stderr, "timeline_bench: the disk does not load\n");
        return 1;
    }
    const double load = Since(start);

    start = Clock::now();
    ui::TimelineWindow::Hooks hooks;
    const std::shared_ptr<const disk::Volume> shared = volume.Shared();
    hooks.volume = [shared] { return shared; };
    ui::TimelineWindow window(hooks);
    window.resize(1200, window.height());
    window.ShowWhole();
    QImage first = window.grab().toImage();
    const double open = Since(start);
    std::printf("load: %.3f s; the timeline's first picture: %.3f s (target 1 s); rows: %zu, %zu, %zu, %zu runs\n",
                load, open, window.Model().rows[0].size(), window.Model().rows[1].size(), window.Model().rows[2].size(),
                window.Model().rows[3].size());

    constexpr int kSteps = 60;
    start = Clock::now();
    double worstZoom = 0;
    for (int k = 0; k < kSteps; ++k) {
        const auto one = Clock::now();
        window.ZoomAbout(600, k < kSteps / 2 ? 0.8 : 1.25);
        first = window.grab().toImage();
        worstZoom = std::max(worstZoom, Since(one));
    }
    const double zoom = Since(start) / kSteps;
    window.ShowWhole();
    window.ZoomAbout(600, 0.05);
    start = Clock::now();
    double worstPan = 0;
    for (int k = 0; k < kSteps; ++k) {
        const auto one = Clock::now();
        window.PanBy(k < kSteps / 2 ? 25 : -25);
        first = window.grab().toImage();
        worstPan = std::max(worstPan, Since(one));
    }
    const double pan = Since(start) / kSteps;
    std::printf("wheel notch, drawn again: %.1f ms on average, %.1f ms at worst (display: 16.7 ms)\n", zoom * 1000,
                worstZoom * 1000);
    std::printf("drag step, drawn again: %.1f ms on average, %.1f ms at worst\n", pan * 1000, worstPan * 1000);
    std::filesystem::remove(image);
    return 0;
}
