#pragma once
// The disk image a case names, so that the program started with the case
// offers that image among its disks without being told it again.
#include <string>

namespace casefile {

// The image's absolute path when the case at casePath names an image file
// that is there now; empty for a case of a drive, an image gone or moved,
// or a file that is no case.
std::string CaseDiskImage(const std::string& casePath);

}  // namespace casefile
