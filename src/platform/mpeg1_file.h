#pragma once
// The open MPEG-1 file behind CMPEG1Encoder: the picture conversion, both
// encoders, the muxer and the file itself. Every buffer is allocated in Open.
#include <cstdint>
#include <span>
#include <string>

#include "platform/av_handles.h"
#include "platform/bgr_to_yuv.h"
#include "platform/mpeg1_sound.h"

namespace mpeg1 {

inline constexpr int kPicturesPerSecond = 30;

class File final : SoundFrames::Sink {
public:
    // The encoders first, the file last: most refusals leave nothing on disk.
    bool Open(const std::string& path, int width, int height, int audioRate, int64_t capBitsPerSecond);
    // Open failed after the file was made: closes and removes it.
    void Abandon();

    // width x height BGR triplets, bottom row first, rows of 3 x width bytes.
    bool EncodePicture(const uint8_t* bgrBottomUp);
    // Little-endian 16-bit samples at the input rate; an even count.
    bool PushSound(std::span<const uint8_t> bytes) { return soundFrames.Push(bytes, *this, error); }
    // What the resampler and the encoders hold, then the end of the stream.
    bool Finish();
    // Closing flushes the last buffered bytes; its result is the last write's.
    bool CloseFile();
    // Only a file of our own making; never a device such as /dev/null.
    void RemoveFile() const;

    int64_t PicturesWritten() const { return picturesWritten; }
    // Why the last call failed, one line.
    const std::string& Error() const { return error; }

private:
    bool Fail(const char* what, int averror);
    bool WriteFailed(int averror);
    bool OpenVideo(int64_t cap);
    bool OpenSound(int rate);
    bool OpenPictures();
    bool OpenMuxer();
    bool OpenFile();
    bool EncodeSound(AVFrame& frame) override;
    bool Drain(AVCodecContext& codec, AVStream& stream);

    std::string path;
    int width = 0;
    int height = 0;
    av::CodecContextPtr video;
    av::CodecContextPtr sound;
    av::BgrToYuv convert;
    av::FramePtr picture;  // refilled for every picture
    av::PacketPtr packet;
    SoundFrames soundFrames;
    av::OutputContextPtr muxer;
    av::IoContextPtr file;  // muxer->pb while open
    AVStream* videoStream = nullptr;
    AVStream* soundStream = nullptr;
    int64_t picturesIn = 0;
    int64_t picturesWritten = 0;
    std::string error;
};

}  // namespace mpeg1
