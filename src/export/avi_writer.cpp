#include "export/avi_writer.h"

#include <chrono>
#include <thread>

#include "export/avi_riff_layout.h"
#include "platform/yuv_planes.h"

namespace exporter {

namespace {

constexpr std::uint32_t kXvid = avi_layout::Tag("XVID");

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }

}  // namespace

int AviWriter::QuantiserFor(int quality)
{
    // XviD's own VfW driver ignores the quality, so there is no mapping to
    // follow. A straight line from 10000 -> 2 to 1 -> 31 gives 11 for the
    // export's 6750, where burnt-in digits ring and smear; at 4 they stay
    // sharp for 60 % of quantiser 2's bytes. So 10000..6750 -> 2..4, then on to 30.
    if (quality >= 6750)
        return 2 + (10000 - quality) * 2 / 3250;
    return 4 + (6750 - quality) * 26 / 6749;
}

AviWriter::~AviWriter()
{
    // A write or an open still running on another thread must end first.
    for (;;) {
        CloseFile(int(kOpenRate / kRateScale));
        if (state.load() == kStateClosed)
            return;
        Pause();
    }
}

bool AviWriter::Fail(const std::string& reason)
{
    if (!failed)
        lastError = reason;
    failed = true;
    return false;
}

int AviWriter::BusyCode(int observedState) const
{
    switch (observedState) {
    case kStateClosed: return kNotOpen;
    case kStateOpening: return kOpening;
    case kStateClosing: return kClosing;
    case kStateWriting: return kWriteInProgress;
    default: return kOk;
    }
}

int AviWriter::OpenFile(const std::string& filePath, int pixelDepth, int pictureQuality, int pictureWidth,
                        int pictureHeight, const picture::BmpInfoHeader* pictureFormat, const PcmFormat* audioFormat,
                        uint32_t audioHint)
{
    if (filePath.empty())
        return kEmptyPath;
    for (;;) {
        int s = state.load();
        if (s == kStateClosing)
            return kClosing;
        if (s == kStateOpening)
            return kOpening;
        if (s == kStateClosed)
            break;
        if (const int closed = CloseFile(int(kOpenRate / kRateScale)); closed == kWriteInProgress)
            return closed;
    }
    if (pictureWidth <= 0 || pictureHeight <= 0 || pixelDepth <= 0 || pictureQuality <= 0 || pictureQuality > 10000) {
        lastError = "invalid picture size, depth or quality";
        return kBadArguments;
    }
    if (audioFormat && (audioFormat->channels > 2 || audioFormat->bitsPerSample == 0 ||
                        audioFormat->bitsPerSample % 8 != 0 || audioFormat->samplesPerSecond == 0)) {
        lastError = "invalid sound format";
        return kBadArguments;
    }
    int expected = kStateClosed;
    if (!state.compare_exchange_strong(expected, kStateOpening))
        return BusyCode(expected);

    failed = false;
    lastError.clear();
    quality = pictureQuality;
    width = pictureWidth;
    height = pictureHeight;
    depth = pixelDepth;
    const int result = Open(filePath, pictureFormat, audioFormat, audioHint);
    if (result != kOk) {
        compressor.Close();
        opened = false;
        state.store(kStateClosed);
        return result;
    }
    videoIndex = audioIndex = framesWritten = 0;
    path = filePath;
    opened = true;
    state.store(kStateOpen);
    return kOk;
}

int AviWriter::Open(const std::string& filePath, const picture::BmpInfoHeader* pictureFormat,
                    const PcmFormat* audioFormat, uint32_t audioHint)
{
    // Everything is checked and made before the file is touched, so that a
    // refused open leaves an existing file at the path as it was.
    const uint64_t size = uint64_t(width) * uint64_t(height) * uint64_t(depth);
    if (pictureFormat) {
        const picture::BmpInfoHeader& f = *pictureFormat;
        if (f.headerSize != uint32_t(picture::kBmpInfoHeaderSize) || f.width != width || f.height != height ||
            f.planes != 1 || f.bitsPerPixel != depth * 8 || f.compression != 0) {
            lastError = "the video format is not " + std::to_string(width) + " x " + std::to_string(height) +
                        " bottom-up uncompressed pictures of " + std::to_string(depth * 8) + " bits";
            return kVideoFormatRefused;
        }
        videoFormat = f;
    } else {
        videoFormat = picture::BmpInfoHeader{};
        videoFormat.headerSize = picture::kBmpInfoHeaderSize;
        videoFormat.width = width;
        videoFormat.height = height;
        videoFormat.planes = 1;
        videoFormat.bitsPerPixel = uint16_t(depth * 8);
        videoFormat.imageSize = uint32_t(size);
    }
    if (depth != 3) {
        lastError = "only 24-bit BGR pictures can be compressed";
        return kVideoFormatRefused;
    }
    if (width > 8192 || height > 8192) {
        lastError = "a " + std::to_string(width) + " x " + std::to_string(height) + " video stream is too large";
        return kVideoStreamNotCreated;
    }
    frameSize = uint32_t(size);
    pictureWidth = width;
    pictureHeight = height;

    AviVideoStream video;
    video.handler = kXvid;  // players look for the codec here as well as in strf
    video.compression = kXvid;
    video.width = width;
    video.height = height;
    video.bitsPerPixel = uint16_t(depth * 8);
    video.imageSize = frameSize;
    video.scale = kRateScale;
    video.rate = kOpenRate;
    video.quality = uint32_t(quality);
    video.suggestedBufferSize = frameSize;

    AviAudioStream audio;
    hasAudio = audioFormat != nullptr;
    if (hasAudio) {
        audio.formatTag = audioFormat->formatTag;
        audio.channels = audioFormat->channels ? audioFormat->channels : 1;
        audio.bitsPerSample = audioFormat->bitsPerSample;
        audio.samplesPerSecond = audioFormat->samplesPerSecond;
        audio.blockAlign = uint16_t(audio.channels * audio.bitsPerSample / 8);
        audio.averageBytesPerSecond = audio.samplesPerSecond * audio.blockAlign;
        audio.suggestedBufferSize = audioHint;
    }

    if (!compressor.Open(width, height, QuantiserFor(quality), kKeyFrameInterval)) {
        lastError = compressor.LastError();
        return kCompressorNotMade;
    }
    if (!riff.Open(filePath, video, hasAudio ? &audio : nullptr, limits)) {
        lastError = riff.LastError();
        failed = true;
        return kFileNotCreated;
    }
    return kOk;
}

bool AviWriter::WriteVideoChunk(std::span<const uint8_t> bytes, bool keyFrame)
{
    if (!riff.WriteVideo(bytes, keyFrame))
        return Fail(riff.LastError());
    ++videoIndex;
    return true;
}

bool AviWriter::DrainPackets(bool padToFrames)
{
    for (;;) {
        platform::XvidCompressor::Packet packet;
        const auto got = compressor.Next(packet);
        if (got == platform::XvidCompressor::Receive::kNone)
            break;
        if (got == platform::XvidCompressor::Receive::kFailed)
            return Fail(compressor.LastError());
        if (!WriteVideoChunk(packet.bytes, packet.keyFrame))
            return false;
    }
    // A picture the encoder dropped keeps its place as an empty chunk.
    while (padToFrames && videoIndex < framesWritten)
        if (!WriteVideoChunk({}, false))
            return false;
    return true;
}

int AviWriter::WriteVideoFrame(const uint8_t* frame) { return WritePicture(frame, false); }

int AviWriter::WriteVideoPlanes(const uint8_t* planes) { return WritePicture(planes, true); }

int AviWriter::WritePicture(const uint8_t* frame, bool planes)
{
    const int s = state.load();
    if (s != kStateOpen)
        return BusyCode(s);
    if (!opened)
        return kLastOpenFailed;
    if (!compressor.IsOpen())
        return kNoCompressor;
    if (!frame)
        return kNoFrameData;
    int expected = kStateOpen;
    if (!state.compare_exchange_strong(expected, kStateWriting))
        return BusyCode(expected);

    bool ok = !failed;
    const bool sent =
        planes ? compressor.SendPlanes(std::span(frame, platform::YuvPlanesBytes(pictureWidth, pictureHeight)))
               : compressor.Send(std::span(frame, frameSize));
    if (ok && !sent)
        ok = Fail(compressor.LastError());
    if (ok) {
        ++framesWritten;
        ok = DrainPackets(!compressor.HasDelay());
    }
    state.store(kStateOpen);
    return ok ? kOk : kWriteFailed;
}

int AviWriter::WriteAudioChunk(const uint8_t* data, uint32_t byteCount)
{
    const int s = state.load();
    if (s != kStateOpen)
        return BusyCode(s);
    if (!opened)
        return kLastOpenFailed;
    if (!hasAudio)
        return kNoAudioStream;
    if (!data && byteCount > 0)
        return kNoFrameData;
    int expected = kStateOpen;
    if (!state.compare_exchange_strong(expected, kStateWriting))
        return BusyCode(expected);

    bool ok = !failed;
    if (ok && byteCount > 0) {
        ok = riff.WriteAudio(std::span(data, byteCount)) || Fail(riff.LastError());
        if (ok)
            ++audioIndex;
    }
    state.store(kStateOpen);
    return ok ? kOk : kWriteFailed;
}

int AviWriter::CloseFile(int frameRate)
{
    for (int waited = 0;;) {
        int s = state.load();
        if (s == kStateClosed)
            return kOk;
        if (s == kStateOpening)
            return kOpening;
        if (s == kStateClosing)
            return kClosing;
        if (s == kStateWriting) {
            // A frame write on another thread: give it up to a second.
            if (waited++ == 100)
                return kWriteInProgress;
            Pause();
            continue;
        }
        if (state.compare_exchange_strong(s, kStateClosing))
            break;
    }
    const int result = Finish(frameRate);
    state.store(kStateClosed);
    return result;
}

int AviWriter::Finish(int frameRate)
{
    if (opened && !failed && compressor.IsOpen()) {
        if (!compressor.Flush())
            Fail(compressor.LastError());
        else
            DrainPackets(true);
    }
    compressor.Close();
    if (opened) {
        // A file without pictures is no export: it goes, sound or not.
        if (framesWritten == 0) {
            riff.Discard();
        } else {
            const uint64_t rate = ratePatchEnabled && frameRate > 0 ? uint64_t(frameRate) * kRateScale : kOpenRate;
            if (!riff.Finish(avi_layout::Clamp32(rate)))
                Fail(riff.LastError());
        }
    }
    opened = false;
    path.clear();
    return failed ? kNotFinished : kOk;
}

}  // namespace exporter
