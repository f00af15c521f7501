#pragma once
// What a generated disk holds: records with their time, length, picture format,
// kind, cameras with video and sound, and the edge cases of frame extraction.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/mkdisk/activity.h"
#include "tools/mkdisk/placement.h"
#include "tools/mkdisk/volume_writer.h"

namespace mkdisk {

// Values are the format byte's bits 0x50.
enum class PictureFormat : uint8_t { k352x240 = 0x50, k720x240 = 0x40, k352x288 = 0x10, k720x288 = 0x00 };
int FormatWidth(PictureFormat f);
int FormatHeight(PictureFormat f);
int FormatFrameRate(PictureFormat f);
// "352x240" and so on; empty on failure.
std::optional<PictureFormat> ParsePictureFormat(const std::string& text);

// Values are the kind flags byte.
enum class RecordKind : uint8_t { B = 0x00, A = 0x04, S = 0x08, M = 0x10 };

// A frame of segment `segment`'s stream that crosses into the next segment: the
// writer cuts at a sector boundary inside the last frame that has one, searching
// from the frame `framesFromEnd` places before the second's last frame. Frames
// after the cut move to the next segment. The cut is the frame's last sector
// boundary (a continuation under 512 bytes), or with `early` its first one (a
// tail under 520 bytes, the rest of the frame continued).
struct StraddleSpec {
    uint32_t segment = 0;
    uint32_t framesFromEnd = 0;
    bool early = false;
};

// A VOP padded (after its coded data, with bytes that never form a start code)
// to `bytes` bytes: 128,000 or more is a frame that readers must skip.
struct HugeFrameSpec {
    uint32_t second = 0;
    int camera = 0;
    int frame = 0;  // the camera's frame within the second
    uint32_t bytes = 130000;
};

struct RecordPlan {
    RecordTime begin;
    uint32_t seconds = 3;
    PictureFormat format = PictureFormat::k352x240;
    RecordKind kind = RecordKind::A;
    uint8_t videoCameras = 0x0F;  // bit k = camera k; others carry tiny empty VOPs
    uint8_t audioCameras = 0x01;  // cameras with a tone; others are silent
    int qscale = 4;
    // Off: a still scene whose predicted frames can code to 100 bytes or less.
    bool sensorNoise = true;
    // Flat keeps the pictures above byte for byte; motion, lighting and flicker
    // need the textured scene (its noise is everywhere; sensorNoise is the flat
    // scene's corner only).
    Scene scene = Scene::Flat;
    std::vector<MotionEvent> motion;
    std::vector<LightingRamp> lighting;
    std::vector<Flicker> flickers;
    std::vector<StraddleSpec> straddles;
    std::vector<HugeFrameSpec> hugeFrames;
    std::vector<uint32_t> emptySegments;  // seconds left out: their index entries are equal
    // Bit 0x80 of this entry's format byte; by default the disk's audio area setting.
    // The layout of the segments never changes with it.
    std::optional<bool> audioAreaBit;
    // Channel flag overrides (all 16 channels), when a test needs odd values.
    std::optional<uint16_t> videoChannelField;
    std::optional<uint16_t> audioChannelField;
    // Listed, or left on the disk without the table listing it. Dropped records
    // take the slots just before the first entry position, in plan order; the
    // deleted, index-only and unindexed ones the slots after the listed run, in
    // plan order (the last two zeroed). The segments are the same bytes either way.
    Placement placement = Placement::Listed;
    // Not 0: the next record of the plan, a listed one, was written over this
    // (unlisted) record's last `overwrittenSeconds` seconds: its first segment
    // starts at the first sector of this record's segment seconds - N, and the
    // records after it follow on from its end.
    uint32_t overwrittenSeconds = 0;
};

struct DiskPlan {
    bool audioAreas = true;  // every segment opens with the 16,384-byte audio area
    std::vector<RecordPlan> records;
    VolumeFields fields;  // first entry position and header overrides
};

// The disk of the README: four records, one per picture format, kinds A, B, S, M,
// sound on cameras 1 and 2 of the first record, a camera without video in the third.
DiskPlan DemoPlan();

// A disk with footage the table no longer lists, one of each kind, between two
// listed records (records in plan order, first entry position 3):
//   1 dropped (slot 1), 2 dropped (slot 2) whose last 2 seconds record 3 overwrote,
//   3 listed (slot 3), 4 deleted (slot 5), 5 listed (slot 4),
//   6 index-only (slot 6 zeroed), 7 unindexed (slot 7 and its index entries zeroed).
DiskPlan RecoverDemoPlan();

// The same plan with every record listed and nothing overwritten: the same
// streams in the same order, for comparing what is read of each.
DiskPlan AllListed(DiskPlan plan);

// A disk for the activity search: one record of 40 seconds at 352x240, textured,
//   camera 1 moving in seconds 5-9 and 30-33, camera 2 in 15-20, camera 3 in
//   36-38 with its lighting ramping up over 10-19, camera 4 never moving and
//   flickering in second 25;
// and one of 12 seconds at 720x288, textured, camera 2 moving in 3-6, all
//   cameras' lighting ramping over 8-10.
DiskPlan ActivityDemoPlan();

// Checks a plan before anything is written.
platform::Result<void> ValidatePlan(const DiskPlan& plan);

}  // namespace mkdisk
