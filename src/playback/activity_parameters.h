#pragma once
// The settings of the activity search, in one value: what makes a picture
// cell foreground (exact mode), what makes a camera's second active, how the
// predicted-frame sizes are judged (fast mode), and how active seconds join
// into events. Every value is an integer so that the same settings give the
// same result bit for bit on any machine; Describe gives all of them in one
// line for the command line to print and to store beside the result.
#include <array>
#include <cstdint>
#include <string>

#include "platform/error.h"

namespace playback {

// A camera's region of interest in the record's picture pixels. An empty
// rectangle (width and height 0) is the whole picture.
struct ActivityRegion {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;

    bool WholePicture() const { return width == 0 && height == 0; }
    bool operator==(const ActivityRegion&) const = default;
};

struct ActivityParameters {
    // --- exact: a frame counts as moving when at least this share of the
    // region is in moving patches, in tenths of a percent (5 = 0.5 %): a
    // person across a room covers a few percent of a camera's picture, one
    // far off about one; what does not move counts nothing at all.
    uint32_t sharePermille = 5;
    // A second is active when at least this many of its frames count: one
    // frame alone is a decoding fault or a burnt-in clock's digit the frame
    // it is drawn, not something moving.
    uint32_t minFramesPerSecond = 2;
    // The background follows each cell by 1/2^learningShift of the
    // difference per frame (5: 1/32, about a second at 25 pictures a second;
    // slow lighting changes and noise are learnt, a walk across is not).
    uint32_t learningShift = 5;
    // A cell is foreground when it differs from the background by more than
    // k standard deviations (in tenths: 30 = 3.0) and more than floor luma
    // levels (compression noise of the recorder's MPEG-4 stays within a few).
    uint32_t kTenths = 30;
    uint32_t floorLevels = 10;
    // Pictures are reduced to luma by a box of downscale x downscale pixels
    // (4: 352x240 becomes 88x60).
    uint32_t downscale = 4;
    // Frames each camera's background learns from before any share counts.
    uint32_t warmupFrames = 25;
    // A frame in which at least this share of the whole picture (tenths of
    // a percent: 400 = 40 %) changed since the frame before is a change of
    // light (a flicker, a lamp, the camera's exposure), not something
    // moving: it counts as still and the background does not learn it.
    uint32_t globalPermille = 400;
    // A patch of foreground counts only while at least this many of its
    // cells changed since the frame before: the place an object left and an
    // object standing still (and a clock's digit once drawn) do not move.
    uint32_t movingCells = 3;
    // A foreground cell that has not changed for this many frames is taken
    // into the background at once: the ghost of where something stood, or
    // something that stopped, leaves no trail.
    uint32_t absorbFrames = 15;
    std::array<ActivityRegion, 4> regions{};

    // --- fast: the baseline of a camera's predicted-frame sizes is the
    // median of its last sizeWindow predicted frames (about ten seconds),
    // and a second scores active when its median lies scoreHundredths
    // (robust z-score, 15 = 0.15) above it. A small object moving in front
    // of a noisy camera moves a second's median by a fraction of the
    // frames' own spread: on written footage with known motion its seconds
    // score 0.2 to 0.4, still seconds below 0.07.
    uint32_t sizeWindow = 250;
    uint32_t sizeWarmupFrames = 25;
    uint32_t scoreHundredths = 15;

    // --- events: active seconds of a camera at most gapSeconds apart join
    // into one event; an event shorter than minEventSeconds (its active
    // span) is dropped; beforeSeconds are kept before each and
    // afterSeconds after it.
    uint32_t gapSeconds = 2;
    uint32_t beforeSeconds = 1;
    uint32_t afterSeconds = 1;
    uint32_t minEventSeconds = 1;
};

// Nothing when every value is usable; otherwise the first one that is not,
// with the value and its range.
platform::Result<void> Validate(const ActivityParameters& parameters);

// Every value in one line, e.g. "share>=0.5% frames>=2 learn=1/32 k=3.0
// floor=10 downscale=4 warmup=25 global>=40.0% moving-cells=3 absorb=15
// roi=all,all,all,all size-window=250
// size-warmup=25 score>=0.15 gap=2 before=1 after=1 min-event=1".
std::string Describe(const ActivityParameters& parameters);

}  // namespace playback
