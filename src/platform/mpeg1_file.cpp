// The open MPEG-1 file: mpeg1video and MP2 through libavcodec into
// libavformat's MPEG-1 system stream muxer, written to a local file.
#include "platform/mpeg1_file.h"

#include <algorithm>
#include <cstring>
#include <span>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace platform::mpeg1 {

namespace {

// libavcodec's notes (such as a coefficient clipped at the finest quantiser,
// which sharp, noisy pictures cause now and then) drop below the level it
// prints; its warnings and errors stay visible, one step milder.
constexpr int kCodecLogOffset = AV_LOG_VERBOSE - AV_LOG_INFO;
// Two key pictures a second: players seek to within half a second, and a
// damaged stretch of the file heals as quickly.
constexpr int kGopPictures = 15;
// The finest quantiser MPEG-1 encoders use; the cap decides when to leave it.
constexpr int kBestQuantiser = 2;
constexpr int kWorstQuantiser = 31;
constexpr int kSoundInputRate = 11200;
// Ample for sound recorded at 8 kHz; valid for mono at every MPEG-1 rate.
constexpr int64_t kSoundBitRate = 96000;
// The decoder buffer holds half a second at the cap, within MPEG-1's largest
// (1023 x 16 kbit). It starts 3/4 full: 0.375 s of data, which the muxer's
// preload (0.5 s) covers; packets go out at most 0.7 s ahead of their
// decoding time, as with ffmpeg's command line.
constexpr int64_t kLargestVbvBits = 1023LL * 16384;
constexpr int64_t kMuxMaxDelayMicroseconds = 700000;
constexpr char kMuxPreloadMicroseconds[] = "500000";

}  // namespace

bool File::Open(const std::string& path, int width, int height, int audioRate, int64_t capBitsPerSecond)
{
    this->path = path;
    this->width = width;
    this->height = height;
    return OpenVideo(capBitsPerSecond) && OpenSound(audioRate) && OpenPictures() && OpenMuxer() && OpenIo() &&
           WriteHeader("preload", kMuxPreloadMicroseconds, "the MPEG-1 system stream muxer has no preload setting");
}

bool File::OpenVideo(int64_t cap)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO);
    if (!codec)
        return Fail("this FFmpeg has no MPEG-1 video encoder", 0);
    video.reset(avcodec_alloc_context3(codec));
    if (!video)
        return Fail("out of memory", AVERROR(ENOMEM));
    AVCodecContext& c = *video;
    c.width = width;
    c.height = height;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.sample_aspect_ratio = AVRational{1, 1};
    c.time_base = AVRational{1, kPicturesPerSecond};
    c.framerate = AVRational{kPicturesPerSecond, 1};
    c.gop_size = kGopPictures;
    c.max_b_frames = 0;
    c.thread_count = 1;
    c.log_level_offset = kCodecLogOffset;
    c.flags |= AV_CODEC_FLAG_BITEXACT;
    // An average aimed close to the cap keeps the quantiser at its finest
    // until the content itself would pass the cap; just below it, since
    // an average equal to the peak leaves the buffer model no room. No
    // minimum rate: quiet scenes cost little.
    c.bit_rate = cap / 8 * 7;
    c.rc_max_rate = cap;
    c.rc_min_rate = 0;
    c.rc_buffer_size = static_cast<int>(std::min(cap / 2, kLargestVbvBits));
    c.rc_initial_buffer_occupancy = c.rc_buffer_size / 4 * 3;
    c.qmin = kBestQuantiser;
    c.qmax = kWorstQuantiser;
    c.color_range = AVCOL_RANGE_MPEG;
    c.colorspace = AVCOL_SPC_SMPTE170M;
    c.color_primaries = AVCOL_PRI_SMPTE170M;
    c.color_trc = AVCOL_TRC_SMPTE170M;
    if (const int err = avcodec_open2(&c, codec, nullptr); err < 0)
        return Fail("the MPEG-1 video encoder refused the settings", err);
    return true;
}

bool File::OpenSound(int rate)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MP2);
    if (!codec)
        return Fail("this FFmpeg has no MP2 encoder", 0);
    sound.reset(avcodec_alloc_context3(codec));
    if (!sound)
        return Fail("out of memory", AVERROR(ENOMEM));
    AVCodecContext& c = *sound;
    c.sample_fmt = AV_SAMPLE_FMT_S16;
    c.sample_rate = rate;
    av_channel_layout_default(&c.ch_layout, 1);
    c.bit_rate = kSoundBitRate;
    c.time_base = AVRational{1, rate};
    c.thread_count = 1;
    c.log_level_offset = kCodecLogOffset;
    c.flags |= AV_CODEC_FLAG_BITEXACT;
    if (const int err = avcodec_open2(&c, codec, nullptr); err < 0)
        return Fail("the MP2 encoder refused the settings", err);
    return Kept(soundFrames.Open(c, kSoundInputRate));
}

bool File::OpenMuxer()
{
    if (!CreateMuxer("mpeg", "this FFmpeg has no MPEG-1 system stream muxer"))
        return false;
    muxer->max_delay = kMuxMaxDelayMicroseconds;
    if (!AddStreams())
        return false;
    // The muxer sizes the video buffer and its own rate from the
    // encoder's buffer model; without it, it guesses and may run dry.
    for (const AVPacketSideData& data : std::span(video->coded_side_data, video->nb_coded_side_data)) {
        if (data.type != AV_PKT_DATA_CPB_PROPERTIES)
            continue;
        uint8_t* copy = av_stream_new_side_data(videoStream, data.type, data.size);
        if (!copy)
            return Fail("out of memory", AVERROR(ENOMEM));
        std::memcpy(copy, data.data, data.size);
        return true;
    }
    return Fail("the MPEG-1 video encoder gave no buffer model", 0);
}

}  // namespace platform::mpeg1
