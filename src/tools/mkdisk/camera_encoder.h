#pragma once
// One camera's MPEG-4 Part 2 Simple Profile encoder (libavcodec "mpeg4",
// bit-exact, single thread, fixed quantiser, no B-frames), split into the pieces
// the recorder stream is made of: the VO + VOL header of each intra VOP, and VOPs.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/av_handles.h"
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

    bool Open(const EncoderSettings& settings, std::string& error);
    // The picture to draw the next frame into.
    bool Picture(Yuv420View& view, std::string& error);
    // Encodes the drawn picture as frame number `pts` of the record.
    bool Encode(int64_t pts, bool intra, EncodedFrame& out, std::string& error);

private:
    platform::av::CodecContextPtr codec_;
    platform::av::FramePtr frame_;
    platform::av::PacketPtr packet_;
};

// The VO + VOL that encoders with these settings write before intra VOPs, taken
// from the encoder's global header. Cameras without video reuse it.
bool VoVolHeader(const EncoderSettings& settings, std::vector<uint8_t>& voVol, std::string& error);

}  // namespace mkdisk
