#include "platform/mpeg1_sound.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

namespace platform::mpeg1 {

namespace {

// The caller's bytes go through in chunks of this many samples, so the
// buffers are sized once whatever a call hands over.
constexpr int kChunkSamples = 2048;

Error Failed(ErrorKind kind, const char* what, int averror)
{
    std::string detail = std::string("export sound: ") + what;
    if (averror < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_make_error_string(text, sizeof text, averror);
        detail += std::string(": ") + text;
    }
    return Error{kind, std::move(detail)};
}

}  // namespace

Result<void> SoundFrames::Open(const AVCodecContext& encoder, int inputRate)
{
    const AVSampleFormat format = encoder.sample_fmt;
    const bool known = format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S16P || format == AV_SAMPLE_FMT_FLT ||
                       format == AV_SAMPLE_FMT_FLTP;
    if (!known || encoder.ch_layout.nb_channels != 1 || encoder.frame_size <= 0)
        return Failed(ErrorKind::Unsupported, "the encoder wants another sample layout", 0);
    // Mono: a planar format has its one plane, laid out as the packed one.
    sampleBytes = av_get_bytes_per_sample(format);
    frameSize = encoder.frame_size;
    filled = 0;
    nextPts = 0;

    AVChannelLayout mono{};
    av_channel_layout_default(&mono, 1);
    SwrContext* swr = nullptr;
    int err = swr_alloc_set_opts2(&swr, &mono, av_get_packed_sample_fmt(format), encoder.sample_rate, &mono,
                                  AV_SAMPLE_FMT_S16, inputRate, 0, nullptr);
    resampler.reset(swr);
    if (err < 0)
        return Failed(ErrorKind::Unsupported, "cannot set up the resampler", err);
    // The ratio as an exact fraction: 11,200 in give 32,000 out, every
    // second, over any length.
    av_opt_set_int(swr, "exact_rational", 1, 0);
    if ((err = swr_init(swr)) < 0)
        return Failed(ErrorKind::Unsupported, "cannot set up the resampler", err);

    frame.reset(av_frame_alloc());
    if (!frame)
        return Failed(ErrorKind::WriteFailed, "out of memory", AVERROR(ENOMEM));
    frame->format = format;
    frame->sample_rate = encoder.sample_rate;
    frame->nb_samples = frameSize;
    if ((err = av_channel_layout_copy(&frame->ch_layout, &mono)) < 0 || (err = av_frame_get_buffer(frame.get(), 0)) < 0)
        return Failed(ErrorKind::WriteFailed, "out of memory", err);

    input.assign(kChunkSamples, 0);
    // Room for a chunk's worth plus whatever the filter still holds.
    const int64_t room = av_rescale_rnd(kChunkSamples, encoder.sample_rate, inputRate, AV_ROUND_UP);
    const int64_t samples = std::max<int64_t>(room, swr_get_out_samples(swr, kChunkSamples)) + 256;
    output.assign(static_cast<size_t>(samples * sampleBytes), 0);
    return {};
}

Result<void> SoundFrames::Push(std::span<const uint8_t> bytes, Sink& sink)
{
    while (bytes.size() >= 2) {
        const size_t count = std::min<size_t>(bytes.size() / 2, input.size());
        for (size_t i = 0; i < count; ++i)
            input[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (auto made = Resample(input.data(), static_cast<int>(count), sink); !made)
            return made.Failure();
        bytes = bytes.subspan(2 * count);
    }
    return {};
}

Result<int> SoundFrames::Resample(const int16_t* samples, int count, Sink& sink)
{
    SwrContext* swr = resampler.get();
    // Never more output than the buffer holds: libswresample would keep the
    // rest, and only a flush (which ends the stream) gets it out again.
    const int room = static_cast<int>(output.size()) / sampleBytes;
    if (samples && swr_get_out_samples(swr, count) > room)
        return Failed(ErrorKind::WriteFailed, "resampler output larger than expected", 0);
    const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(samples)};
    uint8_t* out[1] = {output.data()};
    const int made = swr_convert(swr, out, room, samples ? in : nullptr, count);
    if (made < 0)
        return Failed(ErrorKind::WriteFailed, "resampling failed", made);
    if (auto appended = Append(output.data(), made, sink); !appended)
        return appended.Failure();
    return made;
}

Result<void> SoundFrames::Append(const uint8_t* samples, int count, Sink& sink)
{
    while (count > 0) {
        // The encoder may still hold the last frame; then libav gives this
        // one a buffer of its own.
        if (filled == 0) {
            if (const int err = av_frame_make_writable(frame.get()); err < 0)
                return Failed(ErrorKind::WriteFailed, "out of memory", err);
        }
        const int n = std::min(count, frameSize - filled);
        std::memcpy(frame->data[0] + std::size_t(sampleBytes) * filled, samples, std::size_t(sampleBytes) * n);
        filled += n;
        samples += std::size_t(sampleBytes) * n;
        count -= n;
        if (filled == frameSize) {
            if (auto sent = SendFrame(sink); !sent)
                return sent;
        }
    }
    return {};
}

Result<void> SoundFrames::SendFrame(Sink& sink)
{
    frame->pts = nextPts;
    nextPts += frameSize;
    filled = 0;
    return sink.EncodeSound(*frame);
}

Result<void> SoundFrames::Finish(Sink& sink)
{
    // A null input drains the filter's delay; repeated until it gives no more.
    for (;;) {
        auto made = Resample(nullptr, 0, sink);
        if (!made)
            return made.Failure();
        if (*made == 0)
            break;
    }
    if (filled == 0)
        return {};
    // All-zero bytes are silence in 16-bit and float alike.
    std::memset(frame->data[0] + std::size_t(sampleBytes) * filled, 0, std::size_t(sampleBytes) * (frameSize - filled));
    filled = frameSize;
    return SendFrame(sink);
}

}  // namespace platform::mpeg1
