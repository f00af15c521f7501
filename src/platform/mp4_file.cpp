// The open MP4 file: libx264 and libavcodec's AAC into libavformat's MP4
// muxer, written to a local file and rewritten with its index first.
#include "platform/mp4_file.h"

#include <filesystem>
#include <utility>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include "platform/mp4_writer.h"

namespace mp4 {

namespace {

// libx264 tells its settings and statistics at the info level: verbose here.
constexpr int kCodecLogOffset = AV_LOG_VERBOSE - AV_LOG_INFO;
// A key picture every two seconds: players seek to within two seconds.
constexpr int kGopPictures = 60;
// A fixed count, not the machine's cores: libx264's output depends on it,
// and the same export must give the same bytes on every machine.
constexpr int kEncoderThreads = 2;
constexpr int64_t kSoundBitRate = 96000;

std::string AvErrorText(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_make_error_string(text, sizeof text, averror);
    return text;
}

// The lowest level whose picture size and macroblock rate hold the picture
// at 30 a second: 3.0 for 640 x 480, 3.1 up to 720 x 576 and 1280 x 720.
int LevelFor(int width, int height)
{
    const int64_t blocks = int64_t((width + 15) / 16) * ((height + 15) / 16);
    const int64_t perSecond = blocks * Writer::kPicturesPerSecond;
    if (blocks <= 1620 && perSecond <= 40500)
        return 30;
    if (blocks <= 3600 && perSecond <= 108000)
        return 31;
    if (blocks <= 8192 && perSecond <= 245760)
        return 40;
    return 51;
}

}  // namespace

bool File::Open(const std::string& outputPath, int pictureWidth, int pictureHeight, const std::string& creationTime)
{
    path = outputPath;
    width = pictureWidth;
    height = pictureHeight;
    return OpenVideo() && OpenSound() && OpenPictures() && OpenMuxer(creationTime) && OpenFile();
}

bool File::Fail(const char* what, int averror)
{
    error = std::string("MP4 export: ") + what;
    if (averror < 0)
        error += ": " + AvErrorText(averror);
    return false;
}

bool File::WriteFailed(int averror)
{
    if (muxer && muxer->pb && muxer->pb->error < 0)
        averror = muxer->pb->error;
    error = "cannot write " + path + ": " + AvErrorText(averror);
    return false;
}

bool File::OpenVideo()
{
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        return Fail("this FFmpeg has no libx264 encoder", 0);
    video.reset(avcodec_alloc_context3(codec));
    if (!video)
        return Fail("out of memory", AVERROR(ENOMEM));
    AVCodecContext& c = *video;
    c.width = width;
    c.height = height;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.sample_aspect_ratio = AVRational{1, 1};
    c.time_base = AVRational{1, Writer::kPicturesPerSecond};
    c.framerate = AVRational{Writer::kPicturesPerSecond, 1};
    c.gop_size = kGopPictures;
    c.thread_count = kEncoderThreads;
    c.level = LevelFor(width, height);
    c.log_level_offset = kCodecLogOffset;
    c.flags |= AV_CODEC_FLAG_BITEXACT | AV_CODEC_FLAG_GLOBAL_HEADER;
    c.color_range = AVCOL_RANGE_MPEG;
    c.colorspace = AVCOL_SPC_SMPTE170M;
    c.color_primaries = AVCOL_PRI_SMPTE170M;
    c.color_trc = AVCOL_TRC_SMPTE170M;
    const bool set = av_opt_set(c.priv_data, "preset", Writer::kPreset, 0) >= 0 &&
                     av_opt_set(c.priv_data, "profile", "high", 0) >= 0 &&
                     av_opt_set_double(c.priv_data, "crf", Writer::kQuality, 0) >= 0;
    if (!set)
        return Fail("libx264 lacks the preset, profile or rate factor setting", 0);
    if (const int err = avcodec_open2(&c, codec, nullptr); err < 0)
        return Fail("libx264 refused the settings", err);
    return true;
}

bool File::OpenSound()
{
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        return Fail("this FFmpeg has no AAC encoder", 0);
    sound.reset(avcodec_alloc_context3(codec));
    if (!sound)
        return Fail("out of memory", AVERROR(ENOMEM));
    AVCodecContext& c = *sound;
    c.sample_fmt = AV_SAMPLE_FMT_FLTP;
    c.sample_rate = Writer::kSoundRate;
    av_channel_layout_default(&c.ch_layout, 1);
    c.bit_rate = kSoundBitRate;
    c.time_base = AVRational{1, Writer::kSoundRate};
    c.thread_count = 1;
    c.log_level_offset = kCodecLogOffset;
    c.flags |= AV_CODEC_FLAG_BITEXACT | AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int err = avcodec_open2(&c, codec, nullptr); err < 0)
        return Fail("the AAC encoder refused the settings", err);
    return soundFrames.Open(c, Writer::kSoundInputRate, error);
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

bool File::OpenMuxer(const std::string& creationTime)
{
    AVFormatContext* context = nullptr;
    const int err = avformat_alloc_output_context2(&context, nullptr, "mp4", nullptr);
    muxer.reset(context);
    if (err < 0 || !context)
        return Fail("this FFmpeg has no MP4 muxer", err);
    context->flags |= AVFMT_FLAG_BITEXACT;
    // faststart reopens the file by its name to move the index: only ever
    // as the local file it is.
    context->url = av_strdup(("file:" + path).c_str());
    context->protocol_whitelist = av_strdup("file");
    if (!context->url || !context->protocol_whitelist)
        return Fail("out of memory", AVERROR(ENOMEM));
    if (av_dict_set(&context->metadata, "creation_time", creationTime.c_str(), 0) < 0)
        return Fail("out of memory", AVERROR(ENOMEM));
    videoStream = avformat_new_stream(context, nullptr);
    soundStream = avformat_new_stream(context, nullptr);
    if (!videoStream || !soundStream)
        return Fail("out of memory", AVERROR(ENOMEM));
    for (auto [stream, codec] : {std::pair{videoStream, video.get()}, std::pair{soundStream, sound.get()}}) {
        if (const int e = avcodec_parameters_from_context(stream->codecpar, codec); e < 0)
            return Fail("out of memory", e);
        stream->time_base = codec->time_base;
    }
    videoStream->avg_frame_rate = video->framerate;
    return true;
}

bool File::OpenFile()
{
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVIOContext* io = nullptr;
    int err = avio_open2(&io, muxer->url, AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    if (err < 0)
        return WriteFailed(err);
    file.reset(io);
    muxer->pb = io;
    av_dict_set(&options, "movflags", "+faststart", 0);
    // The muxer announces faststart's second pass at the info level, which
    // has no per-context offset: libav's info notes are never wanted here
    // (every codec context pushes them below its level already).
    if (av_log_get_level() == AV_LOG_INFO)
        av_log_set_level(AV_LOG_WARNING);
    err = avformat_write_header(muxer.get(), &options);
    const bool unknownOption = av_dict_count(options) > 0;
    av_dict_free(&options);
    if (err < 0)
        return WriteFailed(err);
    return unknownOption ? Fail("the MP4 muxer has no faststart setting", 0) : true;
}

void File::Abandon()
{
    if (!file)
        return;
    muxer->pb = nullptr;
    file.reset();
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec))
        std::filesystem::remove(path, ec);
}

bool File::EncodePicture(const uint8_t* bgrBottomUp)
{
    if (const int err = av_frame_make_writable(picture.get()); err < 0)
        return Fail("out of memory", err);
    if (!convert.Convert(bgrBottomUp, *picture))
        return Fail("the picture conversion failed", 0);
    picture->pts = picturesIn++;
    if (const int err = avcodec_send_frame(video.get(), picture.get()); err < 0)
        return Fail("H.264 encoding failed", err);
    return Drain(*video, *videoStream);
}

bool File::EncodeSound(AVFrame& frame)
{
    if (const int err = avcodec_send_frame(sound.get(), &frame); err < 0)
        return Fail("AAC encoding failed", err);
    return Drain(*sound, *soundStream);
}

bool File::Drain(AVCodecContext& codec, AVStream& stream)
{
    for (;;) {
        int err = avcodec_receive_packet(&codec, packet.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return true;
        if (err < 0)
            return Fail(&stream == videoStream ? "H.264 encoding failed" : "AAC encoding failed", err);
        av_packet_rescale_ts(packet.get(), codec.time_base, stream.time_base);
        packet->stream_index = stream.index;
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

}  // namespace mp4
