#pragma once
// The activity search over one open record: its frames read in order
// through a reader of its own, each camera's frames measured (fast: the
// compressed sizes against the camera's baseline; exact: the pictures
// decoded through a decoder of its own, against the camera's background),
// each camera-second judged, and the active seconds joined into events.
//
// A frame's second is the segment it began in: a frame joined across a
// segment's end belongs to the second before, an intra frame (the first of
// each camera's second) to the one it opens. A lost second breaks every
// camera's run (its frames are missing, not still). Runs on the caller's
// thread (a job's, or the command line's); nothing is allocated per frame.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "disk/record_reader.h"
#include "playback/activity_parameters.h"
#include "playback/activity_seconds.h"
#include "playback/job.h"
#include "playback/video_decoder.h"

namespace playback {

enum class ActivityMode { Fast, Exact };

// "fast" or "exact".
const char* ActivityModeName(ActivityMode mode);

struct ActivityRequest {
    ActivityMode mode = ActivityMode::Exact;
    ActivityParameters parameters;
    std::array<bool, 4> cameras{true, true, true, true};
    int64_t from = 0;  // first position searched
    int64_t to = -1;   // last position searched; -1: the record's last
};

// One camera-second's score as the search judged it (for --per-second).
struct ActivityScore {
    int camera = 0;  // 0..3
    int64_t position = 0;
    uint32_t score = 0;  // exact: peak share in tenths of a percent; fast: z-score in hundredths
    bool active = false;
};

struct RecordActivity {
    uint32_t record = 0;
    std::vector<ActivityEvent> events;
    // Cameras asked for that the record has no video for (left out).
    std::array<bool, 4> withoutVideo{};
    uint32_t secondsSearched = 0;
    uint32_t lostSeconds = 0;
    uint64_t frames = 0;    // compressed frames read
    uint64_t measured = 0;  // frames measured (sizes fed, or pictures decoded and fed)
};

using ScoreSink = std::function<void(const ActivityScore&)>;

// Searches the reader's open record. decoder is used in exact mode only
// (may be null in fast mode). Done with a RecordActivity as its value,
// Cancelled when the stop flag is seen, Failed with the reason (bad
// parameters, no decoder, a picture size the decoder does not take).
JobOutcome SearchRecordActivity(disk::RecordReader& reader, VideoDecoder* decoder, const ActivityRequest& request,
                                JobControl& control, const ScoreSink& sink = {});

}  // namespace playback
