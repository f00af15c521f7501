// The first RIFF's headers, from the streams' descriptions and what has been
// written so far: all zeros for the lengths on Open, the real values at the end.
#include "export/avi_riff_layout.h"
#include "export/avi_riff_writer.h"

namespace exporter {

using namespace avi_layout;

namespace {

void ChunkHeader(Fields& f, std::uint32_t tag, std::uint32_t size)
{
    f.U32(tag);
    f.U32(size);
}

}  // namespace

void AviRiffWriter::BuildHeader(std::uint32_t videoRate)
{
    const bool openDml = riffCount > 1;
    const std::uint32_t room = limits.superIndexEntries;
    const std::uint32_t streams = hasAudio ? 2 : 1;
    const std::uint32_t videoBuffer = std::max(videoFormat.suggestedBufferSize, video.largest);
    const std::uint32_t audioBuffer = hasAudio ? std::max(audioFormat.suggestedBufferSize, audio.largest) : 0;
    const std::uint64_t rate = videoRate ? videoRate : 1;
    // The peak: the largest picture at every frame of a second, with the sound.
    const std::uint64_t maxBytesPerSecond =
        std::uint64_t(video.largest) * rate / videoFormat.scale + (hasAudio ? audioFormat.averageBytesPerSecond : 0);
    const std::uint32_t indxBytes = 8 + kSuperIndexBytes + 16 * room;

    Fields f(header);
    ChunkHeader(f, Tag("RIFF"), firstRiffSize);
    f.U32(Tag("AVI "));
    ChunkHeader(f, Tag("LIST"), std::uint32_t(header.size() - 12 - 8 - 12));
    f.U32(Tag("hdrl"));

    ChunkHeader(f, Tag("avih"), 56);
    f.U32(Clamp32((1000000ull * videoFormat.scale + rate / 2) / rate));  // dwMicroSecPerFrame
    f.U32(Clamp32(maxBytesPerSecond));
    f.U32(0);  // dwPaddingGranularity
    f.U32(kAvifHasIndex | kAvifIsInterleaved | kAvifTrustChunkType);
    // OpenDML: the first RIFF's frames here, all of them in dmlh and strh.
    f.U32(openDml ? firstRiffFrames : video.chunks);
    f.U32(0);  // dwInitialFrames
    f.U32(streams);
    f.U32(std::max(videoBuffer, audioBuffer));
    f.U32(std::uint32_t(videoFormat.width));
    f.U32(std::uint32_t(videoFormat.height));
    f.Zeros(16);

    ChunkHeader(f, Tag("LIST"), 4 + (8 + 56) + (8 + 40) + indxBytes);
    f.U32(Tag("strl"));
    ChunkHeader(f, Tag("strh"), 56);
    f.U32(Tag("vids"));
    f.U32(videoFormat.handler);
    f.U32(0);  // dwFlags
    f.U16(0);  // wPriority
    f.U16(0);  // wLanguage
    f.U32(0);  // dwInitialFrames
    f.U32(videoFormat.scale);
    f.U32(videoRate);
    f.U32(0);  // dwStart
    f.U32(video.chunks);
    f.U32(videoBuffer);
    f.U32(videoFormat.quality);
    f.U32(0);  // dwSampleSize: one picture per chunk
    f.U16(0);
    f.U16(0);
    f.U16(std::uint16_t(videoFormat.width));
    f.U16(std::uint16_t(videoFormat.height));
    ChunkHeader(f, Tag("strf"), 40);
    f.U32(40);
    f.U32(std::uint32_t(videoFormat.width));
    f.U32(std::uint32_t(videoFormat.height));
    f.U16(1);  // biPlanes
    f.U16(videoFormat.bitsPerPixel);
    f.U32(videoFormat.compression);
    f.U32(videoFormat.imageSize);
    f.Zeros(16);

    // Room for every entry from the start: the header never moves.
    auto superIndexOf = [&](const StreamTotals& s, int stream) {
        ChunkHeader(f, openDml ? Tag("indx") : Tag("JUNK"), kSuperIndexBytes + 16 * room);
        f.U16(4);  // wLongsPerEntry
        f.U8(0);   // bIndexSubType
        f.U8(kIndexOfIndexes);
        f.U32(std::uint32_t(s.super.size()));
        f.U32(ChunkId(stream));
        f.Zeros(12);
        for (const SuperEntry& e : s.super) {
            f.U64(e.offset);
            f.U32(e.size);
            f.U32(e.duration);
        }
        f.Zeros(16 * (room - s.super.size()));
    };
    superIndexOf(video, 0);

    if (hasAudio) {
        ChunkHeader(f, Tag("LIST"), 4 + (8 + 56) + (8 + 18) + indxBytes);
        f.U32(Tag("strl"));
        ChunkHeader(f, Tag("strh"), 56);
        f.U32(Tag("auds"));
        f.U32(0);  // fccHandler
        f.U32(0);
        f.U16(0);
        f.U16(0);
        f.U32(0);
        f.U32(audioFormat.blockAlign);             // dwScale
        f.U32(audioFormat.averageBytesPerSecond);  // dwRate: scale / rate seconds per sample
        f.U32(0);
        f.U32(Clamp32(audio.bytes / audioFormat.blockAlign));  // dwLength in samples
        f.U32(audioBuffer);
        f.U32(0xFFFFFFFFu);             // dwQuality
        f.U32(audioFormat.blockAlign);  // dwSampleSize
        f.Zeros(8);
        ChunkHeader(f, Tag("strf"), 18);
        f.U16(audioFormat.formatTag);
        f.U16(audioFormat.channels);
        f.U32(audioFormat.samplesPerSecond);
        f.U32(audioFormat.averageBytesPerSecond);
        f.U16(audioFormat.blockAlign);
        f.U16(audioFormat.bitsPerSample);
        f.U16(0);  // cbSize
        superIndexOf(audio, 1);
    }

    ChunkHeader(f, openDml ? Tag("LIST") : Tag("JUNK"), 4 + 8 + kDmlhBytes);
    f.U32(Tag("odml"));
    ChunkHeader(f, Tag("dmlh"), kDmlhBytes);
    f.U32(video.chunks);  // dwTotalFrames: the whole file
    f.Zeros(kDmlhBytes - 4);

    ChunkHeader(f, Tag("LIST"), firstMoviSize);
    f.U32(Tag("movi"));
}

}  // namespace exporter
