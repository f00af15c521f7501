// The descriptor owner, and the openers built on it: whatever they refuse,
// they leave no descriptor open behind them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "platform/disk_source.h"
#include "platform/regular_file.h"
#include "platform/unique_fd.h"
#include "support/temp_dir.h"

namespace {

using platform::UniqueFd;

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

std::size_t OpenDescriptors()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

void WriteFile(const std::string& path, std::size_t bytes)
{
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

TEST(UniqueFdTest, OwnsOneDescriptorThroughMovesReleasesAndResets)
{
    int raw = -1;
    {
        UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(fd.Valid());
        raw = fd.Get();
        UniqueFd moved(std::move(fd));
        EXPECT_FALSE(fd.Valid());
        EXPECT_EQ(moved.Get(), raw);
        UniqueFd assigned;
        assigned = std::move(moved);
        EXPECT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw)) << "closed when its last owner went";

    UniqueFd kept(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const int released = kept.Release();
    EXPECT_FALSE(kept.Valid());
    EXPECT_TRUE(IsOpen(released));
    kept.Reset(released);
    kept.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    EXPECT_FALSE(IsOpen(released)) << "Reset closes what it held";
    EXPECT_TRUE(kept.Close());
    EXPECT_TRUE(UniqueFd().Close()) << "nothing held closes successfully";
}

TEST(UniqueFdTest, AFailedCloseIsReportedWithItsReason)
{
    UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    ::close(fd.Get());  // behind its back: the owner's own close now fails
    errno = 0;
    EXPECT_FALSE(fd.Close());
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(fd.Valid());
}

TEST(UniqueFdTest, RefusedImagesAndFilesLeaveNoDescriptorOpen)
{
    testing_support::TempDir dir;
    WriteFile(dir.File("set.001"), 4096);
    WriteFile(dir.File("set.002"), 1000);  // short before the last
    WriteFile(dir.File("set.003"), 4096);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    WriteFile(dir.File("plain.img"), 4096);

    const std::size_t before = OpenDescriptors();
    std::string why;
    EXPECT_EQ(platform::OpenSplitSource(dir.File("set.001"), why), nullptr);
    EXPECT_NE(why.find("set.002"), std::string::npos) << why;
    EXPECT_EQ(platform::OpenFileSource(dir.File("fifo"), why), nullptr);
    EXPECT_EQ(platform::OpenFileSource(dir.Path().string(), why), nullptr);
    EXPECT_FALSE(platform::OpenRegularFile(dir.File("fifo").c_str()));
    EXPECT_FALSE(platform::OpenRegularFile(dir.Path().c_str()));
    EXPECT_EQ(OpenDescriptors(), before) << "a refusal left a descriptor open";

    std::filesystem::resize_file(dir.File("set.002"), 4096);
    {
        const auto split = platform::OpenSplitSource(dir.File("set.001"), why);
        ASSERT_NE(split, nullptr) << why;
        EXPECT_EQ(split->SizeBytes(), 3u * 4096);
        EXPECT_EQ(OpenDescriptors(), before + 3);
        const auto plain = platform::OpenFileSource(dir.File("plain.img"), why);
        ASSERT_NE(plain, nullptr) << why;
        const auto stream = platform::OpenRegularFile(dir.File("plain.img").c_str());
        ASSERT_TRUE(stream);
        EXPECT_EQ(OpenDescriptors(), before + 5);
    }
    EXPECT_EQ(OpenDescriptors(), before) << "a source or stream kept a descriptor after it went";
}

}  // namespace
