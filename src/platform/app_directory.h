#pragma once
#include <string>

namespace platform {

// The running executable's directory, without a trailing slash; empty when
// /proc/self/exe can't be read. Skin, text table and the program's own
// shared libraries are found there.
const std::string& AppDirectory();

}  // namespace platform
