#pragma once
// Where the cameras of a whole disk were active, on the recorder's clock:
// every recording with a recorded time searched in turn by the activity
// search's fast mode (compressed frame sizes, nothing decoded), its active
// seconds joined per camera into runs. The timeline's heat strips. A
// background job with readers of its own.
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "disk/volume.h"
#include "playback/job.h"

namespace playback {

struct ActivityHeat {
    struct Run {
        std::chrono::sys_seconds begin;
        std::chrono::sys_seconds end;  // the first second after it
        uint32_t peak = 0;             // the highest score of its seconds (fast: hundredths of a z-score)
    };
    // Per camera, in the order the recordings were searched (record number).
    std::array<std::vector<Run>, 4> runs;
    uint32_t recordings = 0;  // searched
    uint32_t failed = 0;      // could not be searched (an unreadable index, say)
};

// Done with an ActivityHeat as its value (recordings that fail are counted,
// not fatal), Cancelled with what it had, never Failed but for a missing
// volume.
JobFunction ActivityHeatJob(std::shared_ptr<const disk::Volume> volume);

}  // namespace playback
