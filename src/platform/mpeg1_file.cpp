// The open MPEG-1 file: mpeg1video and MP2 through libavcodec into
// libavformat's MPEG-1 system stream muxer, written to a local file.
#include "platform/mpeg1_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <utility>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace mpeg1 {

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

std::string AvErrorText(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_make_error_string(text, sizeof text, averror);
    return text;
}

}  // namespace

bool File::Open(const std::string& path, int width, int height, int audioRate, int64_t capBitsPerSecond)
{
    this->path = path;
    this->width = width;
    this->height = height;
    return OpenVideo(capBitsPerSecond) && OpenSound(audioRate) && OpenPictures() && OpenMuxer() && OpenFile();
}

bool File::Fail(const char* what, int averror)
{
    error = std::string("MPEG-1 export: ") + what;
    if (averror < 0)
        error += ": " + AvErrorText(averror);
    return false;
}

bool File::WriteFailed(int averror)
{
    // The muxer answers a failed write with its own code; the file's is the cause.
    if (muxer && muxer->pb && muxer->pb->error < 0)
        averror = muxer->pb->error;
    error = "cannot write " + path + ": " + AvErrorText(averror);
    return false;
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
    return soundFrames.Open(c, kSoundInputRate, error);
}

bool File::OpenPictures()
{
    if (!convert.Open(width, height))
        return Fail("cannot set up the picture conversion", 0);
    picture.reset(av_frame_alloc());
    if (!picture)
        return Fail("out of memory", AVERROR(ENOMEM));
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = width;
    picture->height = height;
    picture->color_range = AVCOL_RANGE_MPEG;
    picture->colorspace = AVCOL_SPC_SMPTE170M;
    if (const int err = av_frame_get_buffer(picture.get(), 0); err < 0)
        return Fail("out of memory", err);
    packet.reset(av_packet_alloc());
    return packet ? true : Fail("out of memory", AVERROR(ENOMEM));
}

bool File::OpenMuxer()
{
    AVFormatContext* context = nullptr;
    const int err = avformat_alloc_output_context2(&context, nullptr, "mpeg", nullptr);
    muxer.reset(context);
    if (err < 0 || !context)
        return Fail("this FFmpeg has no MPEG-1 system stream muxer", err);
    context->flags |= AVFMT_FLAG_BITEXACT;
    context->max_delay = kMuxMaxDelayMicroseconds;
    videoStream = avformat_new_stream(context, nullptr);
    soundStream = avformat_new_stream(context, nullptr);
    if (!videoStream || !soundStream)
        return Fail("out of memory", AVERROR(ENOMEM));
    for (auto [stream, codec] : {std::pair{videoStream, video.get()}, std::pair{soundStream, sound.get()}}) {
        if (const int e = avcodec_parameters_from_context(stream->codecpar, codec); e < 0)
            return Fail("out of memory", e);
        stream->time_base = codec->time_base;
    }
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

bool File::OpenFile()
{
    // Only ever a local file, created or truncated: a name such as
    // "http://..." or "pipe:1" stays a file name.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVIOContext* io = nullptr;
    int err = avio_open2(&io, ("file:" + path).c_str(), AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    if (err < 0)
        return WriteFailed(err);
    file.reset(io);
    muxer->pb = io;
    av_dict_set(&options, "preload", kMuxPreloadMicroseconds, 0);
    err = avformat_write_header(muxer.get(), &options);
    const bool unknownOption = av_dict_count(options) > 0;
    av_dict_free(&options);
    if (err < 0)
        return WriteFailed(err);
    return unknownOption ? Fail("the MPEG-1 system stream muxer has no preload setting", 0) : true;
}

void File::Abandon()
{
    if (!file)
        return;
    muxer->pb = nullptr;
    file.reset();
    RemoveFile();
}

void File::RemoveFile() const
{
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec))
        std::filesystem::remove(path, ec);
}

bool File::EncodePicture(const uint8_t* bgrBottomUp)
{
    // The encoder copies what it keeps, so this is the same buffer each
    // time; were it to hold on to one, libav would give a fresh one.
    if (const int err = av_frame_make_writable(picture.get()); err < 0)
        return Fail("out of memory", err);
    if (!convert.Convert(bgrBottomUp, *picture))
        return Fail("the picture conversion failed", 0);
    picture->pts = picturesIn++;
    if (const int err = avcodec_send_frame(video.get(), picture.get()); err < 0)
        return Fail("MPEG-1 video encoding failed", err);
    return Drain(*video, *videoStream);
}

bool File::EncodeSound(AVFrame& frame)
{
    if (const int err = avcodec_send_frame(sound.get(), &frame); err < 0)
        return Fail("MP2 encoding failed", err);
    return Drain(*sound, *soundStream);
}

bool File::Drain(AVCodecContext& codec, AVStream& stream)
{
    for (;;) {
        int err = avcodec_receive_packet(&codec, packet.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return true;
        if (err < 0)
            return Fail(&stream == videoStream ? "MPEG-1 video encoding failed" : "MP2 encoding failed", err);
        av_packet_rescale_ts(packet.get(), codec.time_base, stream.time_base);
        packet->stream_index = stream.index;
        // Takes the packet's reference and leaves it blank for the next.
        if ((err = av_interleaved_write_frame(muxer.get(), packet.get())) < 0)
            return WriteFailed(err);
        if (&stream == videoStream)
            ++picturesWritten;
    }
}

bool File::Finish()
{
    if (!soundFrames.Finish(*this, error))
        return false;
    for (auto [codec, stream] : {std::pair{sound.get(), soundStream}, std::pair{video.get(), videoStream}}) {
        if (const int err = avcodec_send_frame(codec, nullptr); err < 0)
            return Fail("flushing an encoder failed", err);
        if (!Drain(*codec, *stream))
            return false;
    }
    const int err = av_write_trailer(muxer.get());
    return err < 0 ? WriteFailed(err) : true;
}

bool File::CloseFile()
{
    if (muxer)
        muxer->pb = nullptr;
    AVIOContext* io = file.release();
    if (!io)
        return true;
    const int err = avio_closep(&io);
    return err < 0 ? WriteFailed(err) : true;
}

}  // namespace mpeg1
