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

namespace platform {
namespace {

class FileSource final : public DiskSource {
public:
    FileSource(int fd, bool isDevice, uint64_t sizeBytes, std::string path)
        : fd(fd), isDevice(isDevice), sizeBytes(sizeBytes), path(std::move(path))
    {
    }
    ~FileSource() override { ::close(fd); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    uint64_t SizeBytes() const override { return sizeBytes; }
    bool ReadAt(uint64_t offset, void* destination, uint64_t size) const override
    {
        if (size == 0 || offset > sizeBytes || size > sizeBytes - offset)
            return false;
        return ReadFully(fd, offset, destination, size);
    }
    const char* FormatName() const override { return "raw"; }
    int DeviceDescriptor() const override { return isDevice ? fd : -1; }
    std::vector<std::string> Files() const override { return {path}; }

private:
    const int fd;
    const bool isDevice;
    const uint64_t sizeBytes;
    const std::string path;
};

}  // namespace

std::unique_ptr<DiskSource> OpenFileSource(const std::string& path, std::string& whyNot)
{
    // Never O_CREAT, never writable: the disk is evidence. O_NONBLOCK keeps a
    // FIFO from hanging the open (it is refused below); files and disks ignore it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        whyNot = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    uint64_t bytes = 0;
    bool isDevice = false;
    std::string why;
    if (::fstat(fd, &st) != 0) {
        why = std::strerror(errno);
    } else if (S_ISBLK(st.st_mode)) {
        isDevice = true;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0)
            why = "the device does not tell its size";
    } else if (S_ISREG(st.st_mode)) {
        bytes = static_cast<uint64_t>(st.st_size);
    } else {
        why = "neither a file nor a block device";
    }
    if (!why.empty()) {
        ::close(fd);
        whyNot = why;
        return nullptr;
    }
    return std::make_unique<FileSource>(fd, isDevice, bytes, path);
}

}  // namespace platform
