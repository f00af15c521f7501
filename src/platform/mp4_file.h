#pragma once
// The open MP4 file behind mp4::Writer: libx264 and AAC into the MP4 muxer;
// the rest is EncodedFile's. Every buffer is allocated in Open.
#include <string>

#include "platform/encoded_file.h"

namespace platform::mp4 {

class File final : public platform::av::EncodedFile {
public:
    File() : EncodedFile({"MP4 export", "H.264 encoding failed", "AAC encoding failed"}) {}

    // The encoders first, the file last: most refusals leave nothing on disk.
    // Finish writes the trailer with the index moved to the front.
    bool Open(const std::string& path, int width, int height, const std::string& creationTime);

private:
    bool OpenVideo();
    bool OpenSound();
    bool OpenMuxer(const std::string& creationTime);
    bool OpenFile();
};

}  // namespace platform::mp4
