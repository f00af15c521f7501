#pragma once
// One owner for a file descriptor, and one for a stdio stream: each closes
// what it holds when it goes, unless the caller closed it first to learn
// whether the close (the last write) succeeded.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <utility>

namespace platform {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    explicit operator bool() const { return Valid(); }

    // The descriptor, no longer owned.
    int Release() { return std::exchange(fd_, -1); }
    // Closes what is held (its result unseen) and takes fd.
    void Reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closes what is held and says whether the close succeeded (errno says
    // why not): on a file written through this descriptor a failed close is
    // a failed write. Nothing held closes successfully.
    bool Close()
    {
        const int fd = Release();
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_ = -1;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
// A stdio stream closed when it goes; fclose(file.release()) where the
// close's result matters.
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace platform
