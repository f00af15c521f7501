// The shared half of the export's encoded files: everything after the
// encoders are open, whatever the codecs and the muxer.
#include "platform/encoded_file.h"

#include <filesystem>
#include <span>
#include <tuple>
#include <utility>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include "platform/yuv_planes.h"

namespace platform::av {

namespace {

std::string AvErrorText(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_make_error_string(text, sizeof text, averror);
    return text;
}

}  // namespace

void EncodedFile::SetError(std::string text)
{
    std::lock_guard hold(lock);
    error = std::move(text);
}

std::string EncodedFile::Error() const
{
    std::lock_guard hold(lock);
    return error;
}

bool EncodedFile::Fail(const char* what, int averror)
{
    std::string text = std::string(texts.exportName) + ": " + what;
    if (averror < 0)
        text += ": " + AvErrorText(averror);
    SetError(std::move(text));
    return false;
}

bool EncodedFile::WriteFailed(int averror)
{
    std::lock_guard hold(lock);
    return WriteFailed_locked(averror);
}

bool EncodedFile::WriteFailed_locked(int averror)
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
    soundPacket.reset(av_packet_alloc());
    return packet && soundPacket ? true : Fail("out of memory", AVERROR(ENOMEM));
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
    // Past the buffers kept lent (or without memory for one), copied.
    if (lending && yuv)
        if (AVBufferRef* buffer = LentBuffer(yuv))
            return SendLentPlanes(*buffer);
    if (const int err = av_frame_make_writable(picture.get()); err < 0)
        return Fail("out of memory", err);
    if (!CopyYuvPlanes(yuv, *picture))
        return Fail("no picture given", 0);
    return SendPicture();
}

AVBufferRef* EncodedFile::LentBuffer(const uint8_t* yuv)
{
    for (std::size_t i = 0; i < lentCount; ++i)
        if (lentBuffers[i].first == yuv)
            return lentBuffers[i].second.get();
    if (lentCount == kLentBuffers)
        return nullptr;
    // libav never frees the caller's memory: our reference outlives theirs.
    AVBufferRef* made = av_buffer_create(
        const_cast<uint8_t*>(yuv), YuvPlanesBytes(width, height), [](void*, uint8_t*) {}, nullptr,
        AV_BUFFER_FLAG_READONLY);
    if (!made)
        return nullptr;
    lentBuffers[lentCount] = {yuv, BufferRefPtr(made)};
    return lentBuffers[lentCount++].second.get();
}

bool EncodedFile::SendLentPlanes(AVBufferRef& buffer)
{
    if (!lent) {
        lent.reset(av_frame_alloc());
        if (!lent)
            return Fail("out of memory", AVERROR(ENOMEM));
    }
    AVFrame& frame = *lent;
    av_frame_unref(&frame);
    if (const int err = av_frame_copy_props(&frame, picture.get()); err < 0)
        return Fail("out of memory", err);
    frame.format = picture->format;
    frame.width = width;
    frame.height = height;
    frame.buf[0] = av_buffer_ref(&buffer);
    if (!frame.buf[0])
        return Fail("out of memory", AVERROR(ENOMEM));
    const YuvPlanes planes = PlanesIn(std::span(buffer.data, buffer.size), width, height);
    frame.data[0] = planes.y;
    frame.data[1] = planes.u;
    frame.data[2] = planes.v;
    frame.linesize[0] = planes.width;
    frame.linesize[1] = frame.linesize[2] = planes.chromaWidth;
    frame.pts = picturesIn++;
    const int err = avcodec_send_frame(video.get(), &frame);
    av_frame_unref(&frame);
    if (err < 0)
        return Fail(texts.videoFailed, err);
    const bool drained = Drain(*video, *videoStream, *packet);
    // The encoder was to copy the picture; holding it, it would read what
    // the caller writes next.
    if (av_buffer_get_ref_count(&buffer) != 1)
        return Fail("the video encoder kept a picture it was lent", 0);
    return drained;
}

bool EncodedFile::SendPicture()
{
    picture->pts = picturesIn++;
    if (const int err = avcodec_send_frame(video.get(), picture.get()); err < 0)
        return Fail(texts.videoFailed, err);
    return Drain(*video, *videoStream, *packet);
}

Result<void> EncodedFile::EncodeSound(AVFrame& frame)
{
    const int err = avcodec_send_frame(sound.get(), &frame);
    const bool encoded = err < 0 ? Fail(texts.soundFailed, err) : Drain(*sound, *soundStream, *soundPacket);
    if (!encoded)
        return platform::Error{ErrorKind::WriteFailed, Error()};
    return {};
}

bool EncodedFile::Kept(const Result<void>& result)
{
    if (!result)
        SetError(result.Detail());
    return result.Ok();
}

bool EncodedFile::Drain(AVCodecContext& codec, AVStream& stream, AVPacket& out)
{
    for (;;) {
        int err = avcodec_receive_packet(&codec, &out);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return true;
        if (err < 0)
            return Fail(&stream == videoStream ? texts.videoFailed : texts.soundFailed, err);
        av_packet_rescale_ts(&out, codec.time_base, stream.time_base);
        out.stream_index = stream.index;
        // Takes the packet's reference and leaves it blank for the next. The
        // muxer orders the streams' packets by time, whichever thread's
        // packet comes first.
        std::lock_guard hold(lock);
        if ((err = av_interleaved_write_frame(muxer.get(), &out)) < 0)
            return WriteFailed_locked(err);
        if (&stream == videoStream)
            ++picturesWritten;
    }
}

bool EncodedFile::Finish()
{
    if (!Kept(soundFrames.Finish(*this)))
        return false;
    for (auto [codec, stream, out] : {std::tuple{sound.get(), soundStream, soundPacket.get()},
                                      std::tuple{video.get(), videoStream, packet.get()}}) {
        if (const int err = avcodec_send_frame(codec, nullptr); err < 0)
            return Fail("flushing an encoder failed", err);
        if (!Drain(*codec, *stream, *out))
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
