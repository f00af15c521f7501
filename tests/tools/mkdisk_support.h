#pragma once
// Helpers for the writer's tests: temporary files, a plan written with its
// manifest, the tool run as a process, reading images by hand, and pulling
// one camera's elementary stream out of an image with the manifest.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/byte_order.h"
#include "support/file_bytes.h"
#include "support/succeeded.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/manifest.h"

namespace mkdisk_test {

using testing_support::Be16;
using testing_support::Be32;
using testing_support::ReadBytes;

// A path in the temporary directory, removed when the object goes.
class TempPath {
public:
    explicit TempPath(const std::string& suffix)
    {
        static std::atomic<int> counter{0};
        path_ = (std::filesystem::temp_directory_path() /
                 ("mkdisk-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + suffix))
                    .string();
    }
    ~TempPath()
    {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;
    const std::string& str() const { return path_; }

private:
    std::string path_;
};

// A plan written to a temporary file: the image's bytes and the manifest.
struct Written {
    std::vector<uint8_t> image;
    mkdisk::Manifest manifest;
};

inline Written Write(const mkdisk::DiskPlan& plan)
{
    TempPath path(".img");
    Written w;
    EXPECT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, path.str(), &w.manifest)));
    w.image = ReadBytes(path.str());
    return w;
}

// quillon-mkdisk run with args, its output discarded: its exit status, or -1
// when it did not exit.
inline int Exit(const std::string& args)
{
    const std::string tool = std::string(QUILLON_BIN_DIR) + "/quillon-mkdisk";
    const int status = std::system((tool + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ToolRun {
    int status = -1;
    std::string out;
};

// A command run under /bin/sh: its stdout and exit status (-1 when it could
// not be started or did not exit); its stderr is left as it is.
inline ToolRun Capture(const std::string& command)
{
    ToolRun run;
    std::FILE* raw = ::popen(command.c_str(), "r");
    if (!raw)
        return run;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, raw)) > 0)
        run.out.append(buf, n);
    const int status = ::pclose(raw);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

inline const uint8_t* SegmentBytes(const std::vector<uint8_t>& image, const mkdisk::ManifestRecord& r, uint32_t seg)
{
    return image.data() + size_t{r.segments.at(seg).firstSector} * 512;
}

// A frame's VOP bytes, joined across a segment end when it straddles.
inline std::vector<uint8_t> FrameBytes(const std::vector<uint8_t>& image, const mkdisk::ManifestRecord& r,
                                       const mkdisk::ManifestFrame& f)
{
    const uint8_t* seg = SegmentBytes(image, r, f.segment);
    std::vector<uint8_t> out(seg + f.offset, seg + f.offset + f.bytesInSegment);
    if (f.bytesInSegment < f.length) {
        const auto& next = r.segments.at(f.segment + 1);
        const uint8_t* more = SegmentBytes(image, r, f.segment + 1) + next.videoStart;
        out.insert(out.end(), more, more + (f.length - f.bytesInSegment));
    }
    return out;
}

// One camera's frames as decoder packets: the header (VO + VOL + user data)
// before each intra VOP, the first packet led by the fixed VOS + VO start bytes.
inline std::vector<std::vector<uint8_t>> CameraPackets(const std::vector<uint8_t>& image,
                                                       const mkdisk::ManifestRecord& r, int camera)
{
    std::vector<std::vector<uint8_t>> packets;
    for (const auto& f : r.frames) {
        if (f.camera != camera)
            continue;
        std::vector<uint8_t> p;
        if (packets.empty())
            p = {0x00, 0x00, 0x01, 0xB0, 0x03, 0x00, 0x00, 0x01, 0xB5, 0x09};
        if (f.headerOffset >= 0) {
            const uint8_t* seg = SegmentBytes(image, r, f.segment);
            p.insert(p.end(), seg + f.headerOffset, seg + f.offset);
        }
        const auto vop = FrameBytes(image, r, f);
        p.insert(p.end(), vop.begin(), vop.end());
        packets.push_back(std::move(p));
    }
    return packets;
}

}  // namespace mkdisk_test
