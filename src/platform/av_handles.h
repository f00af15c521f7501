#pragma once
// Owning handles for FFmpeg's C objects: each is freed the library's own way
// when its handle goes.
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace platform::av {

struct CodecContextFree {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameFree {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct BufferRefFree {
    void operator()(AVBufferRef* p) const { av_buffer_unref(&p); }
};
struct SwsContextFree {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};

// An output context; its AVIOContext is closed apart (IoContextPtr), since
// closing reports the last write's error.
struct OutputContextFree {
    void operator()(AVFormatContext* p) const { avformat_free_context(p); }
};
struct IoContextClose {
    void operator()(AVIOContext* p) const { avio_closep(&p); }
};
struct SwrContextFree {
    void operator()(SwrContext* p) const { swr_free(&p); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using BufferRefPtr = std::unique_ptr<AVBufferRef, BufferRefFree>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextFree>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextFree>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextClose>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextFree>;

}  // namespace platform::av
