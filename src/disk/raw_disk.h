#pragma once
// One physical drive (or the disk image standing in for one), read by whole
// 512-byte sectors. Never writes. Reads are const and safe from several
// threads at once (the drive's sources are); Open, Adopt and Close are not.
#include <cstdint>
#include <span>
#include <string>

#include "platform/drive_table.h"

namespace disk {

constexpr uint32_t kSectorBytes = 512;

using DiskGeometry = platform::DriveGeometry;

class RawDisk {
public:
    RawDisk() = default;
    RawDisk(const RawDisk&) = delete;
    RawDisk& operator=(const RawDisk&) = delete;

    // Drive numbers 0..9 of the drive table; closes a drive already open.
    // whyNot, when given, says why a drive could not be opened (a damaged
    // EWF image, a split image's missing piece, the system's reason).
    bool Open(int driveNumber, std::string* whyNot = nullptr);
    // The same, for a drive number of the table given.
    bool Open(const platform::DriveTable& table, int driveNumber, std::string* whyNot = nullptr);
    // Takes a drive already open (closing one open before).
    void Adopt(platform::DriveHandle opened);
    void Close();
    bool IsOpen() const { return drive.IsOpen(); }

    // Reads count sectors from firstSector into destination. Returns the
    // bytes read, or 0 on failure: no drive, count 0, a destination too
    // small, a span past the end of the drive, or a read error. A partial
    // read is a failure (stale buffer bytes must never pass for disk data).
    uint32_t ReadSectors(uint32_t firstSector, uint32_t count, std::span<uint8_t> destination) const;
    // The same anywhere on a disk of any size (sector numbers past 32 bits,
    // disks past 2 TiB); false with why set on failure.
    bool ReadSectorRun(uint64_t firstSector, uint32_t count, std::span<uint8_t> destination, std::string& why) const;

    // Non-zero on success.
    int QueryGeometry(DiskGeometry& out) const;

    // Sector 0 carries "Kor Halvex" at bytes 2..11, case-sensitive.
    bool HasVolumeSignature() const;

    // Whole sectors on the drive; 0 when none is open.
    uint64_t SectorCount() const { return drive.SizeBytes() / kSectorBytes; }

    // The acquisition digest an EWF image stores (see DriveHandle); false
    // for plain and split images and block devices.
    bool StoredImageHash(std::string& algorithm, std::string& hex) const
    {
        return drive.StoredImageHash(algorithm, hex);
    }
    // The drive itself: its format, files and every stored digest.
    const platform::DriveHandle& Drive() const { return drive; }

private:
    platform::DriveHandle drive;
};

}  // namespace disk
