#pragma once
// The C interface of the decoding library (libquillon_decode.so), looked up by
// name at run time. Sizes, channels and results are 32-bit; input and output
// are the caller's buffers.
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
// Release(channel): frees the channel; 1.
using ReleaseFn = int32_t (*)(int32_t);

}  // namespace platform::decodeapi
