#pragma once
// A one-record volume made from the raw bytes of each segment (audio area
// included when the volume has one), each padded to whole sectors.
#include <vector>

#include "disk/volume_bytes.h"

namespace testing_support {

inline VolumeBytes SegmentVolume(const std::vector<std::vector<uint8_t>>& segments, bool audioArea)
{
    VolumeBytes image(4);
    image.Header(1, 2, 1).Entry(512, static_cast<uint32_t>(segments.size()), 0, audioArea ? 0xD0 : 0x50);
    uint32_t sector = 4 + static_cast<uint32_t>(segments.size() * 4 / 512);
    for (size_t j = 0; j < segments.size(); ++j) {
        image.Be32(1024 + j * 4, sector);
        image.Put(size_t(sector) * 512, segments[j]);
        sector += static_cast<uint32_t>((segments[j].size() + 511) / 512);
    }
    image.Be32(1024 + segments.size() * 4, sector);
    image.Resize(size_t(sector) * 512);
    return image;
}

}  // namespace testing_support
