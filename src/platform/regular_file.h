#pragma once
// Opens a file for reading only when it is a regular file. A FIFO, a device
// or a socket named as a picture would block the open or the first read for
// ever; it is refused at once instead (the open never waits: O_NONBLOCK).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace platform {

// A stdio stream on the file, or null when it cannot be opened or is not a
// regular file.
inline std::FILE* OpenRegularFile(const char* path)
{
    if (!path)
        return nullptr;
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    // Regular files never block; the flag only guarded the open.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f)
        ::close(fd);
    return f;
}

}  // namespace platform
