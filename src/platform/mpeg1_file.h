#pragma once
// The open MPEG-1 file behind CMPEG1Encoder: mpeg1video and MP2 into the
// MPEG-1 system stream muxer; the rest is EncodedFile's. Every buffer is
// allocated in Open.
#include <cstdint>
#include <string>

#include "platform/encoded_file.h"

namespace platform::mpeg1 {

inline constexpr int kPicturesPerSecond = 30;

class File final : public platform::av::EncodedFile {
public:
    File() : EncodedFile({"MPEG-1 export", "MPEG-1 video encoding failed", "MP2 encoding failed"}) {}

    // The encoders first, the file last: most refusals leave nothing on disk.
    bool Open(const std::string& path, int width, int height, int audioRate, int64_t capBitsPerSecond);

private:
    bool OpenVideo(int64_t cap);
    bool OpenSound(int rate);
    bool OpenMuxer();
};

}  // namespace platform::mpeg1
