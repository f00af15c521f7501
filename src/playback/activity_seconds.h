#pragma once
// From per camera-second verdicts to events: the active seconds of each
// camera of one record, joined when they lie at most the gap apart, kept
// when their active span is long enough, and widened by the pad before and
// after; and the events' canonical text, one line each, which the caller
// hashes (SHA-256) to show two searches found the same.
//
// SecondTally turns the exact measure's frames of one second into its
// verdict; SizeBaseline gives the fast measure's directly. Nothing here is
// per frame; one collector belongs to one thread.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/error.h"
#include "playback/activity_motion.h"
#include "playback/activity_parameters.h"

namespace playback {

// The exact measure's verdict on one camera-second.
struct CameraSecond {
    uint32_t peakPermille = 0;    // the largest share of its frames
    uint32_t framesReaching = 0;  // frames at or above the share threshold
    uint32_t frames = 0;          // frames measured (not warming up)
    bool active = false;          // framesReaching at least minFramesPerSecond
};

class SecondTally {
public:
    explicit SecondTally(const ActivityParameters& parameters);
    void Add(const FrameShare& frame);
    // The second's verdict; the tally starts the next second empty.
    CameraSecond End();

private:
    uint32_t sharePermille;
    uint32_t minFrames;
    CameraSecond current;
};

struct ActivityEvent {
    uint32_t record = 0;
    int camera = 0;     // 0..3
    int64_t begin = 0;  // first second, from the record's start, pad included
    int64_t end = 0;    // last second (inclusive), pad included
    uint32_t peak = 0;  // the largest score of its active seconds
    bool operator==(const ActivityEvent&) const = default;
};

class ActivitySeconds {
public:
    ActivitySeconds(const ActivityParameters& parameters, uint32_t record);

    // One camera-second's score (the exact measure's peak permille or the
    // fast one's z-score in hundredths) and verdict. Only active seconds
    // are kept; a second given twice keeps the larger score. A camera
    // outside 0..3 or a negative position is refused.
    platform::Result<void> Add(int camera, int64_t position, uint32_t score, bool active);

    // The events, by camera and then by time; pads end at second 0 and at
    // lastPosition (the record's last second). Events of a camera whose
    // pads touch or overlap are one.
    std::vector<ActivityEvent> Events(int64_t lastPosition = INT64_MAX) const;
    uint64_t ActiveSeconds() const;

private:
    struct Active {
        int64_t position;
        uint32_t score;
    };
    uint32_t gap;
    uint32_t before;
    uint32_t after;
    uint32_t minEvent;
    uint32_t record;
    std::array<std::vector<Active>, 4> active;
};

// "record camera begin end peak\n" for every event, cameras counted 1..4,
// ordered by record, camera, begin, end and peak whatever order events are
// in: the same events always give the same text.
std::string CanonicalText(std::span<const ActivityEvent> events);

}  // namespace playback
