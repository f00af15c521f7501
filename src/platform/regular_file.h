#pragma once
// Opens a file for reading only when it is a regular file. A FIFO, a device
// or a socket named as a picture would block the open or the first read for
// ever; it is refused at once instead (the open never waits: O_NONBLOCK).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/unique_fd.h"

namespace platform {

// A stdio stream on the file, or null when it cannot be opened or is not a
// regular file.
inline UniqueFile OpenRegularFile(const char* path)
{
    if (!path)
        return nullptr;
    UniqueFd fd(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd)
        return nullptr;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    // Regular files never block; the flag only guarded the open.
    ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    UniqueFile f(::fdopen(fd.Get(), "rb"));
    if (f)
        fd.Release();  // the stream owns it now
    return f;
}

}  // namespace platform
