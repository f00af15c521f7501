// libquillon_decode.so: MPEG-4 Part 2 decoding into YUY2 (or planar 4:2:0)
// for 64 channels.
// Calls on different channels may run at once on different threads: all
// state is the channel's own (its codec context, frame, packet, padded input
// copy and converter), nothing is shared between channels, and libavcodec
// and libswscale keep no state between contexts that would need a lock of
// ours. Calls on one channel are the caller's to serialise (each
// VideoDecoder holds its own lock around its own channels).
#include "platform/decode_api.h"

#include <array>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}
#include "platform/av_handles.h"

namespace {

struct Channel {
    int32_t width = 0;
    int32_t height = 0;
    platform::av::CodecContextPtr codec;
    platform::av::FramePtr frame;
    platform::av::PacketPtr packet;
    // Padded input copy, allocated once per Init: libavcodec reads past the
    // end of a packet, and the caller's buffer has no padding.
    platform::av::BufferRefPtr input;
    platform::av::SwsContextPtr convert;
    int convertFormat = -1;
    platform::av::SwsContextPtr planarConvert;  // other formats than 4:2:0
    int planarFormat = -1;

    bool IsOpen() const { return codec != nullptr; }
    void Clear() { *this = Channel(); }
};

// One entry per channel; an entry is touched only by calls on its channel.
std::array<Channel, platform::decodeapi::kChannels> channels;

bool ValidChannel(int32_t channel) { return channel >= 0 && channel < platform::decodeapi::kChannels; }

bool ValidSize(int32_t width, int32_t height)
{
    // YUY2 packs two pixels per 4 bytes: the width must be even.
    if (width < 2 || height < 1 || width % 2 != 0 || width > 4096 || height > 4096)
        return false;
    return int64_t{width} * height * 2 <= platform::decodeapi::kPictureBufferBytes;
}

bool OpenChannel(Channel& c, int32_t width, int32_t height)
{
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    if (!decoder)
        return false;
    c.codec.reset(avcodec_alloc_context3(decoder));
    c.frame.reset(av_frame_alloc());
    c.packet.reset(av_packet_alloc());
    c.input.reset(av_buffer_allocz(platform::decodeapi::kMaxInputBytes + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!c.codec || !c.frame || !c.packet || !c.input)
        return false;
    c.codec->width = width;
    c.codec->height = height;
    // One picture out per frame in, on the caller's thread.
    c.codec->thread_count = 1;
    c.codec->flags |= AV_CODEC_FLAG_LOW_DELAY;
    // Damaged recordings are expected and answered with "no picture"; keep
    // libavcodec's complaints about them below the default log level.
    c.codec->log_level_offset = AV_LOG_DEBUG;
    if (avcodec_open2(c.codec.get(), decoder, nullptr) < 0)
        return false;
    c.width = width;
    c.height = height;
    return true;
}

bool ConvertToYuy2(Channel& c, const AVFrame& frame, uint8_t* output)
{
    // A stream whose own size disagrees with the channel's would not fit the
    // caller's picture layout.
    if (frame.width != c.width || frame.height != c.height)
        return false;
    if (!c.convert || c.convertFormat != frame.format) {
        c.convert.reset(sws_getContext(c.width, c.height, static_cast<AVPixelFormat>(frame.format), c.width, c.height,
                                       AV_PIX_FMT_YUYV422, SWS_POINT, nullptr, nullptr, nullptr));
        c.convertFormat = frame.format;
        if (!c.convert)
            return false;
    }
    uint8_t* dst[4] = {output, nullptr, nullptr, nullptr};
    const int dstStride[4] = {c.width * 2, 0, 0, 0};
    return sws_scale(c.convert.get(), frame.data, frame.linesize, 0, c.height, dst, dstStride) == c.height;
}

// The decoder's own 4:2:0 planes are copied as they are; any other format is
// converted. YUY2 made from the same planes and unpacked again gives these
// very bytes (each chroma row serves two luma rows, and two equal rows
// average to themselves).
bool ConvertToPlanar(Channel& c, const AVFrame& frame, uint8_t* output)
{
    if (frame.width != c.width || frame.height != c.height)
        return false;
    const platform::decodeapi::PlanarLayout l = platform::decodeapi::PlanarPicture(c.width, c.height);
    if (l.bytes == 0)
        return false;
    uint8_t* dst[4] = {output, output + l.blueOffset, output + l.redOffset, nullptr};
    const int dstStride[4] = {l.lumaStride, l.chromaStride, l.chromaStride, 0};
    if (frame.format == AV_PIX_FMT_YUV420P) {
        const int widths[3] = {c.width, l.chromaWidth, l.chromaWidth};
        const int heights[3] = {c.height, l.chromaHeight, l.chromaHeight};
        for (int p = 0; p < 3; ++p)
            av_image_copy_plane(dst[p], dstStride[p], frame.data[p], frame.linesize[p], widths[p], heights[p]);
        return true;
    }
    if (!c.planarConvert || c.planarFormat != frame.format) {
        c.planarConvert.reset(sws_getContext(c.width, c.height, static_cast<AVPixelFormat>(frame.format), c.width,
                                             c.height, AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr));
        c.planarFormat = frame.format;
        if (!c.planarConvert)
            return false;
    }
    return sws_scale(c.planarConvert.get(), frame.data, frame.linesize, 0, c.height, dst, dstStride) == c.height;
}

using Convert = bool (*)(Channel&, const AVFrame&, uint8_t*);

int32_t DecodeInto(const uint8_t* input, uint8_t* output, int32_t length, int32_t channel, Convert convert)
{
    if (!ValidChannel(channel) || !input || !output || length <= 0 || length > platform::decodeapi::kMaxInputBytes)
        return 0;
    Channel& c = channels[channel];
    if (!c.IsOpen())
        return 0;

    // The decoder may still hold a reference to the previous input; then
    // this makes a private copy instead of overwriting what it reads.
    AVBufferRef* input_ref = c.input.release();
    const bool writable = av_buffer_make_writable(&input_ref) == 0;
    c.input.reset(input_ref);
    if (!writable)
        return 0;
    std::memcpy(c.input->data, input, static_cast<size_t>(length));
    std::memset(c.input->data + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);

    AVPacket* packet = c.packet.get();
    packet->buf = av_buffer_ref(c.input.get());
    if (!packet->buf)
        return 0;
    packet->data = c.input->data;
    packet->size = length;
    const int sent = avcodec_send_packet(c.codec.get(), packet);
    av_packet_unref(packet);
    if (sent < 0)
        return 0;

    int32_t written = 0;
    while (avcodec_receive_frame(c.codec.get(), c.frame.get()) == 0) {
        written = convert(c, *c.frame, output) ? 1 : written;
        av_frame_unref(c.frame.get());
    }
    return written;
}

}  // namespace

#define QUILLON_DECODE_EXPORT extern "C" __attribute__((visibility("default")))

QUILLON_DECODE_EXPORT int32_t Init(int32_t format, int32_t width, int32_t height, int32_t channel)
{
    (void)format;  // one stream kind only: MPEG-4 Part 2
    if (!ValidChannel(channel))
        return 0;
    Channel& c = channels[channel];
    c.Clear();
    if (!ValidSize(width, height) || !OpenChannel(c, width, height)) {
        c.Clear();
        return 0;
    }
    return 1;
}

QUILLON_DECODE_EXPORT int32_t Decode(const uint8_t* input, uint8_t* output, int32_t length, int32_t channel)
{
    return DecodeInto(input, output, length, channel, ConvertToYuy2);
}

QUILLON_DECODE_EXPORT int32_t DecodePlanar(const uint8_t* input, uint8_t* output, int32_t length, int32_t channel)
{
    return DecodeInto(input, output, length, channel, ConvertToPlanar);
}

QUILLON_DECODE_EXPORT int32_t Release(int32_t channel)
{
    if (ValidChannel(channel))
        channels[channel].Clear();
    return 1;
}
