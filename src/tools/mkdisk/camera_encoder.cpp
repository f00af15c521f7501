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

bool Configure(AVCodecContext* c, const EncoderSettings& s, bool globalHeader, std::string& error)
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
        error = "libavcodec has no MPEG-4 Part 2 encoder";
        return false;
    }
    const int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0) {
        error = "cannot open the MPEG-4 encoder: " + AvError(rc);
        return false;
    }
    return true;
}

// VO start code up to the start code after the VOL (or the end of the bytes).
bool TakeVoVol(std::span<const uint8_t> bytes, const std::vector<StartCode>& codes, std::vector<uint8_t>& voVol,
               std::string& error)
{
    for (size_t i = 0; i + 1 < codes.size(); ++i) {
        if (codes[i].code <= 0x1F && codes[i + 1].code >= 0x20 && codes[i + 1].code <= 0x2F) {
            const size_t begin = codes[i].offset;
            const size_t end = i + 2 < codes.size() ? codes[i + 2].offset : bytes.size();
            if (end - begin != kVoVolBytes) {
                error = "the encoder's VO + VOL header is " + std::to_string(end - begin) + " bytes, not " +
                        std::to_string(kVoVolBytes);
                return false;
            }
            voVol.assign(bytes.begin() + static_cast<ptrdiff_t>(begin), bytes.begin() + static_cast<ptrdiff_t>(end));
            return true;
        }
    }
    error = "no VO + VOL header in the encoder's output";
    return false;
}

}  // namespace

CameraEncoder::CameraEncoder() = default;
CameraEncoder::~CameraEncoder() = default;

bool CameraEncoder::Open(const EncoderSettings& settings, std::string& error)
{
    codec_.reset(avcodec_alloc_context3(avcodec_find_encoder(AV_CODEC_ID_MPEG4)));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!codec_ || !frame_ || !packet_) {
        error = "out of memory for the MPEG-4 encoder";
        return false;
    }
    if (!Configure(codec_.get(), settings, false, error))
        return false;
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = settings.width;
    frame_->height = settings.height;
    if (av_frame_get_buffer(frame_.get(), 0) < 0) {
        error = "out of memory for a picture";
        return false;
    }
    return true;
}

bool CameraEncoder::Picture(Yuv420View& view, std::string& error)
{
    // The encoder may still hold the previous picture; never draw over it.
    if (av_frame_make_writable(frame_.get()) < 0) {
        error = "out of memory for a picture";
        return false;
    }
    AVFrame* f = frame_.get();
    view.y = {f->data[0], f->linesize[0], f->width, f->height};
    view.u = {f->data[1], f->linesize[1], (f->width + 1) / 2, (f->height + 1) / 2};
    view.v = {f->data[2], f->linesize[2], (f->width + 1) / 2, (f->height + 1) / 2};
    return true;
}

bool CameraEncoder::Encode(int64_t pts, bool intra, EncodedFrame& out, std::string& error)
{
    frame_->pts = pts;
    frame_->pict_type = intra ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_P;
    int rc = avcodec_send_frame(codec_.get(), frame_.get());
    if (rc < 0) {
        error = "encoding failed: " + AvError(rc);
        return false;
    }
    rc = avcodec_receive_packet(codec_.get(), packet_.get());
    if (rc < 0) {
        error = "the encoder returned no frame: " + AvError(rc);
        return false;
    }
    const std::span<const uint8_t> bytes(packet_->data, static_cast<size_t>(packet_->size));
    const auto codes = StartCodes(bytes);
    size_t vop = bytes.size();
    for (const auto& c : codes)
        if (c.code == 0xB6) {
            vop = c.offset;
            break;
        }
    bool ok = vop < bytes.size();
    out.intra = ok && (bytes[vop + 4] & 0xC0) == 0;
    out.voVol.clear();
    if (ok && out.intra != intra) {
        error = "the encoder chose another frame type than asked";
        ok = false;
    } else if (ok && intra) {
        ok = TakeVoVol(bytes.first(vop), codes, out.voVol, error);
    } else if (!ok) {
        error = "no VOP in the encoder's output";
    }
    if (ok)
        out.vop.assign(bytes.begin() + static_cast<ptrdiff_t>(vop), bytes.end());
    av_packet_unref(packet_.get());
    return ok;
}

bool VoVolHeader(const EncoderSettings& settings, std::vector<uint8_t>& voVol, std::string& error)
{
    platform::av::CodecContextPtr c(avcodec_alloc_context3(avcodec_find_encoder(AV_CODEC_ID_MPEG4)));
    if (!c) {
        error = "out of memory for the MPEG-4 encoder";
        return false;
    }
    if (!Configure(c.get(), settings, true, error))
        return false;
    const std::span<const uint8_t> bytes(c->extradata, static_cast<size_t>(c->extradata_size));
    return TakeVoVol(bytes, StartCodes(bytes), voVol, error);
}

}  // namespace mkdisk
