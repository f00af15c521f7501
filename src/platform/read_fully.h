#pragma once
// pread until every byte is in, for the disk sources.
#include <cerrno>
#include <cstdint>

#include <sys/types.h>
#include <unistd.h>

namespace platform {

// False on an error or end of file before size bytes.
inline bool ReadFully(int fd, uint64_t offset, void* destination, uint64_t size)
{
    auto* out = static_cast<unsigned char*>(destination);
    uint64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace platform
