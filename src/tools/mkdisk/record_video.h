#pragma once
// The video of one record, a second at a time: four camera encoders and the
// recorder's interleaving, camera 0, 1, 2, 3, 0, ... Before each camera's intra
// VOP stand the VO start code, the VOL and an 8-byte user-data block, so that the
// 19 bytes from 27 to 9 bytes before the VOP are exactly VO + VOL.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/mkdisk/camera_encoder.h"
#include "tools/mkdisk/disk_plan.h"
#include "tools/mkdisk/textured_scene.h"

namespace mkdisk {

inline constexpr size_t kUserDataBytes = 8;
inline constexpr size_t kTinyVopMaxBytes = 100;

// One frame in a second's stream.
struct StreamFrame {
    int camera = 0;
    int frame = 0;  // the camera's frame within the second
    bool intra = false;
    bool video = true;          // false: the tiny VOP of a camera without video
    int64_t headerOffset = -1;  // offset of the VO start code before an intra VOP
    size_t offset = 0;          // offset of the VOP start code
    size_t length = 0;          // VOP bytes, up to the next header or VOP
};

struct SecondStream {
    std::vector<uint8_t> bytes;
    std::vector<StreamFrame> frames;
};

// The user-data block: 00 00 01 B2, then camera and second in bytes that are never 0.
std::array<uint8_t, kUserDataBytes> UserDataBlock(int camera, uint32_t second);

// A VOP that codes no picture (vop_coded = 0), for cameras without video.
std::vector<uint8_t> TinyVop(bool intra, bool secondStart, int frame, int frameRate);

class RecordVideo {
public:
    platform::Result<void> Open(const RecordPlan& plan);
    platform::Result<void> EncodeSecond(uint32_t second, SecondStream& out);
    const std::vector<uint8_t>& VoVol() const { return voVol_; }

private:
    RecordPlan plan_;
    EncoderSettings settings_;
    std::array<std::unique_ptr<CameraEncoder>, 4> encoders_;
    std::vector<uint8_t> voVol_;
    EncodedFrame encoded_;
    SceneLayout layout_;
    std::array<TexturedScene, 4> scenes_;  // built for the textured scene only
};

}  // namespace mkdisk
