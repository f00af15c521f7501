#pragma once
// The disk's seconds per camera on the recorder's clock, as a timeline
// draws them: which camera recorded pictures when, where a record holds no
// video for a camera, where two records claim the same seconds (a clock
// set back), and the recovered recordings whose time was recorded, beneath
// the listed records. A model without a view: the window and the picture
// the command line writes draw the same runs.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "disk/timeline.h"

namespace disk {

class Volume;

enum class CameraSecond : uint8_t {
    Recorded,   // one listed record holds the second with this camera's video
    NoVideo,    // one listed record holds it, without video for this camera
    Recovered,  // no listed record holds it; a recovered recording does
    Overlap,    // two or more listed records hold it
};

// "recorded", "no video", "recovered", "records overlap".
const char* CameraSecondName(CameraSecond kind);

struct CameraRun {
    ClockSeconds begin;
    ClockSeconds end;  // the first second after the run
    CameraSecond kind = CameraSecond::Recorded;
};

// A recording on the clock: its first second, how many seconds, the
// cameras it has video for (bit k: camera k), listed or recovered.
struct CameraSpan {
    ClockSeconds begin;
    uint32_t seconds = 0;
    uint8_t videoCameras = 0;
    bool recovered = false;
    // Its number on the volume: a listed record's index from 0, or a
    // recovered recording's number after the listed ones.
    uint32_t record = 0;
};

struct CameraTimeline {
    static constexpr int kCameras = 4;
    // Per camera, in time order, without gaps listed: neighbouring runs of
    // one kind are joined.
    std::array<std::vector<CameraRun>, kCameras> rows;
    // The first second any run holds and the first second after the last;
    // nothing when no recording is on the clock.
    std::optional<ClockSeconds> first;
    std::optional<ClockSeconds> end;
};

CameraTimeline BuildCameraTimeline(std::span<const CameraSpan> spans);

// Every listed record with seconds on the clock (as ReadRecords places
// them) and, for a volume made WithRecovery, every recovered recording
// whose time was recorded.
std::vector<CameraSpan> CameraSpans(const Volume& volume);

// The recording a timeline shows at `second` in camera's row (0..3): the
// lowest-numbered listed record holding it (as the go-to-time dialog
// picks), else the first recovered recording; its position is the second's
// offset in it. Nothing when none holds it.
struct SpanPosition {
    uint32_t record = 0;
    uint32_t position = 0;
    bool recovered = false;
};
std::optional<SpanPosition> SpanAt(std::span<const CameraSpan> spans, ClockSeconds second);

}  // namespace disk
