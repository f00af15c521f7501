#include "platform/xvid_compressor.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}
#include "platform/av_handles.h"
#include "platform/bgr_to_yuv.h"
#include "platform/yuv_planes.h"

namespace platform {

struct XvidCompressor::Codec {
    platform::av::CodecContextPtr context;
    platform::av::FramePtr picture;
    platform::av::PacketPtr packet;
    platform::av::BgrToYuv convert;
    int width = 0;
    int height = 0;
    std::int64_t nextPts = 0;
    bool flushed = false;
    bool delay = false;
};

XvidCompressor::XvidCompressor() = default;
XvidCompressor::~XvidCompressor() = default;

bool XvidCompressor::Fail(const char* what, int averror)
{
    lastError = std::string("XviD: ") + what;
    if (averror < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_make_error_string(text, sizeof text, averror);
        lastError += std::string(": ") + text;
    }
    return false;
}

bool XvidCompressor::Open(int width, int height, int quantiser, int keyInterval)
{
    Close();
    lastError.clear();
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192 || quantiser < 2 || quantiser > 31 ||
        keyInterval < 1)
        return Fail("picture size, quantiser or key interval out of range", 0);
    if (width % 2 != 0 || height % 2 != 0)
        return Fail("the picture's width and height must be even", 0);
    const AVCodec* encoder = avcodec_find_encoder_by_name("libxvid");
    if (!encoder)
        return Fail("this FFmpeg has no libxvid encoder", 0);

    auto c = std::make_unique<Codec>();
    c->context.reset(avcodec_alloc_context3(encoder));
    c->picture.reset(av_frame_alloc());
    c->packet.reset(av_packet_alloc());
    if (!c->context || !c->picture || !c->packet)
        return Fail("out of memory", AVERROR(ENOMEM));

    AVCodecContext& ctx = *c->context;
    ctx.width = width;
    ctx.height = height;
    ctx.pix_fmt = AV_PIX_FMT_YUV420P;
    ctx.sample_aspect_ratio = AVRational{1, 1};
    // Only the bitstream's own clock: the AVI headers carry the real rate.
    ctx.time_base = AVRational{1, 30};
    ctx.framerate = AVRational{30, 1};
    ctx.gop_size = keyInterval;
    ctx.max_b_frames = 0;
    ctx.thread_count = 1;
    ctx.flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_BITEXACT;
    ctx.global_quality = quantiser * FF_QP2LAMBDA;
    ctx.codec_tag = MKTAG('X', 'V', 'I', 'D');
    ctx.color_range = AVCOL_RANGE_MPEG;
    ctx.colorspace = AVCOL_SPC_SMPTE170M;
    if (const int err = avcodec_open2(&ctx, encoder, nullptr); err < 0)
        return Fail("the encoder refused the settings", err);

    AVFrame& picture = *c->picture;
    picture.format = AV_PIX_FMT_YUV420P;
    picture.width = width;
    picture.height = height;
    picture.color_range = AVCOL_RANGE_MPEG;
    picture.colorspace = AVCOL_SPC_SMPTE170M;
    if (const int err = av_frame_get_buffer(&picture, 0); err < 0)
        return Fail("cannot allocate the picture", err);

    c->width = width;
    c->height = height;
    c->delay = (encoder->capabilities & AV_CODEC_CAP_DELAY) != 0;
    codec = std::move(c);
    return true;
}

void XvidCompressor::Close() { codec.reset(); }

bool XvidCompressor::IsOpen() const { return codec != nullptr; }

bool XvidCompressor::HasDelay() const { return codec && codec->delay; }

bool XvidCompressor::Send(std::span<const std::uint8_t> bgrBottomUp)
{
    if (!codec)
        return Fail("not open", 0);
    if (bgrBottomUp.size() < std::size_t(codec->width) * 3 * codec->height)
        return Fail("picture buffer too small", 0);
    return SendPicture(bgrBottomUp.data(), false);
}

bool XvidCompressor::SendPlanes(std::span<const std::uint8_t> yuv)
{
    if (!codec)
        return Fail("not open", 0);
    if (yuv.size() < YuvPlanesBytes(codec->width, codec->height))
        return Fail("picture buffer too small", 0);
    return SendPicture(yuv.data(), true);
}

bool XvidCompressor::SendPicture(const std::uint8_t* bytes, bool planes)
{
    if (codec->flushed)
        return Fail("picture after the end of the stream", 0);
    AVFrame& picture = *codec->picture;
    // Allocates only while the encoder still holds the previous picture.
    if (const int err = av_frame_make_writable(&picture); err < 0)
        return Fail("cannot reuse the picture", err);
    // The conversion (and its slice threads) only for callers that hand over BGR.
    if (!planes && !codec->convert.IsOpen() && !codec->convert.Open(codec->width, codec->height))
        return Fail("cannot convert BGR24 to YUV 4:2:0", 0);
    if (planes ? !av::CopyYuvPlanes(bytes, picture) : !codec->convert.Convert(bytes, picture))
        return Fail("colour conversion failed", 0);

    picture.pts = codec->nextPts++;
    // libxvid takes its quantiser from each picture, not from the context.
    picture.quality = codec->context->global_quality;
    picture.pict_type = AV_PICTURE_TYPE_NONE;
    if (const int err = avcodec_send_frame(codec->context.get(), &picture); err < 0)
        return Fail("the encoder refused the picture", err);
    return true;
}

bool XvidCompressor::Flush()
{
    if (!codec)
        return Fail("not open", 0);
    if (codec->flushed)
        return true;
    codec->flushed = true;
    if (const int err = avcodec_send_frame(codec->context.get(), nullptr); err < 0)
        return Fail("cannot end the stream", err);
    return true;
}

XvidCompressor::Receive XvidCompressor::Next(Packet& packet)
{
    packet = Packet{};
    if (!codec) {
        Fail("not open", 0);
        return Receive::kFailed;
    }
    AVPacket& out = *codec->packet;
    av_packet_unref(&out);
    const int err = avcodec_receive_packet(codec->context.get(), &out);
    if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
        return Receive::kNone;
    if (err < 0) {
        Fail("compression failed", err);
        return Receive::kFailed;
    }
    packet.bytes = std::span<const std::uint8_t>(out.data, std::size_t(out.size));
    packet.keyFrame = (out.flags & AV_PKT_FLAG_KEY) != 0;
    return Receive::kPacket;
}

}  // namespace platform
