#pragma once
// What the opened drive was, taken when it was opened and kept with it: the
// path as opened and what the system said of the file or device behind it
// then. A report names the disk from this, never from a drive number looked
// up again later (the drive table changes when a disk is attached).
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct DriveIdentity {
    std::string path;          // as opened
    std::string absolutePath;  // lexically normal; empty when it could not be resolved
    std::string format;        // "raw", "split" or "ewf"
    bool isDevice = false;
    bool statKnown = false;  // false when stat failed: the fields below are zero
    // A regular file (for split and EWF: the first piece or segment file).
    uint64_t device = 0;  // st_dev
    uint64_t inode = 0;   // st_ino
    uint64_t fileBytes = 0;
    int64_t modifiedSeconds = 0;  // st_mtim, UTC seconds since 1970
    int64_t modifiedNanoseconds = 0;
    // A block device.
    uint32_t major = 0, minor = 0;  // of st_rdev
    std::string model, serial;      // /sys/block/NAME/device, empty when unreadable
    // The disk's bytes as the drive reads them.
    uint64_t sizeBytes = 0;
    // Split and EWF images: every host file in order, the first included.
    std::vector<std::string> files;
};

// Describes path as it is now. format, sizeBytes and files are the opened
// source's; sysBlock is where block devices' attributes are read.
DriveIdentity IdentifyDrive(const std::string& path, const std::string& format, uint64_t sizeBytes,
                            std::vector<std::string> files, const std::string& sysBlock = "/sys/block");

// One line for people: "file dev 2049 inode 131 size 1048576 bytes modified
// 2026-12-08T04:10:00.123456789Z" or "block device 8:16 model ... serial ...".
std::string IdentityText(const DriveIdentity& identity);

// The same file or device, unchanged as far as the system tells: for a
// file its device, inode, size and modification time; for a block device its
// numbers, size and serial. False when either could not be examined.
bool SameIdentity(const DriveIdentity& a, const DriveIdentity& b);

}  // namespace platform
