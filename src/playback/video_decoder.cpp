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

VideoDecoder::~VideoDecoder()
{
    // The lease goes back to the pool with its channels closed.
    for (int channel = 0; channel < kChannels; ++channel)
        ReleaseChannel(channel);
}

void VideoDecoder::Load(const std::string& libraryPath)
{
    if (!lease.IsHeld()) {
        failure = lease.Refusal();
        std::fprintf(stderr, "quillon: no video decoding: %s\n", failure.c_str());
        return;
    }
    if (!library.Open(libraryPath)) {
        failure = library.Error();
        std::fprintf(stderr, "quillon: no video decoding: %s\n", failure.c_str());
        return;
    }
    const auto initFn = reinterpret_cast<platform::decodeapi::InitFn>(library.Symbol("Init"));
    const auto decodeFn = reinterpret_cast<platform::decodeapi::DecodeFn>(library.Symbol("Decode"));
    const auto releaseFn = reinterpret_cast<platform::decodeapi::ReleaseFn>(library.Symbol("Release"));
    if (!initFn || !decodeFn || !releaseFn) {
        failure = library.Error() + " in " + libraryPath;
        std::fprintf(stderr, "quillon: no video decoding: %s in %s\n", library.Error().c_str(), libraryPath.c_str());
        library.Close();
        return;
    }
    init = initFn;
    decode = decodeFn;
    release = releaseFn;
    decodePlanar = reinterpret_cast<platform::decodeapi::DecodePlanarFn>(library.Symbol("DecodePlanar"));
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
    if (!IsLoaded() || width <= 0 || height <= 0)
        return 0;
    // The library writes width * height * 2 bytes and can't be told the
    // buffer's size: refuse what would not fit.
    const int64_t pictureBytes = int64_t{width} * height * 2;
    if (pictureBytes > static_cast<int64_t>(picture.size()) || pictureBytes > platform::decodeapi::kPictureBufferBytes)
        return 0;
    return DecodeWith(decode, channel, frame, picture, width, height, header);
}

int VideoDecoder::DecodePlanar(int channel, std::span<const uint8_t> frame, std::span<uint8_t> picture, int32_t width,
                               int32_t height, std::span<const uint8_t> header)
{
    if (!DecodesPlanar())
        return 0;
    const std::size_t pictureBytes = platform::decodeapi::PlanarPicture(width, height).bytes;
    if (pictureBytes == 0 || pictureBytes > picture.size())
        return 0;
    return DecodeWith(decodePlanar, channel, frame, picture, width, height, header);
}

int VideoDecoder::DecodeWith(platform::decodeapi::DecodeFn entry, int channel, std::span<const uint8_t> frame,
                             std::span<uint8_t> picture, int32_t width, int32_t height, std::span<const uint8_t> header)
{
    if (channel < 0 || channel >= kChannels || frame.empty())
        return 0;

    const int32_t libraryChannel = lease.LibraryChannel(channel);
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
            release(libraryChannel);
        c.width = width;
        c.height = height;
        init(c.format, width, height, libraryChannel);
        c.open = true;
    }
    const uint8_t* input = frame.data();
    if (withHeader) {
        std::memcpy(scratch->data(), header.data(), header.size());
        std::memcpy(scratch->data() + header.size(), frame.data(), frame.size());
        input = scratch->data();
    }
    return entry(input, picture.data(), static_cast<int32_t>(inputBytes), libraryChannel);
}

void VideoDecoder::ReleaseChannel(int channel)
{
    if (!IsLoaded() || channel < 0 || channel >= kChannels)
        return;
    std::lock_guard guard(lock);
    if (channels[channel].open) {
        release(lease.LibraryChannel(channel));
        channels[channel].open = false;
    }
}

}  // namespace playback
