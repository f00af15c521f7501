#pragma once
#include "platform/decode_api.h"
#include "platform/shared_library.h"
#include "playback/decoder_channels.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace playback {

// A VideoDecoder loads the decoding library and feeds it compressed frames
// per channel (one channel per camera). Each decoder leases a block of the
// library's channels of its own (DecoderChannels), so several decoders may
// decode at once on different threads: the playback engine's, a preview's,
// a background job's. A channel is (re)initialised on its first frame and
// whenever the picture size changes; that frame gets the stream header in
// front of it. Without a usable library or a free block of channels every
// DecodeFrame returns 0 and Failure() says why.
//
// Threads: whoever uses this decoder (for the engine's: the timer, the
// window's thread and the export worker) may call from any thread; `lock`
// serialises this decoder's calls and guards its channel table and scratch
// buffer. Two decoders share no lock: the library keeps its state per
// channel. The entry points and the lease are fixed after construction.
class VideoDecoder {
public:
    // Channels 0..kChannels-1 of this decoder, mapped onto its lease.
    static constexpr int kChannels = DecoderChannels::kBlockChannels;
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
    // Why IsLoaded() is false: the library could not be loaded, or every
    // block of its channels is leased. Empty when loaded.
    const std::string& Failure() const { return failure; }
    // The library channel this decoder's channel 0 is; -1 when not loaded.
    int32_t FirstLibraryChannel() const { return IsLoaded() ? lease.LibraryChannel(0) : -1; }

    // Sets the channel's format selector, passed to the library at the next
    // initialisation. 1, or 0 for a channel out of range.
    int SetFormat(int channel, int32_t value);

    // Decodes frame on channel into picture (width x height YUY2), putting
    // header (the stream header; may be empty) in front of the frame when the
    // channel had to be initialised. Non-zero when a picture was written.
    // The caller's frame is left untouched.
    int DecodeFrame(int channel, std::span<const uint8_t> frame, std::span<uint8_t> picture, int32_t width,
                    int32_t height, std::span<const uint8_t> header);
    // Whether the library can give planar pictures (DecodePlanar).
    bool DecodesPlanar() const { return IsLoaded() && decodePlanar; }
    // As DecodeFrame, but picture gets YUV 4:2:0 in the layout of
    // decodeapi::PlanarPicture(width, height); 0 without DecodesPlanar().
    int DecodePlanar(int channel, std::span<const uint8_t> frame, std::span<uint8_t> picture, int32_t width,
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
    // The shared part of both decodes, with the picture's size checked.
    int DecodeWith(platform::decodeapi::DecodeFn entry, int channel, std::span<const uint8_t> frame,
                   std::span<uint8_t> picture, int32_t width, int32_t height, std::span<const uint8_t> header);

    DecoderChannels lease;
    std::string failure;
    platform::SharedLibrary library;
    platform::decodeapi::InitFn init = nullptr;
    platform::decodeapi::DecodeFn decode = nullptr;
    platform::decodeapi::ReleaseFn release = nullptr;
    platform::decodeapi::DecodePlanarFn decodePlanar = nullptr;

    std::mutex lock;
    std::array<Channel, kChannels> channels{};
    // Header + frame, joined for the library without writing into the
    // caller's frame buffer (which may have no room in front or behind).
    std::unique_ptr<std::array<uint8_t, platform::decodeapi::kMaxInputBytes>> scratch;
};

}  // namespace playback
