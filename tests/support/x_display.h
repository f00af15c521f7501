#pragma once
// Whose X server holds a display number: tests start Xvfb side by side, and a
// server that lost the number to another test's may live a moment longer
// and may even see the other's socket appear. The lock file the X server
// writes before it listens names the process that holds the display.
#include <sys/types.h>

#include <fstream>
#include <string>

namespace testing_support {

inline bool HoldsDisplay(pid_t server, int display)
{
    std::ifstream lock("/tmp/.X" + std::to_string(display) + "-lock");
    long owner = 0;
    return server > 0 && (lock >> owner) && owner == static_cast<long>(server);
}

}  // namespace testing_support
