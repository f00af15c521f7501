#include "tools/mkdisk/manifest.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>

#include "platform/unique_fd.h"

namespace mkdisk {

const char* SegmentStateName(SegmentState s)
{
    switch (s) {
    case SegmentState::Intact: return "intact";
    case SegmentState::Overwritten: return "overwritten";
    case SegmentState::Empty: return "empty";
    }
    return "intact";
}

void NoteOverwrites(Manifest& m)
{
    // A record's sectors, first to last, as one span (its segments are contiguous).
    auto span = [](const ManifestRecord& r) {
        uint64_t first = UINT64_MAX, end = 0;
        for (const ManifestSegment& s : r.segments)
            if (s.sectors != 0) {
                first = std::min<uint64_t>(first, s.firstSector);
                end = std::max<uint64_t>(end, uint64_t{s.firstSector} + s.sectors);
            }
        return std::pair{first, end};
    };
    for (size_t r = 0; r < m.records.size(); ++r) {
        ManifestRecord& victim = m.records[r];
        for (ManifestSegment& s : victim.segments) {
            s.state = s.sectors == 0 ? SegmentState::Empty : SegmentState::Intact;
            s.byRecord = s.bySegmentFirst = s.bySegmentLast = 0;
        }
        const auto [vFirst, vEnd] = span(victim);
        for (size_t w = r + 1; w < m.records.size(); ++w) {
            const ManifestRecord& later = m.records[w];
            const auto [lFirst, lEnd] = span(later);
            if (lFirst >= vEnd || lEnd <= vFirst)
                continue;
            // Both segment lists ascend in sectors: walk them side by side.
            size_t j = 0;
            for (ManifestSegment& s : victim.segments) {
                if (s.sectors == 0)
                    continue;
                const uint64_t a = s.firstSector, b = a + s.sectors;
                while (j < later.segments.size() &&
                       uint64_t{later.segments[j].firstSector} + later.segments[j].sectors <= a)
                    ++j;
                for (size_t k = j; k < later.segments.size() && later.segments[k].firstSector < b; ++k) {
                    if (later.segments[k].sectors == 0)
                        continue;
                    if (s.state != SegmentState::Overwritten) {
                        s.state = SegmentState::Overwritten;
                        s.byRecord = static_cast<uint32_t>(w + 1);
                        s.bySegmentFirst = static_cast<uint32_t>(k);
                    }
                    if (s.byRecord == w + 1)
                        s.bySegmentLast = static_cast<uint32_t>(k);
                }
            }
        }
    }
}

namespace {

void WriteActivity(std::FILE* o, size_t number, const ManifestRecord& rec)
{
    const SceneLayout l = LayoutFor(rec.width, rec.height);
    std::fprintf(o, "scene\t%zu\t%s\t%d\n", number, SceneName(rec.scene), kSceneNoiseLuma);
    for (const auto& [name, box] : {std::pair{"clock", l.clock}, std::pair{"frame code", l.frameCode}})
        std::fprintf(o, "mask\t%zu\t%s\t%d\t%d\t%d\t%d\n", number, name, box.x0, box.y0, box.x1, box.y1);
    for (int c = 0; c < 4; ++c) {
        for (const MotionEvent& e : rec.motion)
            if (e.camera == c)
                std::fprintf(o, "motion\t%zu\t%d\t%u-%u\t%d\t%d\t%d\t%d\n", number, c + 1, e.seconds.first,
                             e.seconds.last, l.objectTop, l.objectBottom, l.objectWidth, l.objectStep);
        for (const LightingRamp& e : rec.lighting)
            if (e.cameras & (1u << c))
                std::fprintf(o, "lighting\t%zu\t%d\t%u-%u\t%d\n", number, c + 1, e.seconds.first, e.seconds.last,
                             kLightingRampPercent);
        for (const Flicker& e : rec.flickers)
            if (e.cameras & (1u << c))
                std::fprintf(
                    o, "flicker\t%zu\t%d\t%u\t%d\t%d\t%d\n", number, c + 1, e.second, FlickerFirstFrame(rec.frameRate),
                    std::min(kFlickerFrames, rec.frameRate - FlickerFirstFrame(rec.frameRate)), kFlickerPercent);
    }
}

}  // namespace

platform::Result<void> WriteManifestText(const Manifest& m, const std::string& path)
{
    platform::UniqueFile f(std::fopen(path.c_str(), "w"));
    if (!f) {
        return platform::Error{platform::ErrorKind::WriteFailed, path + ": cannot create"};
    }
    std::FILE* o = f.get();
    std::fprintf(o, "# volume\ttable_sector\tindex_sector\ttotal_sectors\n");
    std::fprintf(o, "# area\tname\tfirst_sector\tsectors\n");
    std::fprintf(o, "# "
                    "record\tnumber\tbegin\tsegments\tindex_offset\tkind_flags\tformat_byte\twidth\theight\tfps\tvideo_"
                    "mask\taudio_mask\n");
    std::fprintf(o, "# placement\trecord\tplacement\tslot\tentry\tindex_offset\tindex\n");
    std::fprintf(o, "# segment\trecord\tsegment\tfirst_sector\tsectors\tvideo_start\tcontent_bytes\n");
    std::fprintf(o, "# state\trecord\tsegment\tstate\tby_record\tby_segments\n");
    std::fprintf(o, "# "
                    "frame\trecord\tsegment\toffset\tlength\tbytes_in_"
                    "segment\tcamera\tsecond\tframe\tintra\tvideo\theader_offset\tcrc32\n");
    const bool activity =
        std::any_of(m.records.begin(), m.records.end(), [](const ManifestRecord& r) { return r.scene != Scene::Flat; });
    if (activity) {
        std::fprintf(o, "# scene\trecord\tscene\tnoise_luma\n");
        std::fprintf(o, "# mask\trecord\tname\tx0\ty0\tx1\ty1\n");
        std::fprintf(o, "# motion\trecord\tcamera\tseconds\tobject_y0\tobject_y1\tobject_width\tstep\n");
        std::fprintf(o, "# lighting\trecord\tcamera\tseconds\tpercent\n");
        std::fprintf(o, "# flicker\trecord\tcamera\tsecond\tfirst_frame\tframes\tpercent\n");
    }
    std::fprintf(o, "volume\t%u\t%u\t%u\n", m.tableSector, m.indexSector, m.totalSectors);
    std::fprintf(o, "area\theader\t0\t1\n");
    std::fprintf(o, "area\trecord table\t%u\t%u\n", m.tableSector, m.tableSectors);
    std::fprintf(o, "area\tindex area\t%u\t%u\n", m.indexSector, m.indexSectors);
    for (size_t r = 0; r < m.records.size(); ++r) {
        const ManifestRecord& rec = m.records[r];
        const RecordTime& t = rec.header.begin;
        std::fprintf(o,
                     "record\t%zu\t%04d-%02d-%02dT%02d:%02d:%02d\t%u\t%u\t0x%02X\t0x%02X\t%d\t%d\t%d\t0x%04X\t0x%04X\n",
                     r + 1, t.year, t.month, t.day, t.hour, t.minute, t.second, rec.segmentCount, rec.indexOffset,
                     rec.header.kindFlags, rec.header.formatByte, rec.width, rec.height, rec.frameRate,
                     rec.header.videoChannels, rec.header.audioChannels);
        std::fprintf(o, "placement\t%zu\t%s\t%u\t%s\t%u\t%s\n", r + 1, PlacementName(rec.placement), rec.slot,
                     EntryWritten(rec.placement) ? "written" : "zeroed", rec.indexOffset,
                     IndexWritten(rec.placement) ? "written" : "zeroed");
        for (size_t s = 0; s < rec.segments.size(); ++s) {
            const ManifestSegment& seg = rec.segments[s];
            std::fprintf(o, "segment\t%zu\t%zu\t%u\t%u\t%u\t%u\n", r + 1, s, seg.firstSector, seg.sectors,
                         seg.videoStart, seg.contentBytes);
        }
        for (size_t s = 0; s < rec.segments.size(); ++s) {
            const ManifestSegment& seg = rec.segments[s];
            if (seg.state == SegmentState::Overwritten)
                std::fprintf(o, "state\t%zu\t%zu\t%s\t%u\t%u-%u\n", r + 1, s, SegmentStateName(seg.state), seg.byRecord,
                             seg.bySegmentFirst, seg.bySegmentLast);
            else
                std::fprintf(o, "state\t%zu\t%zu\t%s\t-\t-\n", r + 1, s, SegmentStateName(seg.state));
        }
        if (rec.scene != Scene::Flat)
            WriteActivity(o, r + 1, rec);
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
