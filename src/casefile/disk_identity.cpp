#include "casefile/disk_identity.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "disk/raw_disk.h"
#include "disk/volume.h"
#include "evidence/digest.h"

namespace casefile {

using platform::Error;
using platform::ErrorKind;

platform::Result<DiskIdentity> IdentifyDisk(const disk::Volume& volume, const std::string& path)
{
    DiskIdentity identity;
    identity.path = path;
    std::error_code ec;
    if (std::filesystem::exists(path, ec))
        identity.resolvedPath = std::filesystem::absolute(path, ec).lexically_normal().string();
    identity.bytes = volume.DiskSectorCount() * disk::kSectorBytes;
    std::vector<uint8_t> sector(disk::kSectorBytes);
    if (volume.ReadDiskSectors(0, 1, sector) == 0)
        return Error{ErrorKind::ReadFailed, "sector 0 of " + path + " cannot be read"};
    evidence::Digest first(evidence::DigestKind::Sha256);
    first.Update(sector);
    identity.sector0Sha256 = first.FinishHex();

    // A disk without records (or with a header naming none) is named by its
    // size and sector 0 alone.
    disk::SectorRange table;
    if (!volume.RecordTableSectors(table) || table.count == 0)
        return identity;
    evidence::Digest tableDigest(evidence::DigestKind::Sha256);
    for (uint32_t s = 0; s < table.count; ++s) {
        if (volume.ReadDiskSectors(table.first + s, 1, sector) == 0)
            return Error{ErrorKind::ReadFailed,
                         "sector " + std::to_string(uint64_t{table.first} + s) + " of " + path + " cannot be read"};
        tableDigest.Update(sector);
    }
    identity.tableSha256 = tableDigest.FinishHex();
    return identity;
}

}  // namespace casefile
