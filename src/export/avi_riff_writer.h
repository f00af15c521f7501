#pragma once
// The AVI container: one compressed video stream ('00dc') and optionally one
// PCM sound stream ('01wb'), written through a plain file descriptor.
//
// Layout: RIFF 'AVI ' { LIST hdrl { avih, LIST strl { strh strf indx } per
// stream, LIST odml { dmlh } }, LIST movi { chunks, ix00, ix01 }, idx1 } and,
// once the first RIFF would pass its limit (1 GiB), RIFF 'AVIX' { LIST movi
// { chunks, ix00, ix01 } } pieces found through the 'indx' super indexes.
// A file that stays in one RIFF is plain AVI: indx and odml become JUNK and
// its movi holds no ix chunks. The headers are written on Open with lengths
// 0, so a file cut short still reads up to its last chunk; Finish writes the
// real values.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace exporter {

inline constexpr std::uint32_t kAviRiffLimit = 1u << 30;
// Byte offset of the first stream header's dwRate in every file written here.
inline constexpr std::uint64_t kAviVideoRateOffset = 132;

struct AviVideoStream {
    std::uint32_t handler = 0;      // strh fccHandler
    std::uint32_t compression = 0;  // strf biCompression (FourCC)
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t imageSize = 0;
    std::uint32_t scale = 100;
    std::uint32_t rate = 3000;
    std::uint32_t quality = 0xFFFFFFFFu;
    std::uint32_t suggestedBufferSize = 0;
};

// PCM: strh scale = sample size = blockAlign, rate = averageBytesPerSecond.
struct AviAudioStream {
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSecond = 0;
    std::uint32_t averageBytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint32_t suggestedBufferSize = 0;
};

struct AviRiffLimits {
    std::uint32_t riffBytes = kAviRiffLimit;  // the most one RIFF may hold, its 8-byte header included
    std::uint32_t superIndexEntries = 256;    // RIFF pieces the indx room allows (256 GiB at 1 GiB each)
};

class AviRiffWriter {
public:
    AviRiffWriter() = default;
    ~AviRiffWriter();  // an unfinished file is discarded
    AviRiffWriter(const AviRiffWriter&) = delete;
    AviRiffWriter& operator=(const AviRiffWriter&) = delete;

    // Creates (or truncates) the file and writes the headers. False, leaving
    // no file, when the file cannot be created or written or the limits leave
    // no room for a chunk.
    bool Open(const std::string& path, const AviVideoStream& video, const AviAudioStream* audio,
              const AviRiffLimits& limits = {});
    // One chunk each. False once any write failed; that failure is sticky, the
    // refused chunk is not in the file, and the file ends at the last whole
    // chunk. An empty video chunk stands for a dropped frame.
    bool WriteVideo(std::span<const std::uint8_t> bytes, bool keyFrame);
    bool WriteAudio(std::span<const std::uint8_t> bytes);
    // Writes the indexes and the final header values, the video stream's rate
    // (at kAviVideoRateOffset) set to videoRate, syncs and closes. False when
    // any write failed on the way or now: the file is finished as far as it
    // could be.
    bool Finish(std::uint32_t videoRate);
    // Closes and deletes the file (a regular file that is still the one at the
    // path only).
    void Discard();

    bool IsOpen() const { return fd.Valid(); }
    bool Failed() const { return failed; }
    const std::string& LastError() const { return lastError; }
    std::uint32_t VideoChunks() const { return video.chunks; }
    std::uint64_t AudioBytes() const { return audio.bytes; }
    std::uint32_t RiffCount() const { return riffCount; }

private:
    struct Entry {
        std::uint32_t offset;  // chunk header, from the movi list's 'movi' FourCC
        std::uint32_t size;    // chunk data, unpadded
        std::uint8_t stream;
        bool keyFrame;
    };
    struct SuperEntry {
        std::uint64_t offset;    // ix chunk header, from the file's start
        std::uint32_t size;      // ix chunk, header included
        std::uint32_t duration;  // frames or samples
    };
    struct StreamTotals {
        std::uint32_t chunks = 0;
        std::uint64_t bytes = 0;
        std::uint32_t largest = 0;
        std::uint32_t riffChunks = 0;  // in the current RIFF
        std::uint64_t riffBytes = 0;
        std::vector<SuperEntry> super;
    };

    bool WriteChunk(int stream, std::span<const std::uint8_t> bytes, bool keyFrame);
    bool Fits(std::uint64_t chunkBytes, int stream) const;
    std::uint64_t IndexBytes(bool firstRiff) const;
    bool EndRiff(bool last);
    bool StartAvixRiff();
    bool WriteStandardIndex(int stream);
    bool WriteIdx1();
    void BuildHeader(std::uint32_t videoRate);
    bool FileStillThere();

    bool Append(std::span<const std::uint8_t> bytes);
    bool BufferedAppend(std::span<const std::uint8_t> bytes);
    bool FlushBuffer();
    bool WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t at);
    bool WriteWhole(std::span<const std::uint8_t> bytes, std::optional<std::uint64_t> at);
    bool Fail(const std::string& reason);
    bool FailErrno(const char* verb, int err);
    void CloseDescriptor();

    platform::UniqueFd fd;
    bool regularFile = false;
    std::uint64_t device = 0, inode = 0;
    std::string path;
    AviVideoStream videoFormat;
    AviAudioStream audioFormat;
    bool hasAudio = false;
    AviRiffLimits limits;

    std::uint64_t position = 0;  // the file's end: everything before it was written
    std::uint64_t riffStart = 0;
    std::uint64_t moviStart = 0;  // the 'LIST' of the current movi
    std::uint32_t riffCount = 0;
    std::uint32_t firstRiffSize = 0, firstMoviSize = 0, firstRiffFrames = 0;
    std::uint32_t sinceStillThere = 0;

    std::vector<Entry> entries;  // the current RIFF's chunks, in file order
    StreamTotals video, audio;
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> buffer;  // index writes go out in blocks
    std::size_t buffered = 0;

    bool failed = false;
    std::string lastError;
};

}  // namespace exporter
