#pragma once
// The export's AVI output: XviD pictures and PCM sound in one AVI file
// (OpenDML past 1 GiB). Results are codes: 0 or one of the constants below.
//
// Threads: the export worker owns the writer and makes every call; only
// CloseFile (and so the destructor) may come from another thread while a
// write runs. `state` is the one field shared: writes claim it (1 -> 5) and
// CloseFile claims it (1 -> 3) with compare-and-swap, so a close waits for a
// running write instead of finishing the file under it. Every other field is
// touched only by whichever call holds the claim.
#include <atomic>
#include <cstdint>
#include <string>

#include "export/avi_riff_writer.h"
#include "picture/bmp_format.h"
#include "platform/xvid_compressor.h"

namespace exporter {

struct PcmFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSecond;
    uint32_t averageBytesPerSecond;  // filled in by the writer
    uint16_t blockAlign;             // filled in by the writer
    uint16_t bitsPerSample;
};

class AviWriter {
public:
    static constexpr int kOk = 0;
    static constexpr int kNotOpen = 100;
    static constexpr int kOpening = 101;
    static constexpr int kClosing = 102;
    static constexpr int kWriteInProgress = 105;
    static constexpr int kWriteFailed = 200;  // the frame was refused or a write failed; sticky
    static constexpr int kNoFrameData = 206;
    static constexpr int kNotFinished = 210;  // CloseFile: the file could not be finished
    static constexpr int kEmptyPath = 302;
    static constexpr int kLastOpenFailed = 403;
    static constexpr int kBadArguments = 404;
    static constexpr int kFileNotCreated = 600;
    static constexpr int kVideoStreamNotCreated = 602;
    static constexpr int kCompressorNotMade = 603;
    static constexpr int kVideoFormatRefused = 606;
    static constexpr int kNoCompressor = 607;
    static constexpr int kNoAudioStream = 608;  // WriteAudioChunk on a file opened without sound

    static constexpr int kStateClosed = 0;
    static constexpr int kStateOpen = 1;
    static constexpr int kStateOpening = 2;
    static constexpr int kStateClosing = 3;
    static constexpr int kStateWriting = 5;

    static constexpr uint32_t kRateScale = 100;
    static constexpr uint32_t kOpenRate = 3000;  // 30 frames per second until CloseFile says otherwise
    static constexpr int kKeyFrameInterval = 10;

    AviWriter() = default;
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // depth: bytes per pixel (3: BGR24 pictures, bottom row first, rows of
    // 3 * width bytes; width and height even). quality: 1..10000.
    // videoFormat: the pictures' BMP info header, or none: made from the
    // size. audioFormat: PCM, or none: no sound stream; its average rate and
    // block align are worked out here. 0, or 302, 101, 102, 404, 600, 602,
    // 603, 606 (LastError says why); a refused open leaves no file and does
    // not touch one already at the path. An open writer is closed first.
    int OpenFile(const std::string& path, int depth, int quality, int width, int height,
                 const picture::BmpInfoHeader* videoFormat, const PcmFormat* audioFormat, uint32_t audioHint);
    // 0, or 100, 101, 102, 105, 403, 607, 206, 200.
    int WriteVideoFrame(const uint8_t* frame);
    // The same picture in YUV 4:2:0 (platform/yuv_planes.h's layout, the
    // opened width and height); the same codes.
    int WriteVideoPlanes(const uint8_t* planes);
    // One chunk of sound. 0, or 100, 101, 102, 105, 403, 608, 206, 200.
    int WriteAudioChunk(const uint8_t* data, uint32_t byteCount);
    // Finishes the file with frameRate pictures per second (x 100 in the
    // header), or deletes it when it has no picture. 0, 101, 102, 210 when a
    // write failed on the way or now, 105 when a write on another thread
    // still runs after a second.
    int CloseFile(int frameRate);

    int State() const { return state.load(); }
    bool Failed() const { return failed; }
    const std::string& LastError() const { return lastError; }
    uint32_t FramesWritten() const { return framesWritten; }

    // The fixed XviD quantiser a quality (1..10000) is written with.
    static int QuantiserFor(int quality);
    // Tests only: smaller RIFF pieces and index room than 1 GiB and 256.
    void SetRiffLimits(const AviRiffLimits& riffLimits) { limits = riffLimits; }

private:
    int WritePicture(const uint8_t* frame, bool planes);
    int Open(const std::string& path, const picture::BmpInfoHeader* videoFormat, const PcmFormat* audioFormat,
             uint32_t audioHint);
    bool DrainPackets(bool padToFrames);
    bool WriteVideoChunk(std::span<const uint8_t> bytes, bool keyFrame);
    int Finish(int frameRate);
    bool Fail(const std::string& reason);
    int BusyCode(int observedState) const;

    std::atomic<int> state{kStateClosed};
    bool opened = false;
    int quality = 0;
    int width = 0;
    int height = 0;
    int depth = 0;
    uint32_t frameSize = 0;
    int pictureWidth = 0;
    int pictureHeight = 0;
    picture::BmpInfoHeader videoFormat;
    uint32_t videoIndex = 0;  // next video chunk
    uint32_t audioIndex = 0;  // next audio chunk
    uint32_t framesWritten = 0;
    std::string path;
    bool ratePatchEnabled = true;
    bool hasAudio = false;
    bool failed = false;
    std::string lastError;
    AviRiffLimits limits;
    AviRiffWriter riff;
    platform::XvidCompressor compressor;
};

}  // namespace exporter
