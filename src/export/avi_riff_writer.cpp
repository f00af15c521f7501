#include "export/avi_riff_writer.h"

#include "export/avi_riff_layout.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace exporter {

namespace {

using namespace avi_layout;

// The ix entries keep the key flag in a size's top bit.
constexpr std::uint64_t kMaxChunkData = 0x7FFFFFF0u;
constexpr std::size_t kBufferBytes = 64 * 1024;
constexpr std::uint32_t kStillThereEvery = 64;

}  // namespace

AviRiffWriter::~AviRiffWriter() { Discard(); }

bool AviRiffWriter::Fail(const std::string& reason)
{
    if (!failed)
        lastError = reason;
    failed = true;
    return false;
}

bool AviRiffWriter::FailErrno(const char* verb, int err)
{
    return Fail(std::string(verb) + " " + path + ": " + std::error_code(err, std::generic_category()).message());
}

bool AviRiffWriter::Open(const std::string& filePath, const AviVideoStream& videoStream,
                         const AviAudioStream* audioStream, const AviRiffLimits& riffLimits)
{
    Discard();
    path = filePath;
    failed = false;
    lastError.clear();
    position = riffStart = moviStart = 0;
    riffCount = firstRiffSize = firstMoviSize = firstRiffFrames = sinceStillThere = 0;
    entries.clear();
    video = audio = StreamTotals{};
    buffered = 0;
    videoFormat = videoStream;
    hasAudio = audioStream != nullptr;
    if (hasAudio)
        audioFormat = *audioStream;
    limits = riffLimits;
    if (videoFormat.width <= 0 || videoFormat.height <= 0 || videoFormat.width > 32767 || videoFormat.height > 32767 ||
        videoFormat.scale == 0 || (hasAudio && audioFormat.blockAlign == 0))
        return Fail("cannot create " + path + ": invalid stream description");
    if (limits.superIndexEntries < 1 || limits.superIndexEntries > 65536)
        return Fail("cannot create " + path + ": invalid index room");

    const std::size_t indxBytes = 8 + kSuperIndexBytes + 16 * std::size_t(limits.superIndexEntries);
    std::size_t headerBytes = 12 + 12 + (8 + 56) + 12 + (8 + 56) + (8 + 40) + indxBytes;
    if (hasAudio)
        headerBytes += 12 + (8 + 56) + (8 + 18) + indxBytes;
    headerBytes += 12 + 8 + kDmlhBytes + 12;
    if (limits.riffBytes < headerBytes + 4096)
        return Fail("cannot create " + path + ": the RIFF limit leaves no room for chunks");

    header.assign(headerBytes, 0);
    buffer.assign(kBufferBytes, 0);
    entries.reserve(16384);
    video.super.reserve(limits.superIndexEntries);
    audio.super.reserve(limits.superIndexEntries);

    int opened;
    do
        opened = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    while (opened < 0 && errno == EINTR);
    fd.Reset(opened);
    if (!fd)
        return FailErrno("cannot create", errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) == 0) {
        regularFile = S_ISREG(st.st_mode);
        device = st.st_dev;
        inode = st.st_ino;
    }
    riffCount = 1;
    riffStart = 0;
    moviStart = headerBytes - 12;
    BuildHeader(videoFormat.rate);
    if (!Append(header)) {
        Discard();
        return false;
    }
    return true;
}

bool AviRiffWriter::WriteVideo(std::span<const std::uint8_t> bytes, bool keyFrame)
{
    return WriteChunk(0, bytes, keyFrame);
}

bool AviRiffWriter::WriteAudio(std::span<const std::uint8_t> bytes)
{
    if (!hasAudio)
        return Fail("cannot write " + path + ": the file has no sound stream");
    return WriteChunk(1, bytes, true);
}

std::uint64_t AviRiffWriter::IndexBytes(bool firstRiff) const
{
    std::uint64_t bytes = 0;
    for (const StreamTotals* s : {&video, &audio})
        if (s->riffChunks > 0)
            bytes += kStdIndexChunkBytes + 8ull * s->riffChunks;
    if (firstRiff)
        bytes += 8 + 16ull * entries.size();
    return bytes;
}

bool AviRiffWriter::Fits(std::uint64_t chunkBytes, int stream) const
{
    // With this chunk's own index entries and, for a stream new to this
    // RIFF, its ix chunk header.
    const StreamTotals& s = stream == 0 ? video : audio;
    std::uint64_t extra = 8 + (s.riffChunks == 0 ? kStdIndexChunkBytes : 0);
    if (riffCount == 1)
        extra += 16;
    return position + chunkBytes - riffStart + IndexBytes(riffCount == 1) + extra <= limits.riffBytes;
}

bool AviRiffWriter::WriteChunk(int stream, std::span<const std::uint8_t> bytes, bool keyFrame)
{
    if (!fd)
        return Fail("cannot write " + path + ": the file is not open");
    if (failed)
        return false;
    if (bytes.size() > kMaxChunkData)
        return Fail("cannot write " + path + ": a chunk of " + std::to_string(bytes.size()) + " bytes is too large");
    const std::uint64_t chunkBytes = 8 + bytes.size() + (bytes.size() & 1);
    if (!Fits(chunkBytes, stream)) {
        if (entries.empty())
            return Fail("cannot write " + path + ": a chunk of " + std::to_string(bytes.size()) +
                        " bytes does not fit one RIFF");
        // Refused before anything of the next RIFF is written: the file still
        // finishes whole with what it has.
        if (riffCount >= limits.superIndexEntries)
            return Fail("cannot write " + path + ": the file reached the " + std::to_string(riffCount) +
                        " RIFF pieces its index has room for");
        if (!EndRiff(false) || !StartAvixRiff())
            return false;
        // Lets a reader of a file cut short find the finished pieces.
        BuildHeader(videoFormat.rate);
        if (!WriteAt(header, 0))
            return false;
        if (!Fits(chunkBytes, stream))
            return Fail("cannot write " + path + ": a chunk of " + std::to_string(bytes.size()) +
                        " bytes does not fit one RIFF");
    }

    const std::uint64_t start = position;
    std::uint8_t head[8];
    Fields f(head);
    f.U32(ChunkId(stream));
    f.U32(std::uint32_t(bytes.size()));
    const std::uint8_t pad[1] = {0};
    if (!Append(head) || !Append(bytes) || ((bytes.size() & 1) && !Append(pad))) {
        // The file ends at the last whole chunk, ready to be finished.
        if (::ftruncate(fd.Get(), off_t(start)) == 0 && ::lseek(fd.Get(), off_t(start), SEEK_SET) == off_t(start))
            position = start;
        return false;
    }
    entries.push_back(
        Entry{std::uint32_t(start - (moviStart + 8)), std::uint32_t(bytes.size()), std::uint8_t(stream), keyFrame});
    StreamTotals& s = stream == 0 ? video : audio;
    ++s.chunks;
    ++s.riffChunks;
    s.bytes += bytes.size();
    s.riffBytes += bytes.size();
    s.largest = std::max(s.largest, std::uint32_t(bytes.size()));
    if (++sinceStillThere >= kStillThereEvery) {
        sinceStillThere = 0;
        return FileStillThere();
    }
    return true;
}

bool AviRiffWriter::WriteStandardIndex(int stream)
{
    StreamTotals& s = stream == 0 ? video : audio;
    if (s.riffChunks == 0)
        return true;
    const std::uint64_t at = position;
    const std::uint32_t chunkBytes = kStdIndexChunkBytes + 8 * s.riffChunks;
    std::uint8_t head[kStdIndexChunkBytes];
    Fields f(head);
    f.U32(stream == 0 ? Tag("ix00") : Tag("ix01"));
    f.U32(chunkBytes - 8);
    f.U16(2);  // wLongsPerEntry
    f.U8(0);   // bIndexSubType
    f.U8(kIndexOfChunks);
    f.U32(s.riffChunks);
    f.U32(ChunkId(stream));
    f.U64(moviStart + 8);  // qwBaseOffset: entries count from the 'movi' FourCC
    f.U32(0);
    bool ok = BufferedAppend(head);
    for (const Entry& e : entries) {
        if (e.stream != stream || !ok)
            continue;
        std::uint8_t item[8];
        Fields g(item);
        g.U32(e.offset + 8);  // the chunk's data
        g.U32(e.size | (stream == 0 && !e.keyFrame ? kDeltaFrameBit : 0));
        ok = BufferedAppend(item);
    }
    if (!ok || !FlushBuffer())
        return false;
    const std::uint64_t duration = stream == 0 ? s.riffChunks : s.riffBytes / audioFormat.blockAlign;
    s.super.push_back(SuperEntry{at, chunkBytes, Clamp32(duration)});
    return true;
}

bool AviRiffWriter::WriteIdx1()
{
    std::uint8_t head[8];
    Fields f(head);
    f.U32(Tag("idx1"));
    f.U32(std::uint32_t(16 * entries.size()));
    bool ok = BufferedAppend(head);
    for (const Entry& e : entries) {
        if (!ok)
            break;
        std::uint8_t item[16];
        Fields g(item);
        g.U32(ChunkId(e.stream));
        g.U32(e.keyFrame ? kAviifKeyFrame : 0);
        g.U32(e.offset);
        g.U32(e.size);
        ok = BufferedAppend(item);
    }
    return ok && FlushBuffer();
}

bool AviRiffWriter::EndRiff(bool last)
{
    // A file that never left its first RIFF stays plain AVI.
    const bool openDml = !(last && riffCount == 1);
    if (openDml && (!WriteStandardIndex(0) || (hasAudio && !WriteStandardIndex(1))))
        return false;
    const std::uint64_t moviSize = position - (moviStart + 8);
    bool ok = true;
    if (riffCount == 1) {
        firstMoviSize = std::uint32_t(moviSize);
        firstRiffFrames = video.riffChunks;
        ok = WriteIdx1();
        if (ok)
            firstRiffSize = std::uint32_t(position - 8);
    } else {
        std::uint8_t size[4];
        Fields(size).U32(std::uint32_t(position - riffStart - 8));
        ok = WriteAt(size, riffStart + 4);
        Fields(size).U32(std::uint32_t(moviSize));
        ok = ok && WriteAt(size, moviStart + 4);
    }
    entries.clear();
    video.riffChunks = audio.riffChunks = 0;
    video.riffBytes = audio.riffBytes = 0;
    return ok;
}

bool AviRiffWriter::StartAvixRiff()
{
    std::uint8_t head[24];
    Fields f(head);
    f.U32(Tag("RIFF"));
    f.U32(0);  // both sizes written when the piece ends
    f.U32(Tag("AVIX"));
    f.U32(Tag("LIST"));
    f.U32(0);
    f.U32(Tag("movi"));
    const std::uint64_t start = position;
    if (!Append(head))
        return false;
    riffStart = start;
    moviStart = start + 12;
    ++riffCount;
    return true;
}

bool AviRiffWriter::Finish(std::uint32_t videoRate)
{
    if (!fd)
        return Fail("cannot finish " + path + ": the file is not open");
    // After a failed write the file ends at its last whole chunk: index that.
    EndRiff(true);
    BuildHeader(videoRate);
    WriteAt(header, 0);
    FileStillThere();
    if (::fsync(fd.Get()) != 0 && errno != EINVAL && errno != EROFS)
        FailErrno("cannot write", errno);
    CloseDescriptor();
    return !failed;
}

void AviRiffWriter::Discard()
{
    if (!fd)
        return;
    // Never a device, nor a file that has since replaced ours at the path.
    struct stat st {};
    if (regularFile && ::stat(path.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode)
        ::unlink(path.c_str());
    fd.Reset();
}

void AviRiffWriter::CloseDescriptor()
{
    // Some file systems report a lost write only here; never retried after
    // EINTR, the descriptor is gone either way on Linux.
    if (!fd.Close() && errno != EINTR)
        FailErrno("cannot write", errno);
}

bool AviRiffWriter::FileStillThere()
{
    struct stat st {};
    if (::fstat(fd.Get(), &st) == 0 && st.st_nlink == 0 && regularFile)
        return Fail("cannot write " + path + ": the file was deleted while it was being written");
    return true;
}

bool AviRiffWriter::Append(std::span<const std::uint8_t> bytes)
{
    if (!WriteWhole(bytes, std::nullopt))
        return false;
    position += bytes.size();
    return true;
}

bool AviRiffWriter::BufferedAppend(std::span<const std::uint8_t> bytes)
{
    if (buffered + bytes.size() > buffer.size() && !FlushBuffer())
        return false;
    std::copy(bytes.begin(), bytes.end(), buffer.begin() + std::ptrdiff_t(buffered));
    buffered += bytes.size();
    return true;
}

bool AviRiffWriter::FlushBuffer()
{
    const std::size_t n = buffered;
    buffered = 0;
    return Append(std::span(buffer).first(n));
}

bool AviRiffWriter::WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t at) { return WriteWhole(bytes, at); }

// Every byte or a failure: short writes go on where they stopped, EINTR is
// tried again. At `at`, or at the file's own position without one.
bool AviRiffWriter::WriteWhole(std::span<const std::uint8_t> bytes, std::optional<std::uint64_t> at)
{
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const std::size_t chunk = std::min<std::size_t>(left, 1u << 30);
        const ssize_t n = at ? ::pwrite(fd.Get(), p, chunk, off_t(*at)) : ::write(fd.Get(), p, chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return FailErrno("cannot write", n < 0 ? errno : EIO);
        p += n;
        left -= std::size_t(n);
        if (at)
            *at += std::uint64_t(n);
    }
    return true;
}

}  // namespace exporter
