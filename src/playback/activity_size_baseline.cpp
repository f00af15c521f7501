#include "playback/activity_size_baseline.h"

#include <algorithm>

namespace playback {

namespace {

// The median of values (reordered in place); the lower middle of an even
// count, so that every result is one of the sizes.
uint32_t Median(uint32_t* first, uint32_t count)
{
    uint32_t* middle = first + (count - 1) / 2;
    std::nth_element(first, middle, first + count);
    return *middle;
}

}  // namespace

SizeBaseline::SizeBaseline(const ActivityParameters& parameters)
    : windowSize(std::max<uint32_t>(parameters.sizeWindow, 8)),
      warmup(std::clamp<uint32_t>(parameters.sizeWarmupFrames, 1, windowSize)), threshold(parameters.scoreHundredths),
      window(windowSize, 0), second(windowSize, 0), scratch(windowSize, 0)
{
}

void SizeBaseline::Feed(uint32_t frameBytes, bool intra)
{
    if (intra)
        return;
    ++secondSeen;
    if (secondCount < windowSize)
        second[secondCount++] = frameBytes;
}

SecondScore SizeBaseline::EndSecond()
{
    SecondScore score;
    score.predictedFrames = secondSeen;
    if (secondCount > 0) {
        std::copy_n(second.begin(), secondCount, scratch.begin());
        score.medianBytes = Median(scratch.data(), secondCount);
    }
    if (windowCount >= warmup && secondCount > 0) {
        std::copy_n(window.begin(), windowCount, scratch.begin());
        const uint32_t base = Median(scratch.data(), windowCount);
        for (uint32_t i = 0; i < windowCount; ++i)
            scratch[i] = window[i] > base ? window[i] - base : base - window[i];
        const uint32_t deviation = Median(scratch.data(), windowCount);
        // The spread is never taken below 1/16 of the baseline nor 16 bytes:
        // a still scene can give the same size frame after frame, and a
        // few bytes more must not score as a storm.
        const uint64_t spread = std::max<uint64_t>({deviation, base / 16, 16});
        score.baselineBytes = base;
        score.scored = true;
        if (score.medianBytes > base) {
            // z = (median - base) / (1.4826 * spread), in hundredths.
            const uint64_t z = (uint64_t{score.medianBytes - base} * 100 * 10000) / (spread * 14826);
            score.scoreHundredths = static_cast<uint32_t>(std::min<uint64_t>(z, UINT32_MAX));
        }
        score.active = score.scoreHundredths >= threshold;
    }
    for (uint32_t i = 0; i < secondCount; ++i) {
        window[windowNext] = second[i];
        windowNext = (windowNext + 1) % windowSize;
        windowCount = std::min(windowCount + 1, windowSize);
    }
    secondCount = 0;
    secondSeen = 0;
    return score;
}

}  // namespace playback
