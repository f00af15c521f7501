#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

bool LowerThisThreadPriority(std::string& error)
{
    constexpr int kBackgroundNice = 10;
    // On Linux the nice value belongs to the thread named by its id.
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    if (::setpriority(PRIO_PROCESS, thread, kBackgroundNice) != 0) {
        error = std::string("cannot lower the thread's priority: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace platform
