#include "playback/activity_parameters.h"

#include <algorithm>

namespace playback {

namespace {

platform::Result<void> Refuse(std::string text)
{
    return platform::Error{platform::ErrorKind::Refused, std::move(text)};
}

std::string Fixed(uint32_t value, uint32_t scale, int decimals)
{
    std::string fraction = std::to_string(value % scale);
    while (fraction.size() < static_cast<std::size_t>(decimals))
        fraction.insert(fraction.begin(), '0');
    return std::to_string(value / scale) + "." + fraction;
}

struct Range {
    const char* name;
    uint32_t value;
    uint32_t low;
    uint32_t high;
};

}  // namespace

platform::Result<void> Validate(const ActivityParameters& p)
{
    const Range ranges[] = {
        {"share (permille)", p.sharePermille, 1, 1000},
        {"frames per second", p.minFramesPerSecond, 1, 1000},
        {"learning shift", p.learningShift, 1, 12},
        {"k (tenths)", p.kTenths, 0, 200},
        {"floor (luma levels)", p.floorLevels, 0, 255},
        {"downscale", p.downscale, 1, 16},
        {"warm-up frames", p.warmupFrames, 0, 1000000},
        {"global change (permille)", p.globalPermille, 1, 1000},
        {"moving cells", p.movingCells, 1, 1000000},
        {"absorb (frames)", p.absorbFrames, 1, 1000000},
        {"size window (frames)", p.sizeWindow, 8, 100000},
        {"size warm-up frames", p.sizeWarmupFrames, 1, 100000},
        {"score (hundredths)", p.scoreHundredths, 1, 100000},
        {"gap (seconds)", p.gapSeconds, 0, 86400},
        {"seconds before", p.beforeSeconds, 0, 86400},
        {"seconds after", p.afterSeconds, 0, 86400},
        {"minimum event (seconds)", p.minEventSeconds, 1, 86400},
    };
    for (const Range& r : ranges) {
        if (r.value < r.low || r.value > r.high)
            return Refuse("The activity setting " + std::string(r.name) + " is " + std::to_string(r.value) +
                          "; it must be between " + std::to_string(r.low) + " and " + std::to_string(r.high) + ".");
    }
    if (p.sizeWarmupFrames > p.sizeWindow)
        return Refuse("The size warm-up (" + std::to_string(p.sizeWarmupFrames) +
                      " frames) is longer than the size window (" + std::to_string(p.sizeWindow) + " frames).");
    for (std::size_t camera = 0; camera < p.regions.size(); ++camera) {
        const ActivityRegion& r = p.regions[camera];
        if (r.WholePicture() && r.x == 0 && r.y == 0)
            continue;
        if (r.x < 0 || r.y < 0 || r.width <= 0 || r.height <= 0)
            return Refuse("The region of camera " + std::to_string(camera + 1) + " (" + std::to_string(r.x) + "," +
                          std::to_string(r.y) + " " + std::to_string(r.width) + "x" + std::to_string(r.height) +
                          ") needs a position of 0 or more and a width and height above 0.");
    }
    return {};
}

std::string Describe(const ActivityParameters& p)
{
    std::string roi;
    for (std::size_t camera = 0; camera < p.regions.size(); ++camera) {
        const ActivityRegion& r = p.regions[camera];
        if (camera > 0)
            roi += ",";
        if (r.WholePicture() && r.x == 0 && r.y == 0)
            roi += "all";
        else
            roi += std::to_string(r.x) + ":" + std::to_string(r.y) + ":" + std::to_string(r.width) + "x" +
                   std::to_string(r.height);
    }
    return "share>=" + Fixed(p.sharePermille, 10, 1) + "% frames>=" + std::to_string(p.minFramesPerSecond) +
           " learn=1/" + std::to_string(1u << std::min<uint32_t>(p.learningShift, 31)) +
           " k=" + Fixed(p.kTenths, 10, 1) + " floor=" + std::to_string(p.floorLevels) +
           " downscale=" + std::to_string(p.downscale) + " warmup=" + std::to_string(p.warmupFrames) +
           " global>=" + Fixed(p.globalPermille, 10, 1) + "% moving-cells=" + std::to_string(p.movingCells) +
           " absorb=" + std::to_string(p.absorbFrames) + " roi=" + roi +
           " size-window=" + std::to_string(p.sizeWindow) + " size-warmup=" + std::to_string(p.sizeWarmupFrames) +
           " score>=" + Fixed(p.scoreHundredths, 100, 2) + " gap=" + std::to_string(p.gapSeconds) +
           " before=" + std::to_string(p.beforeSeconds) + " after=" + std::to_string(p.afterSeconds) +
           " min-event=" + std::to_string(p.minEventSeconds);
}

}  // namespace playback
