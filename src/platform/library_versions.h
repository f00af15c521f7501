#pragma once
// The versions of the libraries this program runs with, as a report names
// them: each as the library reports itself at run time.
#include <string>
#include <vector>

namespace platform {

struct LibraryVersion {
    std::string name;     // "libavcodec"
    std::string version;  // "Lavc59.37.100 (built against Lavc59.37.100)"
};

// libavcodec, libx264 (the build number of the one libavcodec loaded, or
// "not loaded"), OpenSSL and SQLite, in that order.
std::vector<LibraryVersion> LibraryVersions();

}  // namespace platform
