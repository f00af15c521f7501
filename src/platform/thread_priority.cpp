#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace platform {

Result<void> LowerThisThreadPriority()
{
    constexpr int kBackgroundNice = 10;
    // On Linux the nice value belongs to the thread named by its id.
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    if (::setpriority(PRIO_PROCESS, thread, kBackgroundNice) != 0) {
        return Error{ErrorKind::Refused, std::string("cannot lower the thread's priority: ") + std::strerror(errno)};
    }
    return {};
}

}  // namespace platform
