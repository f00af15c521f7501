// The open MP4 file: libx264 and libavcodec's AAC into libavformat's MP4
// muxer, written to a local file and rewritten with its index first.
#include "platform/mp4_file.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include "platform/mp4_writer.h"

namespace platform::mp4 {

namespace {

// libx264 tells its settings and statistics at the info level: verbose here.
constexpr int kCodecLogOffset = AV_LOG_VERBOSE - AV_LOG_INFO;
// A key picture every two seconds: players seek to within two seconds.
constexpr int kGopPictures = 60;
// A fixed count, not the machine's cores: libx264's output depends on it,
// and the same export must give the same bytes on every machine.
constexpr int kEncoderThreads = 2;
constexpr int64_t kSoundBitRate = 96000;

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
    if (!(OpenVideo() && OpenSound() && OpenPictures() && OpenMuxer(creationTime) && OpenFile()))
        return false;
    // libx264 copies every picture into its own frames before it returns.
    LendPlanes();
    return true;
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
    return Kept(soundFrames.Open(c, Writer::kSoundInputRate));
}

bool File::OpenMuxer(const std::string& creationTime)
{
    if (!CreateMuxer("mp4", "this FFmpeg has no MP4 muxer"))
        return false;
    AVFormatContext* context = muxer.get();
    // faststart reopens the file by its name to move the index: only ever
    // as the local file it is.
    context->url = av_strdup(("file:" + path).c_str());
    context->protocol_whitelist = av_strdup("file");
    if (!context->url || !context->protocol_whitelist)
        return Fail("out of memory", AVERROR(ENOMEM));
    // A recording whose time is unknown gives the file no creation time.
    if (!creationTime.empty() && av_dict_set(&context->metadata, "creation_time", creationTime.c_str(), 0) < 0)
        return Fail("out of memory", AVERROR(ENOMEM));
    if (!AddStreams())
        return false;
    videoStream->avg_frame_rate = video->framerate;
    return true;
}

bool File::OpenFile()
{
    if (!OpenIo())
        return false;
    // The muxer announces faststart's second pass at the info level, which
    // has no per-context offset: libav's info notes are never wanted here
    // (every codec context pushes them below its level already).
    if (av_log_get_level() == AV_LOG_INFO)
        av_log_set_level(AV_LOG_WARNING);
    return WriteHeader("movflags", "+faststart", "the MP4 muxer has no faststart setting");
}

}  // namespace platform::mp4
