#pragma once
// The open MP4 file behind mp4::Writer: the picture conversion, libx264 and
// AAC encoders, the MP4 muxer and the file. Every buffer is allocated in Open.
#include <cstdint>
#include <span>
#include <string>

#include "platform/av_handles.h"
#include "platform/bgr_to_yuv.h"
#include "platform/mpeg1_sound.h"

namespace mp4 {

class File final : mpeg1::SoundFrames::Sink {
public:
    // The encoders first, the file last: most refusals leave nothing on disk.
    bool Open(const std::string& path, int width, int height, const std::string& creationTime);
    // Open failed after the file was made: closes and removes it.
    void Abandon();

    bool EncodePicture(const uint8_t* bgrBottomUp);
    bool PushSound(std::span<const uint8_t> bytes) { return soundFrames.Push(bytes, *this, error); }
    // What the resampler and the encoders hold, then the trailer (the index
    // moved to the front).
    bool Finish();
    bool CloseFile();

    int64_t PicturesWritten() const { return picturesWritten; }
    const std::string& Error() const { return error; }

private:
    bool Fail(const char* what, int averror);
    bool WriteFailed(int averror);
    bool OpenVideo();
    bool OpenSound();
    bool OpenPictures();
    bool OpenMuxer(const std::string& creationTime);
    bool OpenFile();
    bool EncodeSound(AVFrame& frame) override;
    bool Drain(AVCodecContext& codec, AVStream& stream);

    std::string path;
    int width = 0;
    int height = 0;
    av::CodecContextPtr video;
    av::CodecContextPtr sound;
    av::BgrToYuv convert;
    av::FramePtr picture;
    av::PacketPtr packet;
    mpeg1::SoundFrames soundFrames;
    av::OutputContextPtr muxer;
    av::IoContextPtr file;  // muxer->pb while open
    AVStream* videoStream = nullptr;
    AVStream* soundStream = nullptr;
    int64_t picturesIn = 0;
    int64_t picturesWritten = 0;
    std::string error;
};

}  // namespace mp4
