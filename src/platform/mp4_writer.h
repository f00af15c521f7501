#pragma once
// The export's working copy: the composed pictures as H.264 (libx264, quality
// based, yuv420p, High profile) with AAC sound in an MP4 file whose index
// comes first (faststart), so that browsers play it while it loads. FFmpeg
// stays behind this header.
//
// Threads: pictures (EncodePicture, EncodePlanes) come from one thread and
// sound (EncodeSound) may come from another at the same time; Open and Close
// with neither running. `failed` is shared; `lock` guards lastError;
// picturesWritten is the pictures' thread's.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace platform::mp4 {

class File;

class Writer {
public:
    static constexpr int kPicturesPerSecond = 30;
    static constexpr int kSoundInputRate = 8000;
    static constexpr int kSoundRate = 48000;
    static constexpr int kQuality = 19;  // libx264's constant rate factor
    static constexpr const char* kPreset = "fast";

    Writer();
    ~Writer();  // closes an open file as Close() would
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Starts a file at path (created or truncated) for width x height
    // pictures (even, 16 to 4096) at 30 a second. creationTime: ISO 8601
    // ("2006-03-15T23:59:30Z"), the file's creation time (empty: none). False, leaving no
    // file, when anything cannot be set up, or when a file is already open.
    bool Open(const std::string& path, int width, int height, const std::string& creationTime);
    // One picture: 3 bytes blue, green, red per pixel, bottom row first, rows
    // of 3 x width bytes.
    bool EncodePicture(const uint8_t* bgrBottomUp);
    // The same picture in YUV 4:2:0 (platform/yuv_planes.h's layout).
    bool EncodePlanes(const uint8_t* yuv);
    // Little-endian signed 16-bit mono samples at 8,000 a second.
    bool EncodeSound(std::span<const uint8_t> pcm);
    // Flushes the encoders, writes the index at the front and closes the
    // file. False when anything failed since Open (the file is incomplete).
    bool Close();

    bool Failed() const { return failed.load(); }
    std::string LastError() const;
    int64_t PicturesWritten() const { return picturesWritten; }

private:
    bool Fail(const std::string& message);

    std::unique_ptr<File> file;
    mutable std::mutex lock;
    std::string lastError;
    int64_t picturesWritten = 0;
    std::atomic<bool> failed{false};
};

}  // namespace platform::mp4
