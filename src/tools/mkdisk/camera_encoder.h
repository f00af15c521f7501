#pragma once
// One camera's MPEG-4 Part 2 Simple Profile encoder (libavcodec "mpeg4",
// bit-exact, single thread, fixed quantiser, no B-frames), split into the pieces
// the recorder stream is made of: the VO + VOL header of each intra VOP, and VOPs.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/av_handles.h"
#include "platform/error.h"
#include "tools/mkdisk/yuv_view.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace mkdisk {

// VO start code (4 bytes) + VOL (15 bytes): what a reader captures as stream header.
inline constexpr size_t kVoVolBytes = 19;

struct EncodedFrame {
    bool intra = false;
    std::vector<uint8_t> voVol;  // kVoVolBytes for an intra frame, else empty
    std::vector<uint8_t> vop;    // from 00 00 01 B6 to the end of the frame
};

struct EncoderSettings {
    int width = 352;
    int height = 240;
    int frameRate = 30;
    int qscale = 4;  // 1 (best) .. 31
};

class CameraEncoder {
public:
    CameraEncoder();
    ~CameraEncoder();
    CameraEncoder(const CameraEncoder&) = delete;
    CameraEncoder& operator=(const CameraEncoder&) = delete;

    platform::Result<void> Open(const EncoderSettings& settings);
    // The picture to draw the next frame into.
    platform::Result<void> Picture(Yuv420View& view);
    // Encodes the drawn picture as frame number `pts` of the record.
    platform::Result<void> Encode(int64_t pts, bool intra, EncodedFrame& out);

private:
    platform::av::CodecContextPtr codec_;
    platform::av::FramePtr frame_;
    platform::av::PacketPtr packet_;
};

// The VO + VOL that encoders with these settings write before intra VOPs, taken
// from the encoder's global header. Cameras without video reuse it.
platform::Result<void> VoVolHeader(const EncoderSettings& settings, std::vector<uint8_t>& voVol);

}  // namespace mkdisk
