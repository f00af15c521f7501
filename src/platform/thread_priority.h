#pragma once
// Background threads yield the CPU to the ones the user watches: a thread
// that lowers its own priority runs when playback's timer thread and the
// window's thread leave time over.
#include <string>

namespace platform {

// Raises the calling thread's nice value to 10 (Linux schedules threads
// one by one). False, with error set, when the system refused.
bool LowerThisThreadPriority(std::string& error);

}  // namespace platform
