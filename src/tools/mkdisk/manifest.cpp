#include "tools/mkdisk/manifest.h"

#include <cstdio>
#include <memory>

#include "platform/unique_fd.h"

namespace mkdisk {

platform::Result<void> WriteManifestText(const Manifest& m, const std::string& path)
{
    platform::UniqueFile f(std::fopen(path.c_str(), "w"));
    if (!f) {
        return platform::Error{platform::ErrorKind::WriteFailed, path + ": cannot create"};
    }
    std::FILE* o = f.get();
    std::fprintf(o, "# volume\ttable_sector\tindex_sector\ttotal_sectors\n");
    std::fprintf(o, "# "
                    "record\tnumber\tbegin\tsegments\tindex_offset\tkind_flags\tformat_byte\twidth\theight\tfps\tvideo_"
                    "mask\taudio_mask\n");
    std::fprintf(o, "# segment\trecord\tsegment\tfirst_sector\tsectors\tvideo_start\tcontent_bytes\n");
    std::fprintf(o, "# "
                    "frame\trecord\tsegment\toffset\tlength\tbytes_in_"
                    "segment\tcamera\tsecond\tframe\tintra\tvideo\theader_offset\tcrc32\n");
    std::fprintf(o, "volume\t%u\t%u\t%u\n", m.tableSector, m.indexSector, m.totalSectors);
    for (size_t r = 0; r < m.records.size(); ++r) {
        const ManifestRecord& rec = m.records[r];
        const RecordTime& t = rec.header.begin;
        std::fprintf(o,
                     "record\t%zu\t%04d-%02d-%02dT%02d:%02d:%02d\t%u\t%u\t0x%02X\t0x%02X\t%d\t%d\t%d\t0x%04X\t0x%04X\n",
                     r + 1, t.year, t.month, t.day, t.hour, t.minute, t.second, rec.segmentCount, rec.indexOffset,
                     rec.header.kindFlags, rec.header.formatByte, rec.width, rec.height, rec.frameRate,
                     rec.header.videoChannels, rec.header.audioChannels);
        for (size_t s = 0; s < rec.segments.size(); ++s) {
            const ManifestSegment& seg = rec.segments[s];
            std::fprintf(o, "segment\t%zu\t%zu\t%u\t%u\t%u\t%u\n", r + 1, s, seg.firstSector, seg.sectors,
                         seg.videoStart, seg.contentBytes);
        }
        for (const ManifestFrame& fr : rec.frames)
            std::fprintf(o, "frame\t%zu\t%u\t%u\t%u\t%u\t%d\t%u\t%d\t%d\t%d\t%lld\t%08x\n", r + 1, fr.segment,
                         fr.offset, fr.length, fr.bytesInSegment, fr.camera, fr.second, fr.frame, fr.intra ? 1 : 0,
                         fr.video ? 1 : 0, static_cast<long long>(fr.headerOffset), fr.crc);
    }
    const bool failed = std::ferror(o) != 0;
    if (std::fclose(f.release()) != 0 || failed) {
        return platform::Error{platform::ErrorKind::WriteFailed, path + ": write failed"};
    }
    return {};
}

}  // namespace mkdisk
