// Recorder disk images from the fuzzer through the recovery scan: unlisted
// entries, orphan index runs, carving and the map. The signature is put in
// place so that every input reaches the scan; the volume is built from the
// bytes in memory. The map must cover the disk and every recording must
// have one status a second and one more boundary.
#include <cstdint>
#include <cstring>
#include <vector>

#include "disk/recovery_scan.h"
#include "disk/volume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 512 || size > (4u << 20))
        return 0;
    std::vector<uint8_t> image(data, data + size);
    std::memcpy(image.data() + 2, "Kor Halvex", 10);
    const disk::VolumeLoad load = disk::Volume::FromBytes(image);
    if (!load.volume)
        return 0;
    const auto recovery = disk::ScanForRecordings(*load.volume);
    if (!recovery)
        return 0;
    uint64_t at = 0;
    for (const disk::SectorRun& run : recovery->map) {
        if (run.firstSector != at || run.sectorCount == 0)
            __builtin_trap();
        at += run.sectorCount;
    }
    if (at != load.volume->DiskSectorCount())
        __builtin_trap();
    for (const disk::RecoveredRecording& r : recovery->recordings) {
        if (r.sectorIndex.size() != r.status.size() + 1 || r.status.empty())
            __builtin_trap();
        for (size_t j = 0; j + 1 < r.sectorIndex.size(); ++j)
            if (r.sectorIndex[j] > r.sectorIndex[j + 1] || r.sectorIndex[j + 1] > at)
                __builtin_trap();
    }
    return 0;
}
