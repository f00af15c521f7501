// The shared half of the export's encoded files: everything after the
// encoders are open, whatever the codecs and the muxer.
#include "platform/encoded_file.h"

#include <filesystem>
#include <utility>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

namespace platform::av {

namespace {

std::string AvErrorText(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_make_error_string(text, sizeof text, averror);
    return text;
}

}  // namespace

bool EncodedFile::Fail(const char* what, int averror)
{
    error = std::string(texts.exportName) + ": " + what;
    if (averror < 0)
        error += ": " + AvErrorText(averror);
    return false;
}

bool EncodedFile::WriteFailed(int averror)
{
    // The muxer answers a failed write with its own code; the file's is the cause.
    if (muxer && muxer->pb && muxer->pb->error < 0)
        averror = muxer->pb->error;
    error = "cannot write " + path + ": " + AvErrorText(averror);
    return false;
}

bool EncodedFile::OpenPictures()
{
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

bool EncodedFile::CreateMuxer(const char* format, const char* missing)
{
    AVFormatContext* context = nullptr;
    const int err = avformat_alloc_output_context2(&context, nullptr, format, nullptr);
    muxer.reset(context);
    if (err < 0 || !context)
        return Fail(missing, err);
    context->flags |= AVFMT_FLAG_BITEXACT;
    return true;
}

bool EncodedFile::AddStreams()
{
    videoStream = avformat_new_stream(muxer.get(), nullptr);
    soundStream = avformat_new_stream(muxer.get(), nullptr);
    if (!videoStream || !soundStream)
        return Fail("out of memory", AVERROR(ENOMEM));
    for (auto [stream, codec] : {std::pair{videoStream, video.get()}, std::pair{soundStream, sound.get()}}) {
        if (const int e = avcodec_parameters_from_context(stream->codecpar, codec); e < 0)
            return Fail("out of memory", e);
        stream->time_base = codec->time_base;
    }
    return true;
}

bool EncodedFile::OpenIo()
{
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVIOContext* io = nullptr;
    const int err = avio_open2(&io, ("file:" + path).c_str(), AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    if (err < 0)
        return WriteFailed(err);
    file.reset(io);
    muxer->pb = io;
    return true;
}

bool EncodedFile::WriteHeader(const char* option, const char* value, const char* missing)
{
    AVDictionary* options = nullptr;
    av_dict_set(&options, option, value, 0);
    const int err = avformat_write_header(muxer.get(), &options);
    const bool unknownOption = av_dict_count(options) > 0;
    av_dict_free(&options);
    if (err < 0)
        return WriteFailed(err);
    return unknownOption ? Fail(missing, 0) : true;
}

void EncodedFile::Abandon()
{
    if (!file)
        return;
    muxer->pb = nullptr;
    file.reset();
    RemoveFile();
}

void EncodedFile::RemoveFile() const
{
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec))
        std::filesystem::remove(path, ec);
}

bool EncodedFile::EncodePicture(const uint8_t* bgrBottomUp)
{
    // The encoder copies what it keeps, so this is the same buffer each
    // time; were it to hold on to one, libav would give a fresh one.
    if (const int err = av_frame_make_writable(picture.get()); err < 0)
        return Fail("out of memory", err);
    // The conversion (and its slice threads) only for callers that hand over BGR.
    if (!convert.IsOpen() && !convert.Open(width, height))
        return Fail("cannot set up the picture conversion", 0);
    if (!convert.Convert(bgrBottomUp, *picture))
        return Fail("the picture conversion failed", 0);
    return SendPicture();
}

bool EncodedFile::EncodePlanes(const uint8_t* yuv)
{
    if (const int err = av_frame_make_writable(picture.get()); err < 0)
        return Fail("out of memory", err);
    if (!CopyYuvPlanes(yuv, *picture))
        return Fail("no picture given", 0);
    return SendPicture();
}

bool EncodedFile::SendPicture()
{
    picture->pts = picturesIn++;
    if (const int err = avcodec_send_frame(video.get(), picture.get()); err < 0)
        return Fail(texts.videoFailed, err);
    return Drain(*video, *videoStream);
}

Result<void> EncodedFile::EncodeSound(AVFrame& frame)
{
    const int err = avcodec_send_frame(sound.get(), &frame);
    const bool encoded = err < 0 ? Fail(texts.soundFailed, err) : Drain(*sound, *soundStream);
    if (!encoded)
        return platform::Error{ErrorKind::WriteFailed, error};
    return {};
}

bool EncodedFile::Kept(const Result<void>& result)
{
    if (!result)
        error = result.Detail();
    return result.Ok();
}

bool EncodedFile::Drain(AVCodecContext& codec, AVStream& stream)
{
    for (;;) {
        int err = avcodec_receive_packet(&codec, packet.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return true;
        if (err < 0)
            return Fail(&stream == videoStream ? texts.videoFailed : texts.soundFailed, err);
        av_packet_rescale_ts(packet.get(), codec.time_base, stream.time_base);
        packet->stream_index = stream.index;
        // Takes the packet's reference and leaves it blank for the next.
        if ((err = av_interleaved_write_frame(muxer.get(), packet.get())) < 0)
            return WriteFailed(err);
        if (&stream == videoStream)
            ++picturesWritten;
    }
}

bool EncodedFile::Finish()
{
    if (!Kept(soundFrames.Finish(*this)))
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

bool EncodedFile::CloseFile()
{
    if (muxer)
        muxer->pb = nullptr;
    AVIOContext* io = file.release();
    if (!io)
        return true;
    const int err = avio_closep(&io);
    return err < 0 ? WriteFailed(err) : true;
}

}  // namespace platform::av
