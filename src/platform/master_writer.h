#pragma once
// The export's master: the cameras' MPEG-4 Part 2 frames exactly as cut from
// the disk, one Matroska video track per camera, each camera's decoded sound
// as 16-bit PCM at 8 kHz (lossless, and the same bytes as the recorder's
// decoded samples), and a text track with the recorder's time for each
// recorded second. Nothing is decoded or re-encoded. FFmpeg stays behind
// this header.
//
// One thread at a time (the export worker).
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::master {

struct Layout {
    int width = 0;
    int height = 0;
    int frameRate = 0;                                      // frames per camera per second
    std::vector<int> videoCameras;                          // camera numbers from 1, a video track each, in this order
    std::vector<int> soundCameras;                          // camera numbers from 1, a sound track each
    std::vector<std::pair<std::string, std::string>> tags;  // the file's own tags
};

class Writer {
public:
    static constexpr int kSoundRate = 8000;

    Writer();
    ~Writer();  // an open file is closed as Close() would
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Creates (or truncates) path and lays out the tracks. False, leaving no
    // file, when the layout is refused or the file cannot be made.
    bool Open(const std::string& path, const Layout& layout);
    // Writes the file's header; every video track gets streamHeader (the
    // recorder's VOS, VO and VOL headers) as its codec private data. Before
    // the first frame, sound or cue; false when it cannot be written.
    bool Begin(std::span<const uint8_t> streamHeader);
    bool HasBegun() const;
    // A frame of the video track at index (in the layout's order), shown at
    // frameIndex / frameRate seconds from the start. Indexes rise per track.
    bool WriteFrame(int track, std::span<const uint8_t> frame, int64_t frameIndex, bool key);
    // Samples of the sound track at index, the first at firstSample / 8,000 s.
    bool WriteSound(int track, std::span<const int16_t> samples, int64_t firstSample);
    // The text shown from second to second + 1.
    bool WriteCue(std::string_view text, int64_t second);
    // Writes the index and closes. A file that never began is removed. False
    // when anything failed since Open: the file is then incomplete.
    bool Close();

    bool Failed() const { return failed; }
    const std::string& LastError() const { return lastError; }
    // Video frames written, all tracks together.
    int64_t FramesWritten() const { return framesWritten; }

private:
    struct State;
    bool Fail(const std::string& message);
    bool Usable() const;

    std::unique_ptr<State> state;
    std::string lastError;
    int64_t framesWritten = 0;
    bool failed = false;
};

}  // namespace platform::master
