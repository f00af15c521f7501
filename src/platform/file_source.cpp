// A plain image file or a whole-disk block device.
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/disk_source.h"
#include "platform/read_fully.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

class FileSource final : public DiskSource {
public:
    FileSource(UniqueFd fd, bool isDevice, uint64_t sizeBytes, std::string path)
        : fd(std::move(fd)), isDevice(isDevice), sizeBytes(sizeBytes), path(std::move(path))
    {
    }

    uint64_t SizeBytes() const override { return sizeBytes; }
    bool ReadAt(uint64_t offset, void* destination, uint64_t size) const override
    {
        if (size == 0 || offset > sizeBytes || size > sizeBytes - offset)
            return false;
        return ReadFully(fd.Get(), offset, destination, size);
    }
    const char* FormatName() const override { return "raw"; }
    int DeviceDescriptor() const override { return isDevice ? fd.Get() : -1; }
    std::vector<std::string> Files() const override { return {path}; }

private:
    const UniqueFd fd;
    const bool isDevice;
    const uint64_t sizeBytes;
    const std::string path;
};

}  // namespace

std::unique_ptr<DiskSource> OpenFileSource(const std::string& path, std::string& whyNot)
{
    // Never O_CREAT, never writable: the disk is evidence. O_NONBLOCK keeps a
    // FIFO from hanging the open (it is refused below); files and disks ignore it.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        whyNot = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    uint64_t bytes = 0;
    bool isDevice = false;
    std::string why;
    if (::fstat(fd.Get(), &st) != 0) {
        why = std::strerror(errno);
    } else if (S_ISBLK(st.st_mode)) {
        isDevice = true;
        if (::ioctl(fd.Get(), BLKGETSIZE64, &bytes) != 0)
            why = "the device does not tell its size";
    } else if (S_ISREG(st.st_mode)) {
        bytes = static_cast<uint64_t>(st.st_size);
    } else {
        why = "neither a file nor a block device";
    }
    if (!why.empty()) {
        whyNot = why;
        return nullptr;
    }
    return std::make_unique<FileSource>(std::move(fd), isDevice, bytes, path);
}

}  // namespace platform
