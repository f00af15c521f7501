// Frame extraction speed: every frame of a large generated record, read
// from an image in the page cache, in MB/s of segment bytes scanned; beside
// a naive per-position scan of the same bytes and ffmpeg's own pass over
// the same elementary stream.
//
//   quillon-bench-frames [--seconds N] [--keep DIR]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disk/recorder_volume.h"
#include "platform/drive_table.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

uint64_t SegmentBytes(disk::RecorderVolume& v)
{
    uint64_t total = 0;
    const auto index = v.SectorIndex();
    for (size_t j = 0; j + 1 < index.size(); ++j)
        total += uint64_t(index[j + 1] - index[j]) * 512;
    return total;
}

// Fast path: NextFrame as playback calls it.
uint64_t ExtractAll(disk::RecorderVolume& v, std::vector<uint8_t>& frame, std::vector<uint8_t>& block)
{
    v.SelectSegment(0);
    v.ResetFrameAssembly();
    uint64_t frames = 0;
    for (int failures = 0; failures < 2;) {
        uint32_t n = 0;
        int delivered = 0;
        if (v.NextFrame(frame, n, false, 0, block, &delivered)) {
            ++frames;
            failures = 0;
        } else {
            ++failures;
        }
    }
    return frames;
}

// The naive way: a call and four byte comparisons at every position.
uint64_t NaiveScan(disk::RecorderVolume& v)
{
    uint64_t codes = 0;
    for (uint32_t s = 0; s < v.SegmentCount(); ++s) {
        v.SelectSegment(s);
        v.ReadAhead();
        do {
            if (v.CursorByte(0) == 0 && v.CursorByte(1) == 0 && v.CursorByte(2) == 1 && v.CursorByte(3) == 0xB6)
                ++codes;
        } while (v.Advance());
    }
    return codes;
}

}  // namespace

int main(int argc, char** argv)
{
    uint32_t seconds = 60;
    std::string keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = static_cast<uint32_t>(std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--keep") == 0)
            keep = argv[i + 1];
    }
    const std::filesystem::path dir =
        keep.empty() ? std::filesystem::temp_directory_path() / "quillon-bench-frames" : std::filesystem::path(keep);
    std::filesystem::create_directories(dir);
    const std::string image = (dir / "frames.img").string();

    mkdisk::DiskPlan plan;
    mkdisk::RecordPlan record;
    record.format = mkdisk::PictureFormat::k720x240;
    record.seconds = seconds;
    record.qscale = 2;
    record.audioCameras = 0x3;
    plan.records.push_back(record);
    auto start = Clock::now();
    if (const auto written = mkdisk::WriteDisk(plan, image); !written) {
        std::fprintf(stderr, "cannot write the test disk: %s\n", written.Detail().c_str());
        return 1;
    }
    std::printf("wrote %s (%u s of 720x240 x 4 cameras) in %.1f s\n", image.c_str(), seconds, Seconds(start));

    platform::SetDriveImages({image});
    disk::RecorderVolume v;
    if (!v.Load(0) || !v.OpenRecord(0)) {
        std::fprintf(stderr, "cannot open the test disk\n");
        return 1;
    }
    const double mb = double(SegmentBytes(v)) / 1e6;
    std::vector<uint8_t> frame(disk::RecorderVolume::kMaxFrameBytes), block(disk::RecorderVolume::kAudioBlockBytes);
    ExtractAll(v, frame, block);  // warm the page cache

    double best = 1e9;
    uint64_t frames = 0;
    for (int run = 0; run < 5; ++run) {
        start = Clock::now();
        frames = ExtractAll(v, frame, block);
        best = std::min(best, Seconds(start));
    }
    std::printf("NextFrame:    %8.0f MB/s  (%.1f MB of segments, %llu frames, best of 5: %.3f s)\n", mb / best, mb,
                static_cast<unsigned long long>(frames), best);

    start = Clock::now();
    const uint64_t codes = NaiveScan(v);
    const double naive = Seconds(start);
    std::printf("naive scan:   %8.0f MB/s  (Advance + CursorByte per position, %llu VOP codes, %.3f s)\n", mb / naive,
                static_cast<unsigned long long>(codes), naive);

    // The same video bytes as one elementary stream, for ffmpeg.
    const std::string m4v = (dir / "frames.m4v").string();
    {
        std::ofstream out(m4v, std::ios::binary | std::ios::trunc);
        std::vector<uint8_t> sector(512);
        disk::RawDisk raw;
        raw.Open(0);
        for (size_t j = 0; j + 1 < v.SectorIndex().size(); ++j)
            for (uint32_t s = v.SectorIndex()[j]; s < v.SectorIndex()[j + 1]; ++s) {
                raw.ReadSectors(s, 1, sector);
                const uint32_t at = (s - v.SectorIndex()[j]) * 512;
                const uint32_t skip =
                    at < disk::RecorderVolume::kAudioAreaBytes
                        ? disk::RecorderVolume::kAudioAreaBytes - std::min(at, disk::RecorderVolume::kAudioAreaBytes)
                        : 0;
                if (skip < 512)
                    out.write(reinterpret_cast<const char*>(sector.data() + skip), std::streamsize(512 - skip));
            }
    }
    const double m4vMb = double(std::filesystem::file_size(m4v)) / 1e6;
    const std::string command = "ffmpeg -v error -threads 1 -i " + m4v + " -c copy -f null - 2>/dev/null";
    if (std::system(command.c_str()) == 0) {  // warm up
        best = 1e9;
        for (int run = 0; run < 3; ++run) {
            start = Clock::now();
            if (std::system(command.c_str()) != 0)
                break;
            best = std::min(best, Seconds(start));
        }
        std::printf("ffmpeg copy:  %8.0f MB/s  (%.1f MB elementary stream, best of 3: %.3f s: %s)\n", m4vMb / best,
                    m4vMb, best, command.c_str());
    } else {
        std::printf("ffmpeg copy:  not run (ffmpeg missing)\n");
    }
    if (keep.empty())
        std::filesystem::remove_all(dir);
    return 0;
}
