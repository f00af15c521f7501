#pragma once
// What names a recorder disk in a case: the path as given, its size and the
// SHA-256 of its sector 0 and of its record table's sectors (and of the
// whole disk once it was hashed). Two disks with the same identity hold the
// same header and table.
#include <cstdint>
#include <string>

#include "platform/error.h"

namespace disk {
class Volume;
}

namespace casefile {

struct DiskIdentity {
    std::string path;          // as the user gave it
    std::string resolvedPath;  // an image's absolute path (empty for a drive number)
    uint64_t bytes = 0;
    std::string sector0Sha256;
    std::string tableSha256;  // empty for a disk whose header lists no record
    std::string diskSha256;   // empty until the whole disk was hashed
    // How the disk or its image was taken, as the examiner wrote it (the
    // imager, write blocker, the image's own hashes); not part of the
    // identity and never compared.
    std::string imagingNotes;
};

// The loaded volume's identity (path: as the user gave it); a sector that
// cannot be read is refused with its number.
platform::Result<DiskIdentity> IdentifyDisk(const disk::Volume& volume, const std::string& path);

}  // namespace casefile
