#pragma once
// Background threads yield the CPU to the ones the user watches: a thread
// that lowers its own priority runs, and reads the disk, when playback's
// timer thread and the window's thread leave time over.
#include "platform/error.h"

namespace platform {

// The disk priority a lowered thread reads at: the best-effort class's
// lowest level.
inline constexpr int kBackgroundDiskLevel = 7;

// Raises the calling thread's nice value to 10 (Linux schedules threads
// one by one) and puts its disk reads at kBackgroundDiskLevel. Fails
// (Refused) when the system refused either.
Result<void> LowerThisThreadPriority();

}  // namespace platform
