#include "playback/video_decoder.h"

#include "platform/app_directory.h"

#include <cstdio>
#include <cstring>

namespace playback {

VideoDecoder::VideoDecoder() : VideoDecoder(platform::AppDirectory() + "/" + platform::decodeapi::kLibraryFile) {}

VideoDecoder::VideoDecoder(const std::string& libraryPath)
    : scratch(std::make_unique<std::array<uint8_t, platform::decodeapi::kMaxInputBytes>>())
{
    Load(libraryPath);
}

VideoDecoder::~VideoDecoder() = default;

void VideoDecoder::Load(const std::string& libraryPath)
{
    if (!library.Open(libraryPath)) {
        std::fprintf(stderr, "quillon: no video decoding: %s\n", library.Error().c_str());
        return;
    }
    const auto initFn = reinterpret_cast<platform::decodeapi::InitFn>(library.Symbol("Init"));
    const auto decodeFn = reinterpret_cast<platform::decodeapi::DecodeFn>(library.Symbol("Decode"));
    const auto releaseFn = reinterpret_cast<platform::decodeapi::ReleaseFn>(library.Symbol("Release"));
    if (!initFn || !decodeFn || !releaseFn) {
        std::fprintf(stderr, "quillon: no video decoding: %s in %s\n", library.Error().c_str(), libraryPath.c_str());
        library.Close();
        return;
    }
    init = initFn;
    decode = decodeFn;
    release = releaseFn;
}

int VideoDecoder::SetFormat(int channel, int32_t value)
{
    if (channel < 0 || channel >= kChannels)
        return 0;
    std::lock_guard guard(lock);
    channels[channel].format = value;
    return 1;
}

int VideoDecoder::DecodeFrame(int channel, std::span<const uint8_t> frame, std::span<uint8_t> picture, int32_t width,
                              int32_t height, std::span<const uint8_t> header)
{
    if (!IsLoaded() || channel < 0 || channel >= kChannels || frame.empty() || width <= 0 || height <= 0)
        return 0;
    // The library writes width * height * 2 bytes and can't be told the
    // buffer's size: refuse what would not fit.
    const int64_t pictureBytes = int64_t{width} * height * 2;
    if (pictureBytes > static_cast<int64_t>(picture.size()) || pictureBytes > platform::decodeapi::kPictureBufferBytes)
        return 0;

    std::lock_guard guard(lock);
    Channel& c = channels[channel];
    const bool initialise = !c.open || c.width != width || c.height != height;
    const bool withHeader = initialise && !header.empty();
    const std::size_t inputBytes = frame.size() + (withHeader ? header.size() : 0);
    // Checked before the channel changes, so that a refused first frame
    // leaves the next one to carry the header.
    if (inputBytes > scratch->size())
        return 0;
    if (initialise) {
        if (c.open)
            release(channel);
        c.width = width;
        c.height = height;
        init(c.format, width, height, channel);
        c.open = true;
    }
    const uint8_t* input = frame.data();
    if (withHeader) {
        std::memcpy(scratch->data(), header.data(), header.size());
        std::memcpy(scratch->data() + header.size(), frame.data(), frame.size());
        input = scratch->data();
    }
    return decode(input, picture.data(), static_cast<int32_t>(inputBytes), channel);
}

void VideoDecoder::ReleaseChannel(int channel)
{
    if (!IsLoaded() || channel < 0 || channel >= kChannels)
        return;
    std::lock_guard guard(lock);
    if (channels[channel].open) {
        release(channel);
        channels[channel].open = false;
    }
}

}  // namespace playback
