#include "tools/mkdisk/activity.h"

#include <algorithm>
#include <cmath>

#include "tools/mkdisk/frame_code.h"

namespace mkdisk {

const char* SceneName(Scene s) { return s == Scene::Textured ? "textured" : "flat"; }

std::optional<Scene> ParseScene(std::string_view text)
{
    if (text == "flat")
        return Scene::Flat;
    if (text == "textured")
        return Scene::Textured;
    return std::nullopt;
}

SceneLayout LayoutFor(int width, int height)
{
    SceneLayout l;
    // The clock plate as DrawPicture draws it: 60 dots of text and a 2-dot margin.
    const int dot = std::max(2, height / 80);
    l.clock = {0, 0, std::min(width, 62 * dot), std::min(height, 19 * dot)};
    l.frameCode = {0, static_cast<int>(std::lround(kFrameCodeTop * height)), width,
                   static_cast<int>(std::lround(kFrameCodeBottom * height))};
    // Between the clock plate and the frame code band.
    l.objectWidth = std::max(2, width / 10);
    l.objectTop = height * 11 / 20;
    l.objectBottom = l.objectTop + std::max(2, height / 8);
    l.objectStep = std::max(2, width / 88);
    // A multiple of the step: turning at either edge never repeats a position.
    l.objectTravel = std::max(0, width - l.objectWidth) / l.objectStep * l.objectStep;
    return l;
}

namespace {

// Many ramps or flickers at once only saturate the picture.
constexpr int64_t kMaxPermille = 10000;

}  // namespace

int FlickerFirstFrame(int frameRate) { return std::max(0, frameRate / 3); }

ActivityState ActivityAt(const std::vector<MotionEvent>& motion, const std::vector<LightingRamp>& lighting,
                         const std::vector<Flicker>& flickers, const SceneLayout& layout, int camera, uint32_t second,
                         int frame, int rate)
{
    ActivityState state;
    const int64_t now = int64_t{second} * rate + frame;
    // Frames of the events up to and including this one, first to last.
    auto framesIn = [&](const SecondSpan& span) {
        const int64_t begin = int64_t{span.first} * rate;
        const int64_t end = (int64_t{span.last} + 1) * rate;
        return std::clamp<int64_t>(now + 1 - begin, 0, end - begin);
    };
    int64_t steps = 0;
    bool moves = false;
    for (const MotionEvent& e : motion)
        if (e.camera == camera) {
            moves = true;
            steps += framesIn(e.seconds);
        }
    if (moves) {
        // Back and forth across the picture.
        const int64_t travel = layout.objectTravel;
        int64_t x = 0;
        if (travel > 0) {
            x = steps * layout.objectStep % (2 * travel);
            if (x > travel)
                x = 2 * travel - x;
        }
        state.objectLeft = static_cast<int>(x);
    }
    int64_t permille = 1000;
    for (const LightingRamp& ramp : lighting)
        if (ramp.cameras & (1u << camera)) {
            const int64_t total = (int64_t{ramp.seconds.last} - ramp.seconds.first + 1) * rate;
            const int64_t done = framesIn(ramp.seconds);
            permille =
                std::min(kMaxPermille, permille * (1000 + (kLightingRampPercent * 10 - 1000) * done / total) / 1000);
        }
    const int first = FlickerFirstFrame(rate);
    for (const Flicker& f : flickers)
        if ((f.cameras & (1u << camera)) && f.second == second && frame >= first && frame < first + kFlickerFrames)
            permille = std::min(kMaxPermille, permille * kFlickerPercent / 100);
    state.brightnessPermille = static_cast<int>(permille);
    return state;
}

uint32_t SceneSeed(const RecordTime& begin, int camera)
{
    uint32_t h = 2166136261u;  // FNV-1a
    for (int v : {begin.year, begin.month, begin.day, begin.hour, begin.minute, begin.second, camera}) {
        h ^= static_cast<uint32_t>(v);
        h *= 16777619u;
    }
    return h;
}

}  // namespace mkdisk
