// How long the writer takes for the disks that tests generate most, and for the demo.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/mkdisk/disk_writer.h"

namespace {

double Seconds(const mkdisk::DiskPlan& plan, const std::string& path, int runs)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i)
        if (const auto written = mkdisk::WriteDisk(plan, path); !written) {
            std::fprintf(stderr, "mkdisk_bench: %s\n", written.Detail().c_str());
            return -1;
        }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / runs;
}

}  // namespace

int main()
{
    const std::string path = (std::filesystem::temp_directory_path() / "mkdisk-bench.img").string();
    mkdisk::DiskPlan small;
    mkdisk::RecordPlan r;
    r.seconds = 3;
    r.format = mkdisk::PictureFormat::k352x240;
    r.audioCameras = 0x0F;
    small.records = {r};
    std::printf("3-second 352x240 four-camera record with sound: %.3f s\n", Seconds(small, path, 10));
    r.format = mkdisk::PictureFormat::k720x288;
    small.records = {r};
    std::printf("3-second 720x288 four-camera record with sound: %.3f s\n", Seconds(small, path, 5));
    std::printf("demo disk: %.3f s\n", Seconds(mkdisk::DemoPlan(), path, 2));
    std::filesystem::remove(path);
    return 0;
}
