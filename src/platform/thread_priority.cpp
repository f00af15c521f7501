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
    // Its disk reads too: the lowest level of the best-effort class (never
    // the idle class, which a busy disk may starve for good). Schedulers
    // without priorities (none, mq-deadline) take it and ignore it.
    constexpr int kWhoProcess = 1;  // IOPRIO_WHO_PROCESS: one thread, by id
    constexpr int kClassBestEffort = 2;
    constexpr int kClassShift = 13;
    if (::syscall(SYS_ioprio_set, kWhoProcess, thread, kClassBestEffort << kClassShift | kBackgroundDiskLevel) != 0) {
        return Error{ErrorKind::Refused,
                     std::string("cannot lower the thread's disk priority: ") + std::strerror(errno)};
    }
    return {};
}

}  // namespace platform
