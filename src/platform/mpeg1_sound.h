#pragma once
// The export encoders' sound path: 16-bit mono samples at the export's rate,
// resampled with libswresample into the encoder's rate and sample format
// (16-bit for MP2, float for AAC) and cut into its frames. Each
// frame is stamped with the index of its first output sample, so the sound's
// clock is the sample count and never drifts from the pictures'.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/av_handles.h"
#include "platform/error.h"

namespace platform::mpeg1 {

class SoundFrames {
public:
    // Takes each full frame: encodes it and writes what comes out; its
    // failure is the sound path's, as it is.
    class Sink {
    public:
        virtual Result<void> EncodeSound(AVFrame& frame) = 0;

    protected:
        ~Sink() = default;
    };

    // Rate, frame size and sample format (mono: 16-bit or float, packed or
    // planar) come from the open encoder; every buffer is allocated here.
    // Fails Unsupported for a layout or rate it cannot convert to, and
    // WriteFailed when out of memory.
    Result<void> Open(const AVCodecContext& encoder, int inputRate);
    // Little-endian signed 16-bit samples; an even byte count. Fails
    // WriteFailed when resampling fails, or as the sink failed.
    Result<void> Push(std::span<const uint8_t> bytes, Sink& sink);
    // The resampler's delay, then the last frame completed with silence.
    Result<void> Finish(Sink& sink);

    int64_t SamplesOut() const { return nextPts + filled; }

private:
    // Samples made; null samples flush the filter.
    Result<int> Resample(const int16_t* samples, int count, Sink& sink);
    Result<void> Append(const uint8_t* samples, int count, Sink& sink);
    Result<void> SendFrame(Sink& sink);

    platform::av::SwrContextPtr resampler;
    platform::av::FramePtr frame;
    std::vector<int16_t> input;   // one chunk of the caller's bytes as samples
    std::vector<uint8_t> output;  // the resampler's output for one chunk
    int sampleBytes = 0;          // of the encoder's format
    int frameSize = 0;
    int filled = 0;       // samples already in frame
    int64_t nextPts = 0;  // output sample index of frame's first sample
};

}  // namespace platform::mpeg1
