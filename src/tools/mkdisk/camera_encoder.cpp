#include "tools/mkdisk/camera_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <span>

namespace mkdisk {
namespace {

struct StartCode {
    size_t offset;
    uint8_t code;
};

std::vector<StartCode> StartCodes(std::span<const uint8_t> bytes)
{
    std::vector<StartCode> codes;
    for (size_t i = 0; i + 3 < bytes.size(); ++i)
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1)
            codes.push_back({i, bytes[i + 3]});
    return codes;
}

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

platform::Result<void> Configure(AVCodecContext* c, const EncoderSettings& s, bool globalHeader)
{
    c->width = s.width;
    c->height = s.height;
    c->time_base = AVRational{1, s.frameRate};
    c->framerate = AVRational{s.frameRate, 1};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->gop_size = s.frameRate;
    c->max_b_frames = 0;
    c->thread_count = 1;
    c->flags |= AV_CODEC_FLAG_BITEXACT | AV_CODEC_FLAG_QSCALE;
    if (globalHeader)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c->global_quality = FF_QP2LAMBDA * s.qscale;
    // Intra VOPs only where the writer asks for them: at each second's start.
    av_opt_set_int(c->priv_data, "sc_threshold", 1000000000, 0);
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!codec) {
        return platform::Error{platform::ErrorKind::Unsupported, "libavcodec has no MPEG-4 Part 2 encoder"};
    }
    const int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0) {
        return platform::Error{platform::ErrorKind::WriteFailed, "cannot open the MPEG-4 encoder: " + AvError(rc)};
    }
    return {};
}

// VO start code up to the start code after the VOL (or the end of the bytes).
platform::Result<void> TakeVoVol(std::span<const uint8_t> bytes, const std::vector<StartCode>& codes,
                                 std::vector<uint8_t>& voVol)
{
    for (size_t i = 0; i + 1 < codes.size(); ++i) {
        if (codes[i].code <= 0x1F && codes[i + 1].code >= 0x20 && codes[i + 1].code <= 0x2F) {
            const size_t begin = codes[i].offset;
            const size_t end = i + 2 < codes.size() ? codes[i + 2].offset : bytes.size();
            if (end - begin != kVoVolBytes) {
                return platform::Error{platform::ErrorKind::WriteFailed,
                                       "the encoder's VO + VOL header is " + std::to_string(end - begin) +
                                           " bytes, not " + std::to_string(kVoVolBytes)};
            }
            voVol.assign(bytes.begin() + static_cast<ptrdiff_t>(begin), bytes.begin() + static_cast<ptrdiff_t>(end));
            return {};
        }
    }
    return platform::Error{platform::ErrorKind::WriteFailed, "no VO + VOL header in the encoder's output"};
}

}  // namespace

CameraEncoder::CameraEncoder() = default;
CameraEncoder::~CameraEncoder() = default;

platform::Result<void> CameraEncoder::Open(const EncoderSettings& settings)
{
    codec_.reset(avcodec_alloc_context3(avcodec_find_encoder(AV_CODEC_ID_MPEG4)));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!codec_ || !frame_ || !packet_) {
        return platform::Error{platform::ErrorKind::WriteFailed, "out of memory for the MPEG-4 encoder"};
    }
    if (auto done = Configure(codec_.get(), settings, false); !done)
        return done.Failure();
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = settings.width;
    frame_->height = settings.height;
    if (av_frame_get_buffer(frame_.get(), 0) < 0) {
        return platform::Error{platform::ErrorKind::WriteFailed, "out of memory for a picture"};
    }
    return {};
}

platform::Result<void> CameraEncoder::Picture(Yuv420View& view)
{
    // The encoder may still hold the previous picture; never draw over it.
    if (av_frame_make_writable(frame_.get()) < 0) {
        return platform::Error{platform::ErrorKind::WriteFailed, "out of memory for a picture"};
    }
    AVFrame* f = frame_.get();
    view.y = {f->data[0], f->linesize[0], f->width, f->height};
    view.u = {f->data[1], f->linesize[1], (f->width + 1) / 2, (f->height + 1) / 2};
    view.v = {f->data[2], f->linesize[2], (f->width + 1) / 2, (f->height + 1) / 2};
    return {};
}

platform::Result<void> CameraEncoder::Encode(int64_t pts, bool intra, EncodedFrame& out)
{
    frame_->pts = pts;
    frame_->pict_type = intra ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_P;
    int rc = avcodec_send_frame(codec_.get(), frame_.get());
    if (rc < 0) {
        return platform::Error{platform::ErrorKind::WriteFailed, "encoding failed: " + AvError(rc)};
    }
    rc = avcodec_receive_packet(codec_.get(), packet_.get());
    if (rc < 0) {
        return platform::Error{platform::ErrorKind::WriteFailed, "the encoder returned no frame: " + AvError(rc)};
    }
    const std::span<const uint8_t> bytes(packet_->data, static_cast<size_t>(packet_->size));
    const auto codes = StartCodes(bytes);
    size_t vop = bytes.size();
    for (const auto& c : codes)
        if (c.code == 0xB6) {
            vop = c.offset;
            break;
        }
    const bool found = vop < bytes.size();
    out.intra = found && (bytes[vop + 4] & 0xC0) == 0;
    out.voVol.clear();
    platform::Result<void> taken;
    if (!found)
        taken = platform::Error{platform::ErrorKind::WriteFailed, "no VOP in the encoder's output"};
    else if (out.intra != intra)
        taken = platform::Error{platform::ErrorKind::WriteFailed, "the encoder chose another frame type than asked"};
    else if (intra)
        taken = TakeVoVol(bytes.first(vop), codes, out.voVol);
    if (taken)
        out.vop.assign(bytes.begin() + static_cast<ptrdiff_t>(vop), bytes.end());
    av_packet_unref(packet_.get());
    return taken;
}

platform::Result<void> VoVolHeader(const EncoderSettings& settings, std::vector<uint8_t>& voVol)
{
    platform::av::CodecContextPtr c(avcodec_alloc_context3(avcodec_find_encoder(AV_CODEC_ID_MPEG4)));
    if (!c) {
        return platform::Error{platform::ErrorKind::WriteFailed, "out of memory for the MPEG-4 encoder"};
    }
    if (auto done = Configure(c.get(), settings, true); !done)
        return done.Failure();
    const std::span<const uint8_t> bytes(c->extradata, static_cast<size_t>(c->extradata_size));
    return TakeVoVol(bytes, StartCodes(bytes), voVol);
}

}  // namespace mkdisk
