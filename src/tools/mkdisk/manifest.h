#pragma once
// What WriteDisk put where, for tests to compare with what a reader extracts.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/mkdisk/volume_writer.h"

namespace mkdisk {

struct ManifestFrame {
    int camera = 0;
    uint32_t second = 0;
    int frame = 0;  // the camera's frame within the second
    bool intra = false;
    bool video = true;            // false: tiny VOP of a camera without video
    uint32_t segment = 0;         // segment that holds the VOP start code
    uint32_t offset = 0;          // of the VOP start code, from the segment's first byte
    int64_t headerOffset = -1;    // of the VO start code before an intra VOP (-1: none)
    uint32_t length = 0;          // VOP bytes (without the zero padding of a segment end)
    uint32_t bytesInSegment = 0;  // < length when the frame straddles into the next segment
    uint32_t crc = 0;             // CRC-32 (zlib) of the VOP bytes
};

struct ManifestSegment {
    uint32_t firstSector = 0;
    uint32_t sectors = 0;
    uint32_t videoStart = 0;    // 16,384 with audio areas, else 0
    uint32_t contentBytes = 0;  // before the zero padding to whole sectors
};

struct ManifestRecord {
    RecordHeader header;
    uint32_t segmentCount = 0;
    uint32_t indexOffset = 0;
    int width = 0;
    int height = 0;
    int frameRate = 0;
    std::vector<uint8_t> voVol;  // the VO + VOL before every intra VOP of the record
    std::vector<ManifestSegment> segments;
    std::vector<ManifestFrame> frames;  // in stream order
};

struct Manifest {
    uint32_t tableSector = 0;
    uint32_t indexSector = 0;
    uint32_t totalSectors = 0;
    std::vector<ManifestRecord> records;
};

// Tab-separated text: one "record", "segment" or "frame" line per item, with a
// header comment naming the columns.
platform::Result<void> WriteManifestText(const Manifest& manifest, const std::string& path);

}  // namespace mkdisk
