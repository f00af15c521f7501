#pragma once
// The C interface of the decoding library (libquillon_decode.so), looked up by
// name at run time. Sizes, channels and results are 32-bit; input and output
// are the caller's buffers.
#include <cstddef>
#include <cstdint>

namespace platform::decodeapi {

constexpr const char* kLibraryFile = "libquillon_decode.so";
constexpr int32_t kChannels = 64;
// Largest compressed input: a 29-byte stream header in front of the largest
// joined frame that frame assembly can produce.
constexpr int32_t kMaxInputBytes = 29 + 256000;
// Every output buffer holds at least this much; Init refuses sizes whose
// YUY2 picture (width * height * 2) would not fit.
constexpr int32_t kPictureBufferBytes = 1244160;

// Init(format, width, height, channel): prepares the channel; 1, or 0 when refused.
using InitFn = int32_t (*)(int32_t, int32_t, int32_t, int32_t);
// Decode(input, output, length, channel): 1 when a YUY2 picture of the
// channel's width x height was written to output, else 0.
using DecodeFn = int32_t (*)(const uint8_t*, uint8_t*, int32_t, int32_t);
// DecodePlanar(input, output, length, channel): as Decode, but the picture
// is written as YUV 4:2:0 in PlanarPicture's layout. Optional: a library
// without it is used through Decode alone.
using DecodePlanarFn = int32_t (*)(const uint8_t*, uint8_t*, int32_t, int32_t);
// Release(channel): frees the channel; 1.
using ReleaseFn = int32_t (*)(int32_t);

// Where DecodePlanar puts a width x height picture: the luma plane, then blue
// and red chroma at half the width and height (an odd side rounded up), each
// row padded to 16 bytes (so every plane starts 16-aligned, as libswscale
// reads fastest). For every size Init accepts this fits an output buffer;
// bytes is 0 for a size it refuses.
struct PlanarLayout {
    int32_t lumaStride = 0;
    int32_t chromaStride = 0;
    int32_t chromaWidth = 0;
    int32_t chromaHeight = 0;
    std::size_t blueOffset = 0;
    std::size_t redOffset = 0;
    std::size_t bytes = 0;
};

constexpr PlanarLayout PlanarPicture(int32_t width, int32_t height)
{
    PlanarLayout l;
    if (width < 2 || height < 1 || width > 4096 || height > 4096 || int64_t{width} * height * 2 > kPictureBufferBytes)
        return l;
    l.chromaWidth = (width + 1) / 2;
    l.chromaHeight = (height + 1) / 2;
    l.lumaStride = (width + 15) / 16 * 16;
    l.chromaStride = (l.chromaWidth + 15) / 16 * 16;
    l.blueOffset = std::size_t(l.lumaStride) * std::size_t(height);
    l.redOffset = l.blueOffset + std::size_t(l.chromaStride) * std::size_t(l.chromaHeight);
    l.bytes = l.redOffset + std::size_t(l.chromaStride) * std::size_t(l.chromaHeight);
    if (l.bytes > std::size_t(kPictureBufferBytes))
        return PlanarLayout{};
    return l;
}

}  // namespace platform::decodeapi
