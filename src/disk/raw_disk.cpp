#include "disk/raw_disk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace disk {

namespace {
constexpr char kSignature[] = "Kor Halvex";
constexpr size_t kSignatureOffset = 2;
constexpr size_t kSignatureLength = sizeof(kSignature) - 1;
}  // namespace

bool RawDisk::Open(int driveNumber, std::string* whyNot)
{
    Close();
    drive = platform::DriveHandle::OpenDrive(driveNumber, whyNot);
    return drive.IsOpen();
}

bool RawDisk::Open(const platform::DriveTable& table, int driveNumber, std::string* whyNot)
{
    Close();
    drive = platform::DriveHandle::OpenDrive(table, driveNumber, whyNot);
    return drive.IsOpen();
}

void RawDisk::Adopt(platform::DriveHandle opened)
{
    Close();
    drive = std::move(opened);
}

void RawDisk::Close() { drive.Close(); }

uint32_t RawDisk::ReadSectors(uint32_t firstSector, uint32_t count, std::span<uint8_t> destination) const
{
    std::string why;
    return ReadSectorRun(firstSector, count, destination, why) ? count * kSectorBytes : 0;
}

bool RawDisk::ReadSectorRun(uint64_t firstSector, uint32_t count, std::span<uint8_t> destination,
                            std::string& why) const
{
    if (!drive.IsOpen()) {
        why = "no drive is open";
        return false;
    }
    const uint64_t bytes = uint64_t(count) * kSectorBytes;
    if (count == 0 || bytes > destination.size() || bytes > UINT32_MAX) {
        why = "a read of " + std::to_string(count) + " sectors does not fit its buffer";
        return false;
    }
    if (firstSector > SectorCount() || count > SectorCount() - firstSector) {
        why = "sectors past the disk's end";
        return false;
    }
    return drive.ReadChecked(firstSector * kSectorBytes, destination.data(), bytes, why);
}

int RawDisk::QueryGeometry(DiskGeometry& out) const { return drive.IsOpen() && drive.QueryGeometry(out) ? 1 : 0; }

bool RawDisk::HasVolumeSignature() const
{
    std::array<uint8_t, kSectorBytes> sector{};
    if (ReadSectors(0, 1, sector) == 0)
        return false;
    return std::memcmp(sector.data() + kSignatureOffset, kSignature, kSignatureLength) == 0;
}

}  // namespace disk
