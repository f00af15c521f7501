#pragma once
// Background threads yield the CPU to the ones the user watches: a thread
// that lowers its own priority runs when playback's timer thread and the
// window's thread leave time over.
#include "platform/error.h"

namespace platform {

// Raises the calling thread's nice value to 10 (Linux schedules threads
// one by one). Fails (Refused) when the system refused.
Result<void> LowerThisThreadPriority();

}  // namespace platform
