#include "mpeg4_test_stream.h"

#include <cstdlib>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}
#include "platform/av_handles.h"

namespace teststream {

namespace {

struct Yuv {
    int y, u, v;
};

// BT.601, studio range.
Yuv ToYuv(Rgb c)
{
    return {16 + (66 * c.r + 129 * c.g + 25 * c.b + 128) / 256, 128 + (-38 * c.r - 74 * c.g + 112 * c.b + 128) / 256,
            128 + (112 * c.r - 94 * c.g - 18 * c.b + 128) / 256};
}

std::vector<uint8_t>::const_iterator FindStartCode(const std::vector<uint8_t>& bytes, uint8_t code, std::size_t from)
{
    for (std::size_t i = from; i + 4 <= bytes.size(); ++i)
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && bytes[i + 3] == code)
            return bytes.begin() + static_cast<std::ptrdiff_t>(i);
    return bytes.end();
}

void DrawPicture(AVFrame& f, int camera, int index)
{
    const Yuv base = ToYuv(kCameraColours[camera]);
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            // A moving diagonal texture of small amplitude around the colour.
            const int wave = ((x + y + index * 3) / 6) % 8;
            uint8_t luma = static_cast<uint8_t>(base.y - 8 + wave * 2);
            if (y < kCodeBlock && x < kCodeBits * kCodeBlock)
                luma = (index >> (x / kCodeBlock)) & 1 ? 235 : 16;
            f.data[0][y * f.linesize[0] + x] = luma;
        }
    for (int y = 0; y < f.height / 2; ++y)
        for (int x = 0; x < f.width / 2; ++x) {
            const bool code = y < kCodeBlock / 2 && x < kCodeBits * kCodeBlock / 2;
            f.data[1][y * f.linesize[1] + x] = static_cast<uint8_t>(code ? 128 : base.u);
            f.data[2][y * f.linesize[2] + x] = static_cast<uint8_t>(code ? 128 : base.v);
        }
}

bool TakePacket(const AVPacket& packet, CameraStream& out)
{
    const std::vector<uint8_t> bytes(packet.data, packet.data + packet.size);
    const auto vop = FindStartCode(bytes, 0xB6, 0);
    if (vop == bytes.end())
        return false;
    out.frames.emplace_back(vop, bytes.cend());
    out.intra.push_back((packet.flags & AV_PKT_FLAG_KEY) != 0);
    return true;
}

}  // namespace

bool EncodeCamera(int camera, int width, int height, int frameCount, int gop, CameraStream& out)
{
    out = CameraStream();
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!encoder)
        return false;
    platform::av::CodecContextPtr c(avcodec_alloc_context3(encoder));
    c->width = width;
    c->height = height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, 30};
    c->gop_size = gop;
    c->max_b_frames = 0;
    c->thread_count = 1;
    c->flags |= AV_CODEC_FLAG_BITEXACT | AV_CODEC_FLAG_GLOBAL_HEADER | AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * 4;
    if (avcodec_open2(c.get(), encoder, nullptr) < 0)
        return false;

    // Header: visual object sequence + visual object, then VO start code + VOL.
    const std::vector<uint8_t> extradata(c->extradata, c->extradata + c->extradata_size);
    const auto vol = FindStartCode(extradata, 0x20, 0);
    if (vol == extradata.end())
        return false;
    auto volEnd = vol + 4;
    while (volEnd + 3 <= extradata.end() && !(volEnd[0] == 0 && volEnd[1] == 0 && volEnd[2] == 1))
        ++volEnd;
    if (volEnd + 3 > extradata.end())
        volEnd = extradata.end();
    out.header = {0x00, 0x00, 0x01, 0xB0, 0x03, 0x00, 0x00, 0x01, 0xB5, 0x09, 0x00, 0x00, 0x01, 0x00};
    out.header.insert(out.header.end(), vol, volEnd);

    platform::av::FramePtr frame(av_frame_alloc());
    platform::av::PacketPtr packet(av_packet_alloc());
    frame->width = width;
    frame->height = height;
    frame->format = AV_PIX_FMT_YUV420P;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return false;
    for (int i = 0; i <= frameCount; ++i) {
        const bool flushing = i == frameCount;
        if (!flushing) {
            if (av_frame_make_writable(frame.get()) < 0)
                return false;
            DrawPicture(*frame, camera, i);
            frame->pts = i;
            frame->quality = c->global_quality;
        }
        if (avcodec_send_frame(c.get(), flushing ? nullptr : frame.get()) < 0)
            return false;
        while (avcodec_receive_packet(c.get(), packet.get()) == 0) {
            const bool ok = TakePacket(*packet, out);
            av_packet_unref(packet.get());
            if (!ok)
                return false;
        }
    }
    return static_cast<int>(out.frames.size()) == frameCount;
}

int ReadFrameCode(std::span<const uint8_t> yuy2, int width, int height)
{
    if (width < kCodeBits * kCodeBlock || height < kCodeBlock || yuy2.size() < std::size_t(width) * height * 2)
        return -1;
    int code = 0;
    for (int bit = 0; bit < kCodeBits; ++bit) {
        const int x = bit * kCodeBlock + kCodeBlock / 2;
        const int luma = yuy2[(std::size_t(kCodeBlock / 2) * width + x) * 2];
        if (luma > 180)
            code |= 1 << bit;
        else if (luma > 60)
            return -1;
    }
    return code;
}

int ReadCamera(std::span<const uint8_t> yuy2, int width, int height)
{
    if (yuy2.size() < std::size_t(width) * height * 2)
        return -1;
    // A pixel pair in the middle of the picture: Y0 U Y1 V.
    const std::size_t at = (std::size_t(height / 2) * width + (width / 2 & ~1)) * 2;
    const int u = yuy2[at + 1];
    const int v = yuy2[at + 3];
    for (int camera = 0; camera < 4; ++camera) {
        const Yuv want = ToYuv(kCameraColours[camera]);
        if (std::abs(want.u - u) <= 12 && std::abs(want.v - v) <= 12)
            return camera;
    }
    return -1;
}

}  // namespace teststream
