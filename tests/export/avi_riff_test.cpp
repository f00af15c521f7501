// The AVI container written from dummy chunks, its layout parsed here and
// its packets counted by ffprobe.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "capture_tools.h"
#include "export/avi_riff_writer.h"
#include "support/temp_dir.h"

namespace {

using capture_test::ReadBytes;
using capture_test::Shell;
using exporter::AviRiffLimits;
using exporter::AviRiffWriter;

constexpr uint32_t Tag(const char (&s)[5])
{
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

// Bounds-checked little-endian reads: past the end reads as 0 and is a failure.
struct Bytes {
    const std::vector<uint8_t>& d;
    uint64_t U16(uint64_t at) const { return Ok(at, 2) ? d[at] | d[at + 1] << 8 : 0; }
    uint32_t U32(uint64_t at) const { return Ok(at, 4) ? uint32_t(U16(at) | U16(at + 2) << 16) : 0; }
    uint64_t U64(uint64_t at) const { return U32(at) | uint64_t(U32(at + 4)) << 32; }
    bool Ok(uint64_t at, uint64_t n) const
    {
        const bool ok = at + n <= d.size();
        EXPECT_TRUE(ok) << "read of " << n << " at " << at << " past " << d.size();
        return ok;
    }
};

struct Chunk {
    uint32_t id = 0;
    uint32_t size = 0;
    uint64_t at = 0;        // the chunk header
    uint32_t listType = 0;  // RIFF and LIST only
    uint64_t Data() const { return at + 8; }
    uint64_t End() const { return at + 8 + size + (size & 1); }
};

// The chunks between begin and end, each starting at an even offset and
// none running past end.
std::vector<Chunk> Children(const Bytes& b, uint64_t begin, uint64_t end)
{
    std::vector<Chunk> out;
    for (uint64_t at = begin; at + 8 <= end;) {
        Chunk c{b.U32(at), b.U32(at + 4), at, 0};
        EXPECT_EQ(at % 2, 0u) << "odd chunk offset " << at;
        if (c.id == Tag("RIFF") || c.id == Tag("LIST"))
            c.listType = b.U32(at + 8);
        EXPECT_LE(c.End(), end) << "chunk at " << at << " runs past its parent";
        if (c.End() > end)
            break;
        out.push_back(c);
        at = c.End();
    }
    return out;
}

const Chunk* Find(const std::vector<Chunk>& chunks, uint32_t id, uint32_t listType = 0)
{
    for (const Chunk& c : chunks)
        if (c.id == id && (listType == 0 || c.listType == listType))
            return &c;
    return nullptr;
}

exporter::AviVideoStream Video()
{
    exporter::AviVideoStream v;
    v.handler = v.compression = Tag("QTST");  // no decoder: ffprobe only counts
    v.width = 64;
    v.height = 48;
    v.imageSize = 64 * 48 * 3;
    v.suggestedBufferSize = 1000;
    return v;
}

exporter::AviAudioStream Audio()
{
    exporter::AviAudioStream a;
    a.samplesPerSecond = 8000;
    a.averageBytesPerSecond = 16000;
    a.blockAlign = 2;
    a.bitsPerSample = 16;
    a.suggestedBufferSize = 1000;
    return a;
}

// Dummy chunks of uneven sizes, key frames every tenth, a second of sound
// every 30 frames: what the export's file has, with made-up bytes.
struct Feed {
    std::vector<uint8_t> picture = std::vector<uint8_t>(1 << 20, 0x5A);
    std::vector<uint8_t> sound = std::vector<uint8_t>(16000, 0x11);
    std::vector<uint32_t> sizes;
    uint32_t frames = 0, audioChunks = 0;

    bool Step(AviRiffWriter& w, uint32_t pictureBytes)
    {
        if (frames % 30 == 0) {
            if (!w.WriteAudio(sound))
                return false;
            ++audioChunks;
        }
        if (!w.WriteVideo(std::span(picture).first(pictureBytes), frames % 10 == 0))
            return false;
        sizes.push_back(pictureBytes);
        ++frames;
        return true;
    }
};

// What ffprobe reads: its packet count, the key flags it takes from the
// indexes, sound in bytes (PCM comes back in packets of ffmpeg's own size),
// and the header's frame count.
struct Probe {
    std::string format;
    std::string videoPackets, videoFrames;
    uint64_t keysOffTheTenth = 0, audioBytes = 0;
};

Probe ProbeFile(const std::string& path)
{
    Probe p;
    const auto header = Shell("ffprobe -v error -count_packets -select_streams v -show_entries "
                              "stream=nb_read_packets,nb_frames -show_entries format=format_name -of default=nw=1 '" +
                              path + "'");
    const auto packets =
        Shell("ffprobe -v error -show_entries packet=stream_index,size,flags -of csv=p=0 '" + path + "'");
    if (!packets || !header)
        return p;
    for (std::size_t at = 0, end; (end = header->find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = header->substr(at, end - at);
        for (const char* key : {"format_name=", "nb_read_packets=", "nb_frames="})
            if (line.rfind(key, 0) == 0)
                (key[0] == 'f'   ? p.format
                 : key[3] == 'r' ? p.videoPackets
                                 : p.videoFrames) = line.substr(std::strlen(key));
    }
    uint64_t frame = 0;
    for (std::size_t at = 0, end; (end = packets->find('\n', at)) != std::string::npos; at = end + 1) {
        int stream = 0;
        unsigned long long size = 0;
        char key = 0;
        if (std::sscanf(packets->c_str() + at, "%d,%llu,%c", &stream, &size, &key) != 3)
            continue;
        if (stream == 1)
            p.audioBytes += size;
        else if ((key == 'K') != (frame++ % 10 == 0))
            ++p.keysOffTheTenth;
    }
    return p;
}

// Walks one RIFF's movi: chunk ids and sizes in write order, and checks the
// ix chunks inside against them. Returns the video and audio chunks found.
struct MoviContents {
    std::vector<Chunk> video, audio;
    std::vector<Chunk> all;
};

MoviContents ReadMovi(const Bytes& b, const Chunk& movi)
{
    MoviContents m;
    m.all = Children(b, movi.Data() + 4, movi.End());
    for (const Chunk& c : m.all) {
        if (c.id == Tag("00dc"))
            m.video.push_back(c);
        else if (c.id == Tag("01wb"))
            m.audio.push_back(c);
        else
            EXPECT_TRUE(c.id == Tag("ix00") || c.id == Tag("ix01")) << "stray chunk in movi at " << c.at;
    }
    return m;
}

// A standard index: every entry names a chunk of its stream with its size
// and the key flag the writer was given.
void CheckStandardIndex(const Bytes& b, const Chunk& ix, const std::vector<Chunk>& chunks, uint32_t chunkId,
                        uint32_t firstFrame, bool video)
{
    EXPECT_EQ(b.U16(ix.Data()), 2u);
    EXPECT_EQ(b.d[ix.Data() + 3], 1u);  // AVI_INDEX_OF_CHUNKS
    const uint32_t n = b.U32(ix.Data() + 4);
    EXPECT_EQ(b.U32(ix.Data() + 8), chunkId);
    const uint64_t base = b.U64(ix.Data() + 12);
    ASSERT_EQ(n, chunks.size());
    ASSERT_EQ(ix.size, 24 + 8 * n);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t offset = b.U32(ix.Data() + 24 + 8 * i);
        const uint32_t size = b.U32(ix.Data() + 28 + 8 * i);
        EXPECT_EQ(base + offset, chunks[i].Data());
        EXPECT_EQ(size & 0x7FFFFFFFu, chunks[i].size);
        const bool key = (size & 0x80000000u) == 0;
        EXPECT_EQ(key, !video || (firstFrame + i) % 10 == 0) << "entry " << i;
    }
}

TEST(AviRiffTest, OneRiffFileIsPlainAviWithEvenChunksIndexAndRealLengths)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("one.avi");
    AviRiffWriter w;
    const auto audio = Audio();
    ASSERT_TRUE(w.Open(path, Video(), &audio)) << w.LastError();
    Feed feed;
    for (uint32_t i = 0; i < 75; ++i)
        ASSERT_TRUE(feed.Step(w, 1001 + 37 * i));  // odd and even sizes, one past the suggested buffer
    ASSERT_TRUE(w.Finish(2500)) << w.LastError();

    const auto d = ReadBytes(path);
    const Bytes b{d};
    const auto top = Children(b, 0, d.size());
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].id, Tag("RIFF"));
    EXPECT_EQ(top[0].listType, Tag("AVI "));
    EXPECT_EQ(top[0].End(), d.size());
    EXPECT_EQ(b.U32(132), 2500u) << "the rate at the fixed offset";

    const auto riff = Children(b, 12, top[0].End());
    const Chunk* hdrl = Find(riff, Tag("LIST"), Tag("hdrl"));
    const Chunk* movi = Find(riff, Tag("LIST"), Tag("movi"));
    const Chunk* idx1 = Find(riff, Tag("idx1"));
    ASSERT_TRUE(hdrl && movi && idx1);
    const auto h = Children(b, hdrl->Data() + 4, hdrl->End());
    const Chunk* avih = Find(h, Tag("avih"));
    ASSERT_TRUE(avih);
    const uint32_t largest = 1001 + 37 * 74;
    EXPECT_EQ(b.U32(avih->Data()), 40000u);                    // µs per frame at 25 fps
    EXPECT_EQ(b.U32(avih->Data() + 16), 75u);                  // dwTotalFrames
    EXPECT_EQ(b.U32(avih->Data() + 24), 2u);                   // dwStreams
    EXPECT_GE(b.U32(avih->Data() + 28), 16000u);               // dwSuggestedBufferSize: the biggest chunk
    EXPECT_EQ(b.U32(avih->Data() + 4), largest * 25 + 16000);  // dwMaxBytesPerSec
    EXPECT_EQ(Find(h, Tag("LIST"), Tag("odml")), nullptr) << "one RIFF stays plain AVI";

    std::vector<const Chunk*> strls;
    for (const Chunk& c : h)
        if (c.id == Tag("LIST") && c.listType == Tag("strl"))
            strls.push_back(&c);
    ASSERT_EQ(strls.size(), 2u);
    const auto vs = Children(b, strls[0]->Data() + 4, strls[0]->End());
    const auto as = Children(b, strls[1]->Data() + 4, strls[1]->End());
    EXPECT_EQ(vs[0].Data(), 108u) << "strh where the rate offset expects it";
    EXPECT_EQ(Find(vs, Tag("indx")), nullptr);
    const uint64_t vh = Find(vs, Tag("strh"))->Data(), ah = Find(as, Tag("strh"))->Data();
    EXPECT_EQ(b.U32(vh), Tag("vids"));
    EXPECT_EQ(b.U32(vh + 20), 100u);  // dwScale
    EXPECT_EQ(b.U32(vh + 32), 75u);   // dwLength
    EXPECT_GE(b.U32(vh + 36), largest);
    EXPECT_EQ(b.U32(ah), Tag("auds"));
    EXPECT_EQ(b.U32(ah + 20), 2u);         // dwScale
    EXPECT_EQ(b.U32(ah + 24), 16000u);     // dwRate
    EXPECT_EQ(b.U32(ah + 32), 3u * 8000);  // dwLength: samples
    EXPECT_EQ(b.U32(ah + 36), 16000u);
    EXPECT_EQ(b.U32(ah + 44), 2u);  // dwSampleSize
    const Chunk* wave = Find(as, Tag("strf"));
    ASSERT_TRUE(wave);
    EXPECT_EQ(wave->size, 18u);

    const auto m = ReadMovi(b, *movi);
    EXPECT_EQ(m.video.size(), 75u);
    EXPECT_EQ(m.audio.size(), 3u);
    EXPECT_FALSE(Find(m.all, Tag("ix00")) || Find(m.all, Tag("ix01")));
    for (std::size_t i = 0; i < m.video.size(); ++i)
        EXPECT_EQ(m.video[i].size, feed.sizes[i]);

    // idx1: every chunk in file order, offsets from the 'movi' FourCC, key
    // flags as given, sound always AVIIF_KEYFRAME.
    ASSERT_EQ(idx1->size, 16 * m.all.size());
    uint32_t frame = 0;
    for (std::size_t i = 0; i < m.all.size(); ++i) {
        const uint64_t e = idx1->Data() + 16 * i;
        EXPECT_EQ(b.U32(e), m.all[i].id);
        EXPECT_EQ(movi->Data() + b.U32(e + 8), m.all[i].at);
        EXPECT_EQ(b.U32(e + 12), m.all[i].size);
        const uint32_t flags = b.U32(e + 4);
        if (m.all[i].id == Tag("01wb"))
            EXPECT_EQ(flags, 0x10u);
        else
            EXPECT_EQ(flags, frame++ % 10 == 0 ? 0x10u : 0u);
    }

    const Probe probe = ProbeFile(path);
    EXPECT_EQ(probe.format, "avi");
    EXPECT_EQ(probe.videoPackets, "75");
    EXPECT_EQ(probe.keysOffTheTenth, 0u);
    EXPECT_EQ(probe.videoFrames, "75");
    EXPECT_EQ(probe.audioBytes, 3u * 16000);
}

// The OpenDML pieces of a file: every RIFF within the limit, the indexes
// pointing at what is there, the totals where readers take them from.
void CheckOpenDml(const std::string& path, uint32_t riffLimit, uint32_t frames, uint32_t audioChunks,
                  std::size_t expectRiffs)
{
    const auto d = ReadBytes(path);
    const Bytes b{d};
    const auto top = Children(b, 0, d.size());
    ASSERT_EQ(top.size(), expectRiffs);
    ASSERT_EQ(top.back().End(), d.size());
    std::vector<MoviContents> movis;
    std::vector<const Chunk*> ixs[2];
    for (std::size_t r = 0; r < top.size(); ++r) {
        EXPECT_EQ(top[r].id, Tag("RIFF"));
        EXPECT_EQ(top[r].listType, r == 0 ? Tag("AVI ") : Tag("AVIX"));
        EXPECT_LE(top[r].size + 8ull, riffLimit);
        const auto inside = Children(b, top[r].Data() + 4, top[r].End());
        const Chunk* movi = Find(inside, Tag("LIST"), Tag("movi"));
        ASSERT_TRUE(movi);
        EXPECT_EQ(Find(inside, Tag("idx1")) != nullptr, r == 0) << "idx1 in the first RIFF only";
        movis.push_back(ReadMovi(b, *movi));
    }
    uint32_t videoSeen = 0, audioSeen = 0;
    for (const auto& m : movis) {
        for (int s = 0; s < 2; ++s) {
            const auto& chunks = s == 0 ? m.video : m.audio;
            const Chunk* ix = Find(m.all, s == 0 ? Tag("ix00") : Tag("ix01"));
            EXPECT_EQ(ix != nullptr, !chunks.empty());
            if (ix) {
                CheckStandardIndex(b, *ix, chunks, s == 0 ? Tag("00dc") : Tag("01wb"), videoSeen, s == 0);
                ixs[s].push_back(ix);
            }
        }
        videoSeen += uint32_t(m.video.size());
        audioSeen += uint32_t(m.audio.size());
    }
    EXPECT_EQ(videoSeen, frames);
    EXPECT_EQ(audioSeen, audioChunks);

    const auto riff = Children(b, 12, top[0].End());
    const Chunk* hdrl = Find(riff, Tag("LIST"), Tag("hdrl"));
    ASSERT_TRUE(hdrl);
    const auto h = Children(b, hdrl->Data() + 4, hdrl->End());
    EXPECT_EQ(b.U32(Find(h, Tag("avih"))->Data() + 16), movis[0].video.size()) << "avih: the first RIFF's frames";
    const Chunk* odml = Find(h, Tag("LIST"), Tag("odml"));
    ASSERT_TRUE(odml);
    EXPECT_EQ(b.U32(odml->Data() + 12), frames) << "dmlh: all frames";
    int s = 0;
    for (const Chunk& strl : h) {
        if (strl.id != Tag("LIST") || strl.listType != Tag("strl"))
            continue;
        const auto inside = Children(b, strl.Data() + 4, strl.End());
        const uint64_t strh = Find(inside, Tag("strh"))->Data();
        EXPECT_EQ(b.U32(strh + 32), s == 0 ? frames : audioChunks * 8000) << "dwLength, all pieces";
        const Chunk* indx = Find(inside, Tag("indx"));
        ASSERT_TRUE(indx);
        const uint32_t used = b.U32(indx->Data() + 4);
        ASSERT_EQ(used, ixs[s].size());
        uint64_t duration = 0;
        for (uint32_t i = 0; i < used; ++i) {
            const uint64_t e = indx->Data() + 24 + 16 * i;
            EXPECT_EQ(b.U64(e), ixs[s][i]->at);
            EXPECT_EQ(b.U32(e + 8), ixs[s][i]->size + 8);
            duration += b.U32(e + 12);
        }
        EXPECT_EQ(duration, s == 0 ? frames : audioChunks * 8000);
        ++s;
    }
    EXPECT_EQ(s, 2);
}

TEST(AviRiffTest, PastTheRiffLimitContinuesInOpenDmlPieces)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("odml.avi");
    AviRiffWriter w;
    const auto audio = Audio();
    const AviRiffLimits limits{200000, 16};
    ASSERT_TRUE(w.Open(path, Video(), &audio, limits)) << w.LastError();
    Feed feed;
    for (uint32_t i = 0; i < 200; ++i)
        ASSERT_TRUE(feed.Step(w, 3000 + 101 * (i % 17))) << w.LastError();
    EXPECT_GE(w.RiffCount(), 4u);
    const uint32_t riffs = w.RiffCount();
    ASSERT_TRUE(w.Finish(3000)) << w.LastError();
    EXPECT_EQ(ReadBytes(path)[132], 3000 % 256);
    CheckOpenDml(path, limits.riffBytes, 200, feed.audioChunks, riffs);

    const Probe probe = ProbeFile(path);
    EXPECT_EQ(probe.videoPackets, "200");
    EXPECT_EQ(probe.keysOffTheTenth, 0u);
    EXPECT_EQ(probe.videoFrames, "200");
    EXPECT_EQ(probe.audioBytes, feed.audioChunks * 16000ull);
}

TEST(AviRiffTest, FullSuperIndexRefusesTheNextPieceAndTheFileStillFinishes)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("full.avi");
    AviRiffWriter w;
    const auto audio = Audio();
    const AviRiffLimits limits{100000, 2};
    ASSERT_TRUE(w.Open(path, Video(), &audio, limits)) << w.LastError();
    Feed feed;
    uint32_t i = 0;
    while (i < 1000 && feed.Step(w, 4000))
        ++i;
    ASSERT_LT(i, 1000u) << "a third RIFF was never refused";
    EXPECT_TRUE(w.Failed());
    EXPECT_NE(w.LastError().find("room"), std::string::npos) << w.LastError();
    EXPECT_FALSE(w.WriteVideo(feed.picture, true)) << "the refusal is sticky";
    EXPECT_EQ(w.RiffCount(), 2u);
    EXPECT_FALSE(w.Finish(3000));
    CheckOpenDml(path, limits.riffBytes, feed.frames, feed.audioChunks, 2);
    EXPECT_EQ(ProbeFile(path).videoPackets, std::to_string(feed.frames));
}

// A real file past 1 GiB under the default limit, from 1 MiB dummy pictures.
TEST(AviRiffTest, FilePastOneGibibyteReadsBackWhole)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("big.avi");
    {
        AviRiffWriter w;
        const auto audio = Audio();
        ASSERT_TRUE(w.Open(path, Video(), &audio)) << w.LastError();
        Feed feed;
        for (uint32_t i = 0; i < 1150; ++i)
            ASSERT_TRUE(feed.Step(w, (1 << 20) - (i & 1))) << w.LastError();
        EXPECT_EQ(w.RiffCount(), 2u);
        ASSERT_TRUE(w.Finish(3000)) << w.LastError();
    }
    EXPECT_GT(std::filesystem::file_size(path), uint64_t(1) << 30);
    // The top-level pieces, read by their headers only.
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(f);
    uint8_t head[12];
    uint64_t at = 0;
    std::vector<uint32_t> kinds;
    while (std::fseek(f, long(at), SEEK_SET) == 0 && std::fread(head, 1, 12, f) == 12) {
        const std::vector<uint8_t> v(head, head + 12);
        const Bytes b{v};
        ASSERT_EQ(b.U32(0), Tag("RIFF"));
        EXPECT_LE(b.U32(4) + 8ull, exporter::kAviRiffLimit);
        kinds.push_back(b.U32(8));
        at += 8 + b.U32(4);
    }
    std::fclose(f);
    EXPECT_EQ(at, std::filesystem::file_size(path));
    EXPECT_EQ(kinds, (std::vector<uint32_t>{Tag("AVI "), Tag("AVIX")}));
    const Probe probe = ProbeFile(path);
    EXPECT_EQ(probe.videoPackets, "1150");
    EXPECT_EQ(probe.keysOffTheTenth, 0u);
    EXPECT_EQ(probe.videoFrames, "1150");
    EXPECT_EQ(probe.audioBytes, 39u * 16000);
    std::filesystem::remove(path);
}

}  // namespace
