#pragma once
#include "platform/decode_api.h"
#include "platform/shared_library.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace playback {

// All video decoding goes through one VideoDecoder, which loads the decoding
// library at start and feeds it compressed frames per channel (one channel
// per camera). A channel is (re)initialised on its first frame and whenever
// the picture size changes; that frame gets the stream header in front of it.
// Without a usable library every DecodeFrame returns 0.
//
// Threads: the timer, the window's thread and the export worker all decode;
// `lock` serialises every call and guards the channel table and the scratch
// buffer. The entry points are fixed after construction.
class VideoDecoder {
public:
    static constexpr int kChannels = platform::decodeapi::kChannels;
    // A picture buffer: YUY2 rows of width * 2 bytes without gaps.
    static constexpr std::size_t kPictureBytes = platform::decodeapi::kPictureBufferBytes;

    // Loads the library from the executable's directory.
    VideoDecoder();
    // Loads the library from libraryPath.
    explicit VideoDecoder(const std::string& libraryPath);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    bool IsLoaded() const { return init && decode && release; }

    // Sets the channel's format selector, passed to the library at the next
    // initialisation. 1, or 0 for a channel out of range.
    int SetFormat(int channel, int32_t value);

    // Decodes frame on channel into picture (width x height YUY2), putting
    // header (the stream header; may be empty) in front of the frame when the
    // channel had to be initialised. Non-zero when a picture was written.
    // The caller's frame is left untouched.
    int DecodeFrame(int channel, std::span<const uint8_t> frame, std::span<uint8_t> picture, int32_t width,
                    int32_t height, std::span<const uint8_t> header);

    // Frees the channel in the library if it is open.
    void ReleaseChannel(int channel);

private:
    struct Channel {
        int32_t format = 0;
        int32_t width = 0;
        int32_t height = 0;
        bool open = false;
    };

    void Load(const std::string& libraryPath);

    platform::SharedLibrary library;
    platform::decodeapi::InitFn init = nullptr;
    platform::decodeapi::DecodeFn decode = nullptr;
    platform::decodeapi::ReleaseFn release = nullptr;

    std::mutex lock;
    std::array<Channel, kChannels> channels{};
    // Header + frame, joined for the library without writing into the
    // caller's frame buffer (which may have no room in front or behind).
    std::unique_ptr<std::array<uint8_t, platform::decodeapi::kMaxInputBytes>> scratch;
};

}  // namespace playback
