#pragma once
// What the MPEG-1 and the MP4 file share once their encoders are open: the
// picture frame, the packet, the muxer and the local file; pictures and sound
// drained into their streams, the end of both, and the close. Each subclass
// opens its own encoders and muxer and names the codecs in the texts.
//
// Threads: pictures (EncodePicture, EncodePlanes) and sound (PushSound) may
// come from two threads at once, one thread each; everything else is called
// with neither running. The video encoder, `picture`, `packet` and the
// picture counts belong to the pictures' thread; the sound encoder,
// `soundFrames` and `soundPacket` to the sound's. `lock` guards the muxer's
// writes and `error`.
#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <utility>

#include "platform/av_handles.h"
#include "platform/bgr_to_yuv.h"
#include "platform/mpeg1_sound.h"

namespace platform::av {

class EncodedFile : platform::mpeg1::SoundFrames::Sink {
public:
    // Open failed after the file was made: closes and removes it.
    void Abandon();

    // width x height BGR triplets, bottom row first, rows of 3 x width bytes.
    bool EncodePicture(const uint8_t* bgrBottomUp);
    // The same picture already in YUV 4:2:0 (platform/yuv_planes.h's layout).
    bool EncodePlanes(const uint8_t* yuv);
    // Little-endian 16-bit samples at the input rate; an even count.
    bool PushSound(std::span<const uint8_t> bytes) { return Kept(soundFrames.Push(bytes, *this)); }
    // What the resampler and the encoders hold, then the muxer's trailer.
    bool Finish();
    // Closing flushes the last buffered bytes; its result is the last write's.
    bool CloseFile();
    // Only a file of our own making; never a device such as /dev/null.
    void RemoveFile() const;

    int64_t PicturesWritten() const { return picturesWritten; }
    // Why the last call failed, one line.
    std::string Error() const;

protected:
    // The start of every refusal ("MPEG-1 export") and what a failed
    // encoding of either stream says; all live as long as the program.
    struct Texts {
        const char* exportName;
        const char* videoFailed;
        const char* soundFailed;
    };
    explicit EncodedFile(Texts texts) : texts(texts) {}
    ~EncodedFile() = default;

    bool Fail(const char* what, int averror);
    // The sound path's result, its reason kept as this file's last error.
    bool Kept(const Result<void>& result);
    bool WriteFailed(int averror);
    bool WriteFailed_locked(int averror);
    // Needs width and height; allocates the frame every picture refills.
    bool OpenPictures();
    // From here on EncodePlanes hands the caller's planes to the video
    // encoder as they are, without copying them into the frame. Only for an
    // encoder that copies each picture before it returns (libx264 does); one
    // that keeps a lent picture all the same fails the file, since the
    // caller will write over it.
    void LendPlanes() { lending = true; }
    // format is libavformat's muxer name; missing, the refusal when it has none.
    bool CreateMuxer(const char* format, const char* missing);
    // One stream per encoder, video first; both encoders open.
    bool AddStreams();
    // Only ever a local file, created or truncated: a name such as
    // "http://..." or "pipe:1" stays a file name.
    bool OpenIo();
    // The header with the muxer's one option; missing, the refusal when the
    // muxer does not know it.
    bool WriteHeader(const char* option, const char* value, const char* missing);

    std::string path;
    int width = 0;
    int height = 0;
    CodecContextPtr video;
    CodecContextPtr sound;
    BgrToYuv convert;
    FramePtr picture;  // refilled for every picture
    PacketPtr packet;
    PacketPtr soundPacket;
    platform::mpeg1::SoundFrames soundFrames;
    OutputContextPtr muxer;
    IoContextPtr file;  // muxer->pb while open
    AVStream* videoStream = nullptr;
    AVStream* soundStream = nullptr;

private:
    Result<void> EncodeSound(AVFrame& frame) override;
    bool Drain(AVCodecContext& codec, AVStream& stream, AVPacket& out);
    bool SendLentPlanes(AVBufferRef& buffer);
    // The caller's buffer as a reference the encoder can take: one made per
    // distinct buffer (the export reuses a few), never freed by libav; null
    // past kLentBuffers of them.
    AVBufferRef* LentBuffer(const uint8_t* yuv);
    void SetError(std::string text);
    bool SendPicture();

    Texts texts;
    static constexpr std::size_t kLentBuffers = 8;
    bool lending = false;
    FramePtr lent;  // the caller's planes, while the encoder has them
    std::array<std::pair<const uint8_t*, BufferRefPtr>, kLentBuffers> lentBuffers{};
    std::size_t lentCount = 0;
    mutable std::mutex lock;
    std::string error;
    int64_t picturesIn = 0;
    int64_t picturesWritten = 0;
};

}  // namespace platform::av
