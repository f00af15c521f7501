#pragma once
// The export encoders' colour conversion: bottom-up 24-bit blue-green-red
// pictures into YUV 4:2:0, BT.601 studio range, bit-exact (the same bytes run
// after run), in two slices on libswscale's own threads: the encoder thread
// is the export's bottleneck and the other core has room.
//
// Threads: one caller at a time (the encoder's); libswscale's slice threads
// are its own.
#include <cstdint>

#include "platform/av_handles.h"

namespace platform::av {

class BgrToYuv {
public:
    static constexpr int kSlices = 2;

    bool Open(int width, int height);
    bool IsOpen() const { return context != nullptr; }
    // Into picture (yuv420p, width x height, writable). False on failure.
    bool Convert(const std::uint8_t* bgrBottomUp, AVFrame& picture);

private:
    SwsContextPtr context;
    FramePtr source;
    int width = 0;
    int height = 0;
};

// A picture already in YUV 4:2:0 (platform/yuv_planes.h's layout, the
// frame's size) copied into picture (yuv420p, writable) without conversion.
bool CopyYuvPlanes(const std::uint8_t* yuv, AVFrame& picture);

}  // namespace platform::av
