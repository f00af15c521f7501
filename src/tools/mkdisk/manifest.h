#pragma once
// What WriteDisk put where, for tests to compare with what a reader extracts.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/mkdisk/activity.h"
#include "tools/mkdisk/placement.h"
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

// What stands in a segment's sectors now.
enum class SegmentState : uint8_t {
    Intact,       // the bytes written for it
    Overwritten,  // some or all of its sectors hold a later record's segments
    Empty,        // a second without sectors (equal index entries)
};
// "intact", "overwritten", "empty".
const char* SegmentStateName(SegmentState s);

struct ManifestSegment {
    uint32_t firstSector = 0;
    uint32_t sectors = 0;
    uint32_t videoStart = 0;    // 16,384 with audio areas, else 0
    uint32_t contentBytes = 0;  // before the zero padding to whole sectors
    SegmentState state = SegmentState::Intact;
    // Overwritten: the first later record (counted from 1) whose segments now
    // stand in its sectors, and that record's first and last such segment.
    uint32_t byRecord = 0;
    uint32_t bySegmentFirst = 0;
    uint32_t bySegmentLast = 0;
};

struct ManifestRecord {
    RecordHeader header;
    Placement placement = Placement::Listed;
    uint32_t slot = 0;  // the table slot of its entry (zeroed unless listed, dropped or deleted), from 1
    uint32_t segmentCount = 0;
    uint32_t indexOffset = 0;  // its index entries (zeroed when unindexed)
    int width = 0;
    int height = 0;
    int frameRate = 0;
    std::vector<uint8_t> voVol;  // the VO + VOL before every intra VOP of the record
    std::vector<ManifestSegment> segments;
    std::vector<ManifestFrame> frames;  // in stream order
    // What the pictures show, as planned.
    Scene scene = Scene::Flat;
    std::vector<MotionEvent> motion;
    std::vector<LightingRamp> lighting;
    std::vector<Flicker> flickers;
};

struct Manifest {
    uint32_t tableSector = 0;
    uint32_t indexSector = 0;
    uint32_t tableSectors = 0;  // the table's slots, listed or not, and the rest of its last sector
    uint32_t indexSectors = 0;
    uint32_t totalSectors = 0;
    std::vector<ManifestRecord> records;
};

// Marks each segment whose sectors a record written after its own (a later
// record of the manifest) now uses as overwritten, and each segment without
// sectors as empty.
void NoteOverwrites(Manifest& manifest);

// Tab-separated text with a header comment naming the columns: a "volume"
// line, an "area" line each for the header, the record table and the index
// area (first sector and sectors), then per record a "record" line, a "placement" line (listed, dropped,
// deleted, index-only or unindexed; its slot; whether the slot holds its entry
// and the index its entries), a "segment" and a "state" line per segment
// (intact, overwritten or empty; for an overwritten one the record that
// overwrote it and that record's segments there, else "-"), and its "frame"
// lines. The frame lines of an overwritten segment say what was written there
// before it was overwritten. A record with a textured scene also has a "scene"
// line, a "mask" line each for the clock plate and the frame code band (what
// changes in every picture without being motion), and per camera a "motion",
// "lighting" and "flicker" line for each such event (seconds FIRST-LAST,
// both included); the column comments for them stand only in a manifest with
// a textured record.
platform::Result<void> WriteManifestText(const Manifest& manifest, const std::string& path);

}  // namespace mkdisk
