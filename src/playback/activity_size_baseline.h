#pragma once
// The fast activity measure of one camera, without decoding: a scene where
// something moves costs the encoder more bytes per predicted frame. The
// baseline is the median of the camera's last predicted-frame sizes with
// its spread (the median absolute deviation); a second scores how far the
// median of its own predicted frames lies above that, as a robust z-score
// in hundredths. Intra frames, sized by the scene's detail rather than its
// motion, are left out.
//
// Integer arithmetic, buffers sized at construction, nothing allocated per
// frame or per second. One baseline belongs to one thread.
#include <cstdint>
#include <vector>

#include "playback/activity_parameters.h"

namespace playback {

struct SecondScore {
    // Robust z-score in hundredths (0 when the second lies at or below the
    // baseline, or cannot be scored).
    uint32_t scoreHundredths = 0;
    uint32_t predictedFrames = 0;  // of this second
    uint32_t medianBytes = 0;      // of this second's predicted frames
    uint32_t baselineBytes = 0;    // the baseline's median before this second
    // False while the baseline has fewer predicted frames than the warm-up
    // asks for, or the second had none: the score is 0.
    bool scored = false;
    bool active = false;  // scored at or above the threshold
};

class SizeBaseline {
public:
    // Parameters are taken as they are: check them with Validate first (a
    // window below 8 frames is taken as 8).
    explicit SizeBaseline(const ActivityParameters& parameters);

    // One compressed frame of the current second.
    void Feed(uint32_t frameBytes, bool intra);
    // Ends the current second: its score against the baseline so far, after
    // which its predicted frames join the baseline. A second may hold at
    // most as many frames as the window; later ones of it are not scored
    // (but counted in predictedFrames).
    SecondScore EndSecond();

private:
    uint32_t windowSize;
    uint32_t warmup;
    uint32_t threshold;

    std::vector<uint32_t> window;  // ring of the last predicted sizes
    uint32_t windowNext = 0;
    uint32_t windowCount = 0;
    std::vector<uint32_t> second;  // this second's predicted sizes
    uint32_t secondCount = 0;
    uint32_t secondSeen = 0;
    std::vector<uint32_t> scratch;  // for medians
};

}  // namespace playback
