// The master's Matroska file through libavformat: the frames and samples go
// into the muxer as packets, nothing passes through an encoder.
#include "platform/master_writer.h"

#include <cstring>
#include <filesystem>

#include "platform/av_handles.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace platform::master {

namespace {

constexpr int kCueMilliseconds = 1000;

std::string AvErrorText(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_make_error_string(text, sizeof text, averror);
    return text;
}

}  // namespace

struct Writer::State {
    std::string path;
    Layout layout;
    platform::av::OutputContextPtr muxer;
    platform::av::IoContextPtr file;  // muxer->pb while open
    platform::av::PacketPtr packet;
    std::vector<AVStream*> video;
    std::vector<AVStream*> sound;
    AVStream* text = nullptr;
    bool begun = false;
    std::string error;

    bool Failure(const std::string& what, int averror)
    {
        error = "Matroska export: " + what + (averror < 0 ? ": " + AvErrorText(averror) : "");
        return false;
    }
    bool WriteFailed(int averror)
    {
        if (muxer && muxer->pb && muxer->pb->error < 0)
            averror = muxer->pb->error;
        error = "cannot write " + path + ": " + AvErrorText(averror);
        return false;
    }
    AVStream* NewStream(AVMediaType type, AVCodecID codec, const std::string& title, AVRational timeBase)
    {
        AVStream* stream = avformat_new_stream(muxer.get(), nullptr);
        if (!stream)
            return nullptr;
        stream->codecpar->codec_type = type;
        stream->codecpar->codec_id = codec;
        stream->time_base = timeBase;
        if (av_dict_set(&stream->metadata, "title", title.c_str(), 0) < 0)
            return nullptr;
        return stream;
    }
    bool Open();
    bool Write(AVStream& stream, int64_t pts, int64_t duration, AVRational unit, bool key);
    void Remove() const
    {
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec))
            std::filesystem::remove(path, ec);
    }
};

bool Writer::State::Open()
{
    AVFormatContext* context = nullptr;
    const int err = avformat_alloc_output_context2(&context, nullptr, "matroska", nullptr);
    muxer.reset(context);
    if (err < 0 || !context)
        return Failure("this FFmpeg has no Matroska muxer", err);
    // No random identifiers, no writing date, no library version: the same
    // export gives the same bytes.
    context->flags |= AVFMT_FLAG_BITEXACT;
    packet.reset(av_packet_alloc());
    if (!packet)
        return Failure("out of memory", AVERROR(ENOMEM));
    for (const auto& [key, value] : layout.tags)
        if (av_dict_set(&context->metadata, key.c_str(), value.c_str(), 0) < 0)
            return Failure("out of memory", AVERROR(ENOMEM));
    const AVRational frameUnit{1, layout.frameRate};
    for (const int camera : layout.videoCameras) {
        AVStream* s = NewStream(AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_MPEG4, "Camera " + std::to_string(camera), frameUnit);
        if (!s)
            return Failure("out of memory", AVERROR(ENOMEM));
        s->codecpar->width = layout.width;
        s->codecpar->height = layout.height;
        s->codecpar->sample_aspect_ratio = AVRational{1, 1};
        s->avg_frame_rate = s->r_frame_rate = AVRational{layout.frameRate, 1};
        video.push_back(s);
    }
    for (const int camera : layout.soundCameras) {
        AVStream* s = NewStream(AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_PCM_S16LE,
                                "Camera " + std::to_string(camera) + " sound", AVRational{1, kSoundRate});
        if (!s)
            return Failure("out of memory", AVERROR(ENOMEM));
        s->codecpar->sample_rate = kSoundRate;
        av_channel_layout_default(&s->codecpar->ch_layout, 1);
        s->codecpar->format = AV_SAMPLE_FMT_S16;
        s->codecpar->bits_per_coded_sample = 16;
        s->codecpar->block_align = 2;
        s->codecpar->bit_rate = int64_t{kSoundRate} * 16;
        sound.push_back(s);
    }
    text = NewStream(AVMEDIA_TYPE_SUBTITLE, AV_CODEC_ID_SUBRIP, "Recorder time", AVRational{1, kCueMilliseconds});
    if (!text)
        return Failure("out of memory", AVERROR(ENOMEM));

    // Only ever a local file, created or truncated.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVIOContext* io = nullptr;
    const int opened = avio_open2(&io, ("file:" + path).c_str(), AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        return WriteFailed(opened);
    file.reset(io);
    muxer->pb = io;
    return true;
}

bool Writer::State::Write(AVStream& stream, int64_t pts, int64_t duration, AVRational unit, bool key)
{
    AVPacket* p = packet.get();
    p->pts = p->dts = pts;
    p->duration = duration;
    av_packet_rescale_ts(p, unit, stream.time_base);
    p->stream_index = stream.index;
    p->flags = key ? AV_PKT_FLAG_KEY : 0;
    // Takes the packet's reference and leaves it blank for the next.
    const int err = av_interleaved_write_frame(muxer.get(), p);
    return err < 0 ? WriteFailed(err) : true;
}

Writer::Writer() = default;

Writer::~Writer() { Close(); }

bool Writer::Fail(const std::string& message)
{
    if (!failed)
        lastError = message;
    failed = true;
    return false;
}

bool Writer::Usable() const { return state && state->begun && !failed; }

bool Writer::HasBegun() const { return state && state->begun; }

bool Writer::Open(const std::string& path, const Layout& layout)
{
    if (state) {
        lastError = "Matroska export: a file is already open";
        return false;
    }
    failed = false;
    lastError.clear();
    framesWritten = 0;
    if (path.empty())
        return Fail("Matroska export: no file name given");
    if (layout.videoCameras.empty())
        return Fail("Matroska export: no camera with video to export");
    if (layout.frameRate < 1 || layout.frameRate > 60 || layout.width < 16 || layout.height < 16 ||
        layout.width > 4096 || layout.height > 4096)
        return Fail("Matroska export: " + std::to_string(layout.width) + " x " + std::to_string(layout.height) +
                    " at " + std::to_string(layout.frameRate) + " a second is not a picture format of the recorder");
    auto opening = std::make_unique<State>();
    opening->path = path;
    opening->layout = layout;
    if (!opening->Open()) {
        const std::string message = opening->error;
        if (opening->file) {
            opening->muxer->pb = nullptr;
            opening->file.reset();
            opening->Remove();
        }
        return Fail(message);
    }
    state = std::move(opening);
    return true;
}

bool Writer::Begin(std::span<const uint8_t> streamHeader)
{
    if (!state || failed || state->begun)
        return false;
    for (AVStream* s : state->video) {
        uint8_t* copy = static_cast<uint8_t*>(av_mallocz(streamHeader.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!copy)
            return Fail("Matroska export: out of memory");
        std::memcpy(copy, streamHeader.data(), streamHeader.size());
        s->codecpar->extradata = copy;
        s->codecpar->extradata_size = static_cast<int>(streamHeader.size());
    }
    if (const int err = avformat_write_header(state->muxer.get(), nullptr); err < 0) {
        state->WriteFailed(err);
        return Fail(state->error);
    }
    state->begun = true;
    return true;
}

bool Writer::WriteFrame(int track, std::span<const uint8_t> frame, int64_t frameIndex, bool key)
{
    if (!Usable())
        return false;
    if (track < 0 || track >= static_cast<int>(state->video.size()) || frame.empty())
        return Fail("Matroska export: no such video track or an empty frame");
    AVPacket* p = state->packet.get();
    if (const int err = av_new_packet(p, static_cast<int>(frame.size())); err < 0)
        return Fail("Matroska export: out of memory");
    std::memcpy(p->data, frame.data(), frame.size());
    if (!state->Write(*state->video[track], frameIndex, 1, AVRational{1, state->layout.frameRate}, key))
        return Fail(state->error);
    ++framesWritten;
    return true;
}

bool Writer::WriteSound(int track, std::span<const int16_t> samples, int64_t firstSample)
{
    if (!Usable())
        return false;
    if (track < 0 || track >= static_cast<int>(state->sound.size()) || samples.empty())
        return Fail("Matroska export: no such sound track or no samples");
    AVPacket* p = state->packet.get();
    if (av_new_packet(p, static_cast<int>(samples.size() * 2)) < 0)
        return Fail("Matroska export: out of memory");
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<uint16_t>(samples[i]);
        p->data[2 * i] = static_cast<uint8_t>(v & 0xFF);
        p->data[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    if (!state->Write(*state->sound[track], firstSample, static_cast<int64_t>(samples.size()),
                      AVRational{1, kSoundRate}, true))
        return Fail(state->error);
    return true;
}

bool Writer::WriteCue(std::string_view text, int64_t second)
{
    if (!Usable())
        return false;
    AVPacket* p = state->packet.get();
    if (text.empty() || av_new_packet(p, static_cast<int>(text.size())) < 0)
        return Fail("Matroska export: out of memory");
    std::memcpy(p->data, text.data(), text.size());
    if (!state->Write(*state->text, second * kCueMilliseconds, kCueMilliseconds, AVRational{1, kCueMilliseconds}, true))
        return Fail(state->error);
    return true;
}

bool Writer::Close()
{
    if (!state)
        return !failed;
    bool ok = !failed;
    if (state->begun && ok) {
        if (const int err = av_write_trailer(state->muxer.get()); err < 0)
            ok = state->WriteFailed(err);
    }
    state->muxer->pb = nullptr;
    if (AVIOContext* io = state->file.release()) {
        const int err = avio_closep(&io);
        if (err < 0 && ok)
            ok = state->WriteFailed(err);
    }
    // Nothing was ever written into it: no file, as with the other exports.
    if (!state->begun && !failed)
        state->Remove();
    const std::string message = state->error;
    state.reset();
    return ok || Fail(message);
}

}  // namespace platform::master
