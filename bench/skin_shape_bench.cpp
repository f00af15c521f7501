// How long the window outline of our 925 x 640 background takes: scanline
// bands against one region union per magenta pixel, and the start-up path
// with and without the window.rgn cache.
#include <QImage>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "picture/tbitmap.h"
#include "ui/shape_reference.h"
#include "ui/window_shape.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best and mean milliseconds of runs calls.
void Time(const char* what, int runs, const std::function<void()>& call)
{
    double best = 1e9;
    double total = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        call();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        best = std::min(best, ms);
        total += ms;
    }
    std::printf("%-52s best %8.3f ms  mean %8.3f ms  (%d runs)\n", what, best, total / runs, runs);
}

}  // namespace

int main()
{
    const std::string skin = QUILLON_SOURCE_DIR "/skin/bmp";
    picture::TBitmap background;
    if (!background.Load(skin.c_str(), "backgr.bmp")) {
        std::fprintf(stderr, "skin_shape_bench: no %s/backgr.bmp\n", skin.c_str());
        return 1;
    }
    const QImage image = background.ToImage();
    std::vector<ui::ShapeRect> fast;
    std::vector<ui::ShapeRect> slow;
    std::printf("background %d x %d\n", image.width(), image.height());
    Time("scanline bands (ShapeFromImage)", 200, [&] { fast = ui::ShapeFromImage(image); });
    Time("picture to image + scanline bands", 200, [&] { fast = ui::ShapeFromImage(background.ToImage()); });
    Time("per-pixel region union + xor", 3, [&] { slow = ui_test::ShapeByPixelUnion(image); });
    std::printf("rectangles: %zu, identical to the per-pixel shape: %s\n", fast.size(), fast == slow ? "yes" : "NO");

    const auto dir = std::filesystem::temp_directory_path() / "quillon-shape-bench";
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(skin + "/backgr.bmp", dir / "backgr.bmp",
                               std::filesystem::copy_options::overwrite_existing);
    Time("first start: load BMP, compute, write window.rgn", 50, [&] {
        std::filesystem::remove(dir / "window.rgn");
        ui::LoadShape(dir.string(), "backgr.bmp");
    });
    Time("later start: read window.rgn", 200, [&] { ui::LoadShape(dir.string(), "backgr.bmp"); });
    std::filesystem::remove_all(dir);
    return fast == slow ? 0 : 1;
}
