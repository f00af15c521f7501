#pragma once
// Footage with known activity: a textured, noisy scene per camera in which an
// object moves only in the seconds asked for, and lighting changes (a slow ramp,
// a short flicker) that change every pixel's brightness without anything moving.
// Everything is a function of the plan and the frame's place in the record, so
// the same plan draws the same pixels.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/mkdisk/volume_writer.h"

namespace mkdisk {

enum class Scene : uint8_t {
    Flat,      // a flat field in the camera's colour with a marker crossing it every second
    Textured,  // a still texture with sensor noise everywhere; moves only during motion events
};
// "flat", "textured".
const char* SceneName(Scene s);
std::optional<Scene> ParseScene(std::string_view text);

// Seconds of the record, both ends included.
struct SecondSpan {
    uint32_t first = 0;
    uint32_t last = 0;
    bool Contains(uint32_t s) const { return s >= first && s <= last; }
    bool operator==(const SecondSpan&) const = default;
};

// The camera's object moves through these seconds; before, after and between
// its events it stands still where it stopped.
struct MotionEvent {
    int camera = 0;  // 0..3
    SecondSpan seconds;
    bool operator==(const MotionEvent&) const = default;
};

// The brightness of the cameras' whole pictures rises frame by frame over the
// seconds, to kLightingRampPercent of what it was, and stays there.
struct LightingRamp {
    uint8_t cameras = 0x0F;  // bit k = camera k
    SecondSpan seconds;
    bool operator==(const LightingRamp&) const = default;
};

// A few frames of one second at kFlickerPercent brightness.
struct Flicker {
    uint8_t cameras = 0x0F;
    uint32_t second = 0;
    bool operator==(const Flicker&) const = default;
};

inline constexpr int kSceneNoiseLuma = 5;         // noise of every pixel, +- luma levels
inline constexpr int kLightingRampPercent = 125;  // brightness after a ramp
inline constexpr int kFlickerPercent = 140;       // brightness during a flicker
inline constexpr int kFlickerFrames = 4;

struct Rect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // [x0, x1) × [y0, y1), luma pixels
};

// Where things stand in a picture of this size (every scene).
struct SceneLayout {
    Rect clock;      // the date and time plate: changes every second
    Rect frameCode;  // the frame code band: changes every frame
    int objectWidth = 0;
    int objectTop = 0;
    int objectBottom = 0;
    int objectStep = 0;    // pixels a frame while moving
    int objectTravel = 0;  // the object's left edge stays in [0, objectTravel], a multiple of objectStep
};
SceneLayout LayoutFor(int width, int height);

// The first of a flicker's frames in a second of `frameRate` frames (then kFlickerFrames, or to the second's end).
int FlickerFirstFrame(int frameRate);

// What a textured picture shows at one frame of the record.
struct ActivityState {
    std::optional<int> objectLeft;  // none: the camera has no motion events
    int brightnessPermille = 1000;
};

// `second` and `frame` place the picture in the record; `rate` is its frames a second.
ActivityState ActivityAt(const std::vector<MotionEvent>& motion, const std::vector<LightingRamp>& lighting,
                         const std::vector<Flicker>& flickers, const SceneLayout& layout, int camera, uint32_t second,
                         int frame, int rate);

// The texture's seed for one camera of a record: from its begin time and the camera.
uint32_t SceneSeed(const RecordTime& begin, int camera);

}  // namespace mkdisk
