// Playback cost: quillon-cli play (real engine, real timer, headless
// windows, sound through SDL's dummy driver) for each picture format at
// speed 1 in the quad view with sound on, and at speed 16; CPU time per
// second of playback, and the period speed 16 keeps.
//
//   quillon-bench-play [--seconds N]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tools/mkdisk/disk_writer.h"

namespace {

struct Result {
    double wall = 0;
    double cpu = 0;
    std::vector<std::pair<long, int>> changes;  // elapsed ms, position
};

// Runs the command, reading its output; CPU time from the child's rusage.
Result RunMeasured(const std::vector<std::string>& argv)
{
    Result result;
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return result;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, size_t(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::istringstream lines(out);
    long ms;
    int position;
    while (lines >> ms >> position)
        result.changes.emplace_back(ms, position);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    int seconds = 10;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atoi(argv[i + 1]);
    const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    const std::string cli = bin + "/quillon-cli";
    const auto dir = std::filesystem::temp_directory_path() / "quillon-bench-play";
    std::filesystem::create_directories(dir);
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    std::printf("%-8s %10s %14s %14s %16s\n", "format", "speed", "wall s", "CPU s", "CPU per second");
    for (auto format : {mkdisk::PictureFormat::k352x240, mkdisk::PictureFormat::k720x240,
                        mkdisk::PictureFormat::k352x288, mkdisk::PictureFormat::k720x288}) {
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan record;
        record.format = format;
        record.seconds = static_cast<uint32_t>(seconds + 2);
        record.audioCameras = 0x1;
        plan.records.push_back(record);
        const std::string image = (dir / "play.img").string();
        if (const auto written = mkdisk::WriteDisk(plan, image); !written) {
            std::fprintf(stderr, "%s\n", written.Detail().c_str());
            return 1;
        }
        const std::string size =
            std::to_string(mkdisk::FormatWidth(format)) + "x" + std::to_string(mkdisk::FormatHeight(format));
        const Result normal =
            RunMeasured({cli, "play", image, "--record", "1", "--sound", "--seconds", std::to_string(seconds)});
        std::printf("%-8s %10s %14.2f %14.3f %15.1f%%  (%d fps x 4 cameras, quad, sound on)\n", size.c_str(), "1",
                    normal.wall, normal.cpu, 100 * normal.cpu / normal.wall, mkdisk::FormatFrameRate(format));
        const Result fast = RunMeasured({cli, "play", image, "--record", "1", "--speed", "16"});
        double period = 0;
        if (fast.changes.size() > 2)
            period = double(fast.changes.back().first - fast.changes[1].first) / double(fast.changes.size() - 2);
        std::printf("%-8s %10s %14.2f %14.3f %15.1f%%  (%.1f ms between positions, timer period 62 ms)\n", size.c_str(),
                    "16", fast.wall, fast.cpu, 100 * fast.cpu / fast.wall, period);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
