#pragma once
// XviD (MPEG-4 Part 2) compression of bottom-up BGR24 pictures through
// libavcodec's libxvid encoder. FFmpeg stays behind this header.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

class XvidCompressor {
public:
    struct Packet {
        std::span<const std::uint8_t> bytes;  // valid until the next call
        bool keyFrame = false;
    };
    enum class Receive { kPacket, kNone, kFailed };

    XvidCompressor();
    ~XvidCompressor();
    XvidCompressor(const XvidCompressor&) = delete;
    XvidCompressor& operator=(const XvidCompressor&) = delete;

    // A fixed quantiser (2..31) for every picture, a key frame every
    // keyInterval pictures, no B-frames, one thread: the same pictures give
    // the same bytes. Everything a picture needs is allocated here.
    bool Open(int width, int height, int quantiser, int keyInterval);
    void Close();
    bool IsOpen() const;
    // True when the encoder may hold pictures back: their packets then come
    // from later Sends or from Flush.
    bool HasDelay() const;

    // One picture: width * height BGR triplets, bottom row first, rows of
    // 3 * width bytes. Collect its packets with Next until kNone.
    bool Send(std::span<const std::uint8_t> bgrBottomUp);
    // The same picture in YUV 4:2:0 (platform/yuv_planes.h's layout).
    bool SendPlanes(std::span<const std::uint8_t> yuv);
    // No more pictures: Next then yields what the encoder held back.
    bool Flush();
    Receive Next(Packet& packet);

    const std::string& LastError() const { return lastError; }

private:
    struct Codec;
    bool Fail(const char* what, int averror);
    bool SendPicture(const std::uint8_t* bytes, bool planes);

    std::unique_ptr<Codec> codec;
    std::string lastError;
};

}  // namespace platform
