#pragma once
// A written disk (quillon-mkdisk's writer, with its manifest) in memory, and
// the byte patches that make records unlisted, orphan or overwritten.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "disk/recovery_scan.h"
#include "disk/volume.h"
#include "support/file_bytes.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace recovery_test {

struct WrittenDisk {
    std::vector<uint8_t> bytes;
    mkdisk::Manifest manifest;

    void Be16(uint64_t at, uint16_t v)
    {
        bytes.at(at) = uint8_t(v >> 8);
        bytes.at(at + 1) = uint8_t(v);
    }
    void Be32(uint64_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes.at(at + i) = uint8_t(v >> (24 - 8 * i));
    }
    uint32_t GetBe32(uint64_t at) const
    {
        return uint32_t(bytes.at(at)) << 24 | uint32_t(bytes.at(at + 1)) << 16 | uint32_t(bytes.at(at + 2)) << 8 |
               bytes.at(at + 3);
    }
    uint16_t RecordCount() const { return uint16_t(bytes.at(24) << 8 | bytes.at(25)); }
    uint16_t FirstEntry() const { return uint16_t(bytes.at(38) << 8 | bytes.at(39)); }
    void SetRecordCount(uint16_t n) { Be16(24, n); }
    void SetFirstEntry(uint16_t n) { Be16(38, n); }
    // Byte offset of a table slot (counted from 1).
    uint64_t Slot(uint32_t slot) const { return uint64_t(manifest.tableSector) * 512 + uint64_t(slot - 1) * 32; }
    uint64_t IndexEntry(uint64_t k) const { return uint64_t(manifest.indexSector) * 512 + k * 4; }
    void ZeroSlot(uint32_t slot) { std::fill_n(bytes.begin() + long(Slot(slot)), 32, 0); }
    void CopySlot(uint32_t from, uint32_t to)
    {
        std::vector<uint8_t> entry(bytes.begin() + long(Slot(from)), bytes.begin() + long(Slot(from) + 32));
        std::copy(entry.begin(), entry.end(), bytes.begin() + long(Slot(to)));
    }
    // Zeroes record r's index entries o .. o + c.
    void ZeroIndex(size_t r)
    {
        const auto& rec = manifest.records.at(r);
        for (uint64_t k = rec.indexOffset; k <= rec.indexOffset + rec.segmentCount; ++k)
            Be32(IndexEntry(k), 0);
    }
    // Record r's segment boundaries as the manifest says they were written.
    std::vector<uint32_t> Boundaries(size_t r) const
    {
        const auto& rec = manifest.records.at(r);
        std::vector<uint32_t> out;
        for (const auto& s : rec.segments)
            out.push_back(s.firstSector);
        out.push_back(rec.segments.back().firstSector + rec.segments.back().sectors);
        return out;
    }
    uint64_t Sectors() const { return bytes.size() / 512; }
};

inline WrittenDisk Write(const mkdisk::DiskPlan& plan)
{
    testing_support::TempDir dir;
    WrittenDisk disk;
    const std::string path = dir.File("recover.img");
    EXPECT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, path, &disk.manifest)));
    disk.bytes = testing_support::ReadBytes(path);
    return disk;
}

// Loads the bytes (kept alive by the caller) and scans them.
inline platform::Result<disk::Recovery> Scan(const std::vector<uint8_t>& bytes, const disk::ScanControl& control = {})
{
    disk::VolumeLoad load = disk::Volume::FromBytes(bytes);
    if (!load.volume)
        return platform::Error{platform::ErrorKind::Damaged, "the volume does not load"};
    return disk::ScanForRecordings(*load.volume, control);
}

// The map covers the disk from sector 0 without gaps or overlaps, and
// neighbouring runs differ in kind.
inline void ExpectWholeMap(const disk::Recovery& recovery, uint64_t diskSectors)
{
    uint64_t at = 0;
    for (size_t i = 0; i < recovery.map.size(); ++i) {
        const disk::SectorRun& run = recovery.map[i];
        EXPECT_EQ(run.firstSector, at) << "run " << i;
        EXPECT_GT(run.sectorCount, 0u) << "run " << i;
        if (i > 0) {
            EXPECT_NE(run.kind, recovery.map[i - 1].kind) << "run " << i;
        }
        at = run.firstSector + run.sectorCount;
    }
    EXPECT_EQ(at, diskSectors);
}

// Sectors of one kind in the map.
inline uint64_t MapSectors(const disk::Recovery& recovery, disk::SectorKind kind)
{
    uint64_t n = 0;
    for (const disk::SectorRun& run : recovery.map)
        if (run.kind == kind)
            n += run.sectorCount;
    return n;
}

}  // namespace recovery_test
