// AviWriter: its codes and states, and its files read back by ffprobe and
// ffmpeg — XviD pictures in order and the right way up, PCM as written, key
// frames every tenth, failures reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <new>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture_tools.h"
#include "export/avi_writer.h"
#include "support/allocation_counter.h"
#include "support/temp_dir.h"

namespace {

using capture_test::ReadBytes;
using capture_test::Shell;
using exporter::AviWriter;
using exporter::PcmFormat;

constexpr int kW = 640, kH = 480;
constexpr std::size_t kFrameBytes = std::size_t(kW) * kH * 3;
constexpr uint32_t kChunkBytes = 16000;

picture::BmpInfoHeader PictureHeader()
{
    picture::BmpInfoHeader h;
    h.headerSize = picture::kBmpInfoHeaderSize;
    h.width = kW;
    h.height = kH;
    h.planes = 1;
    h.bitsPerPixel = 24;
    h.imageSize = kH * ((24 * kW + 7) / 8);
    return h;
}

const PcmFormat kSound{1, 1, 8000, 0, 0, 16};

// Bottom-up BGR: the buffer's first rows are the picture's lower half, blue;
// the upper half is red with a white block at column (index % 20) * 32.
std::vector<uint8_t> Picture(int index)
{
    std::vector<uint8_t> p(kFrameBytes);
    for (int row = 0; row < kH; ++row) {
        const int screenY = kH - 1 - row;
        for (int x = 0; x < kW; ++x) {
            uint8_t* px = p.data() + (std::size_t(row) * kW + x) * 3;
            const bool marker = screenY >= 64 && screenY < 96 && x / 32 == index % 20;
            const bool lower = screenY >= kH / 2;
            px[0] = marker || lower ? 255 : 0;
            px[1] = marker ? 255 : 0;
            px[2] = marker || !lower ? 255 : 0;
        }
    }
    return p;
}

// Noise: the largest packets the encoder makes.
std::vector<uint8_t> Noise(uint32_t seed)
{
    std::vector<uint8_t> p(kFrameBytes);
    for (auto& b : p)
        b = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    return p;
}

std::vector<uint8_t> Sound(uint32_t second)
{
    std::vector<uint8_t> s(kChunkBytes);
    for (uint32_t i = 0; i < kChunkBytes / 2; ++i) {
        const auto v = uint16_t((second * 8000 + i) * 37);
        s[2 * i] = uint8_t(v);
        s[2 * i + 1] = uint8_t(v >> 8);
    }
    return s;
}

int Open(AviWriter& w, const std::string& path)
{
    const picture::BmpInfoHeader header = PictureHeader();
    return w.OpenFile(path, 3, 6750, kW, kH, &header, &kSound, 1000);
}

// The export's calls: a second of sound before every 30 pictures.
void WriteExport(AviWriter& w, int frames)
{
    for (int i = 0; i < frames; ++i) {
        if (i % 30 == 0) {
            ASSERT_EQ(w.WriteAudioChunk(Sound(uint32_t(i / 30)).data(), kChunkBytes), 0);
        }
        ASSERT_EQ(w.WriteVideoFrame(Picture(i).data()), 0) << w.LastError();
    }
}

std::string Probe(const std::string& path, const std::string& entries)
{
    return Shell("ffprobe -v error " + entries + " -of default=nw=1 '" + path + "'").value_or("ffprobe failed");
}

// Decodes every picture to top-down RGB and checks each one's marker, halves
// and colours: order, orientation and the BGR channel order in one.
void CheckPictures(const std::string& path, int frames)
{
    const auto raw = Shell("ffmpeg -v error -i '" + path + "' -map 0:v -f rawvideo -pix_fmt rgb24 -");
    ASSERT_TRUE(raw);
    ASSERT_EQ(raw->size(), kFrameBytes * frames);
    auto at = [&](int f, int x, int y) {
        return reinterpret_cast<const uint8_t*>(raw->data()) + kFrameBytes * f + (std::size_t(y) * kW + x) * 3;
    };
    auto is = [](const uint8_t* p, int r, int g, int b) {
        return std::abs(p[0] - r) < 40 && std::abs(p[1] - g) < 40 && std::abs(p[2] - b) < 40;
    };
    for (int f = 0; f < frames; ++f) {
        const int marker = (f % 20) * 32 + 16, elsewhere = ((f + 10) % 20) * 32 + 16;
        EXPECT_TRUE(is(at(f, marker, 80), 255, 255, 255)) << "frame " << f << ": marker missing";
        EXPECT_TRUE(is(at(f, elsewhere, 80), 255, 0, 0)) << "frame " << f << ": upper half not red";
        EXPECT_TRUE(is(at(f, elsewhere, 400), 0, 0, 255)) << "frame " << f << ": lower half not blue";
    }
}

TEST(AviWriterTest, CodesAndStates)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("a.avi");
    const picture::BmpInfoHeader header = PictureHeader();
    AviWriter w;
    EXPECT_EQ(w.State(), AviWriter::kStateClosed);
    EXPECT_EQ(w.OpenFile("", 3, 6750, kW, kH, &header, &kSound, 1000), AviWriter::kEmptyPath);
    EXPECT_EQ(w.OpenFile(path, 3, 6750, 0, kH, &header, &kSound, 1000), AviWriter::kBadArguments);
    EXPECT_EQ(w.OpenFile(path, 3, 6750, kW, -1, &header, &kSound, 1000), AviWriter::kBadArguments);
    EXPECT_EQ(w.OpenFile(path, 0, 6750, kW, kH, &header, &kSound, 1000), AviWriter::kBadArguments);
    EXPECT_EQ(w.OpenFile(path, 3, 0, kW, kH, &header, &kSound, 1000), AviWriter::kBadArguments);
    EXPECT_EQ(w.WriteVideoFrame(Picture(0).data()), AviWriter::kNotOpen);
    EXPECT_EQ(w.WriteAudioChunk(Sound(0).data(), kChunkBytes), AviWriter::kNotOpen);
    EXPECT_EQ(w.CloseFile(30), AviWriter::kOk);

    picture::BmpInfoHeader wide = header;
    wide.bitsPerPixel = 32;
    EXPECT_EQ(w.OpenFile(path, 3, 6750, kW, kH, &wide, &kSound, 1000), AviWriter::kVideoFormatRefused);
    picture::BmpInfoHeader other = header;
    other.width = kW / 2;
    EXPECT_EQ(w.OpenFile(path, 3, 6750, kW, kH, &other, &kSound, 1000), AviWriter::kVideoFormatRefused);
    EXPECT_EQ(w.OpenFile(path, 4, 6750, kW, kH, nullptr, &kSound, 1000), AviWriter::kVideoFormatRefused);
    EXPECT_EQ(w.OpenFile(dir.File("no/such/folder.avi"), 3, 6750, kW, kH, &header, &kSound, 1000),
              AviWriter::kFileNotCreated);
    EXPECT_NE(w.LastError().find("no/such/folder.avi"), std::string::npos) << w.LastError();
    EXPECT_EQ(w.WriteVideoFrame(Picture(0).data()), AviWriter::kNotOpen);
    EXPECT_EQ(w.State(), AviWriter::kStateClosed);
    EXPECT_FALSE(std::filesystem::exists(path));

    // Made from the size when no header is given; no sound stream.
    ASSERT_EQ(w.OpenFile(path, 3, 6750, kW, kH, nullptr, nullptr, 0), AviWriter::kOk);
    EXPECT_EQ(w.State(), AviWriter::kStateOpen);
    EXPECT_EQ(w.WriteVideoFrame(nullptr), AviWriter::kNoFrameData);
    EXPECT_EQ(w.WriteAudioChunk(Sound(0).data(), kChunkBytes), AviWriter::kNoAudioStream);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(w.WriteVideoFrame(Picture(i).data()), AviWriter::kOk);
    EXPECT_EQ(w.FramesWritten(), 5u);

    // A second open finishes the first file.
    const std::string second = dir.File("b.avi");
    ASSERT_EQ(Open(w, second), AviWriter::kOk);
    EXPECT_EQ(w.WriteAudioChunk(nullptr, 10), AviWriter::kNoFrameData);
    EXPECT_EQ(Probe(path, "-count_packets -show_entries stream=codec_type,nb_read_packets"),
              "codec_type=video\nnb_read_packets=5\n");
    EXPECT_EQ(w.FramesWritten(), 0u);
    ASSERT_EQ(w.WriteVideoFrame(Picture(0).data()), AviWriter::kOk);
    EXPECT_EQ(w.CloseFile(30), AviWriter::kOk);
    EXPECT_EQ(w.State(), AviWriter::kStateClosed);
    EXPECT_FALSE(w.Failed());
    EXPECT_EQ(w.CloseFile(30), AviWriter::kOk);
}

TEST(AviWriterTest, ExportReadsBackAsXvidWithPcmKeyFramesOrderAndColours)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("export.avi");
    {
        AviWriter w;
        ASSERT_EQ(Open(w, path), AviWriter::kOk) << w.LastError();
        WriteExport(w, 60);
        EXPECT_EQ(w.CloseFile(30), AviWriter::kOk) << w.LastError();
    }
    const auto bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 136u);
    EXPECT_EQ(bytes[132] | bytes[133] << 8 | bytes[134] << 16 | bytes[135] << 24, 3000);

    EXPECT_EQ(Probe(path, "-show_entries format=format_name"), "format_name=avi\n");
    EXPECT_EQ(Probe(path, "-select_streams v -show_entries "
                          "stream=codec_name,codec_tag_string,width,height,r_frame_rate,nb_frames"),
              "codec_name=mpeg4\ncodec_tag_string=XVID\nwidth=640\nheight=480\nr_frame_rate=30/1\nnb_frames=60\n");
    // The sound's length in samples, as ffmpeg's own AVI muxer writes it.
    EXPECT_EQ(Probe(path, "-select_streams a -show_entries stream=codec_name,sample_rate,channels,nb_frames"),
              "codec_name=pcm_s16le\nsample_rate=8000\nchannels=1\nnb_frames=16000\n");
    // Decodes without a complaint.
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + path + "' -f null - 2>&1"), std::optional<std::string>(""));

    // Key frames: the encoder's, every tenth picture.
    const auto flags =
        Shell("ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 '" + path + "'");
    ASSERT_TRUE(flags);
    std::string expected;
    for (int i = 0; i < 60; ++i)
        expected += i % 10 == 0 ? 'K' : '_';
    std::string keys;
    for (std::size_t at = 0; at < flags->size(); at = flags->find('\n', at) + 1)
        keys += (*flags)[at];
    EXPECT_EQ(keys, expected);

    const auto pcm = Shell("ffmpeg -v error -i '" + path + "' -map 0:a -f s16le -c:a pcm_s16le -");
    ASSERT_TRUE(pcm);
    auto written = Sound(0);
    const auto second = Sound(1);
    written.insert(written.end(), second.begin(), second.end());
    EXPECT_TRUE(*pcm == std::string(written.begin(), written.end())) << "sound differs, " << pcm->size() << " bytes";

    CheckPictures(path, 60);
}

TEST(AviWriterTest, OpenDmlPiecesOfARealExportDecodeWhole)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("odml.avi");
    AviWriter w;
    w.SetRiffLimits({40000, 64});
    ASSERT_EQ(Open(w, path), AviWriter::kOk);
    WriteExport(w, 90);
    ASSERT_EQ(w.CloseFile(30), AviWriter::kOk) << w.LastError();
    const auto d = ReadBytes(path);
    const std::string avix = "AVIX";
    int pieces = 0;
    for (auto at = d.begin(); (at = std::search(at, d.end(), avix.begin(), avix.end())) != d.end(); ++at)
        ++pieces;
    EXPECT_GE(pieces, 2);
    EXPECT_EQ(Probe(path, "-count_packets -select_streams v -show_entries stream=nb_read_packets,nb_frames"),
              "nb_frames=90\nnb_read_packets=90\n");
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + path + "' -f null - 2>&1"), std::optional<std::string>(""));
    CheckPictures(path, 90);
}

TEST(AviWriterTest, SameCallsGiveSameBytes)
{
    testing_support::TempDir dir;
    for (const char* name : {"1.avi", "2.avi"}) {
        AviWriter w;
        ASSERT_EQ(Open(w, dir.File(name)), AviWriter::kOk);
        WriteExport(w, 35);
        ASSERT_EQ(w.CloseFile(30), AviWriter::kOk);
    }
    const auto a = ReadBytes(dir.File("1.avi")), b = ReadBytes(dir.File("2.avi"));
    EXPECT_GT(a.size(), 10000u);
    EXPECT_TRUE(a == b);
}

TEST(AviWriterTest, NoPictureLeavesNoFile)
{
    testing_support::TempDir dir;
    const std::string path = dir.File("none.avi");
    AviWriter w;
    ASSERT_EQ(Open(w, path), AviWriter::kOk);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(w.CloseFile(30), AviWriter::kOk);
    EXPECT_FALSE(std::filesystem::exists(path));

    ASSERT_EQ(Open(w, path), AviWriter::kOk);
    ASSERT_EQ(w.WriteAudioChunk(Sound(0).data(), kChunkBytes), AviWriter::kOk);
    EXPECT_EQ(w.CloseFile(30), AviWriter::kOk);
    EXPECT_FALSE(std::filesystem::exists(path)) << "sound alone is no export";

    {
        AviWriter dropped;
        ASSERT_EQ(Open(dropped, path), AviWriter::kOk);
    }
    EXPECT_FALSE(std::filesystem::exists(path)) << "destroyed while open";

    // A refused open touches nothing: an earlier file at the path stays.
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fputs("earlier", f);
        std::fclose(f);
    }
    EXPECT_EQ(w.OpenFile(path, 4, 6750, kW, kH, nullptr, &kSound, 1000), AviWriter::kVideoFormatRefused);
    EXPECT_EQ(std::filesystem::file_size(path), 7u);
}

TEST(AviWriterTest, FullDiskAndVanishedFolderAreReported)
{
    testing_support::TempDir dir;
    AviWriter w;
    // /dev/full: the headers cannot be written. As root the writer could
    // unlink it; it must not.
    EXPECT_EQ(Open(w, "/dev/full"), AviWriter::kFileNotCreated);
    EXPECT_TRUE(w.Failed());
    EXPECT_NE(w.LastError().find("No space left on device"), std::string::npos) << w.LastError();
    struct stat st {};
    EXPECT_TRUE(::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));

    // The disk fills up during the export: a file size limit does it here.
    const std::string path = dir.File("full.avi");
    ASSERT_EQ(Open(w, path), AviWriter::kOk);
    EXPECT_FALSE(w.Failed());
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 400000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int accepted = 0, result = 0;
    while (accepted < 100 && (result = w.WriteVideoFrame(Noise(uint32_t(accepted)).data())) == AviWriter::kOk)
        ++accepted;
    const int again = w.WriteVideoFrame(Picture(0).data());
    const int sound = w.WriteAudioChunk(Sound(0).data(), kChunkBytes);
    const int closed = w.CloseFile(30);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_GT(accepted, 0);
    EXPECT_EQ(result, AviWriter::kWriteFailed);
    EXPECT_EQ(again, AviWriter::kWriteFailed) << "the failure is sticky";
    EXPECT_EQ(sound, AviWriter::kWriteFailed);
    EXPECT_EQ(closed, AviWriter::kNotFinished);
    EXPECT_TRUE(w.Failed());
    EXPECT_NE(w.LastError().find("cannot write " + path + ": File too large"), std::string::npos) << w.LastError();
    // Finished as far as it could be: the pictures before the failure play.
    EXPECT_EQ(Probe(path, "-count_packets -select_streams v -show_entries stream=nb_read_packets"),
              "nb_read_packets=" + std::to_string(accepted) + "\n");

    // The output folder goes away while the export runs.
    std::filesystem::create_directory(dir.Path() / "out");
    const std::string gone = dir.File("out/gone.avi");
    ASSERT_EQ(Open(w, gone), AviWriter::kOk);
    EXPECT_FALSE(w.Failed()) << "a new open starts afresh";
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(w.WriteVideoFrame(Picture(i).data()), AviWriter::kOk);
    std::filesystem::remove_all(dir.Path() / "out");
    int failedAt = -1;
    for (int i = 0; i < 100 && failedAt < 0; ++i)
        if (w.WriteVideoFrame(Picture(i).data()) != AviWriter::kOk)
            failedAt = i;
    EXPECT_GE(failedAt, 0) << "noticed while writing";
    EXPECT_EQ(w.CloseFile(30), AviWriter::kNotFinished);
    EXPECT_NE(w.LastError().find("deleted"), std::string::npos) << w.LastError();
}

// A FIFO blocks where a file would not: in open() until a reader comes, in
// write() while nobody reads. That holds the writer in states 2 and 5.
bool WaitForState(const AviWriter& w, int state)
{
    for (int i = 0; i < 1000; ++i) {
        if (w.State() == state)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST(AviWriterTest, CallsWhileOpeningAreRefused)
{
    testing_support::TempDir dir;
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    AviWriter w;
    auto opening = std::async(std::launch::async, [&] { return Open(w, fifo); });
    ASSERT_TRUE(WaitForState(w, AviWriter::kStateOpening));
    EXPECT_EQ(Open(w, dir.File("other.avi")), AviWriter::kOpening);
    EXPECT_EQ(w.WriteVideoFrame(Picture(0).data()), AviWriter::kOpening);
    EXPECT_EQ(w.CloseFile(30), AviWriter::kOpening);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(opening.get(), AviWriter::kOk);
    EXPECT_EQ(w.CloseFile(30), AviWriter::kOk);
    ::close(reader);
    EXPECT_FALSE(std::filesystem::exists(dir.File("other.avi")));
    EXPECT_TRUE(std::filesystem::exists(fifo)) << "not a file of ours to delete";
}

TEST(AviWriterTest, CloseWaitsForAFrameWriteOnAnotherThread)
{
    testing_support::TempDir dir;
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    AviWriter w;
    ASSERT_EQ(Open(w, fifo), AviWriter::kOk);
    const auto noise = Noise(1);
    auto writing = std::async(std::launch::async, [&] { return w.WriteVideoFrame(noise.data()); });
    ASSERT_TRUE(WaitForState(w, AviWriter::kStateWriting));
    EXPECT_EQ(w.WriteVideoFrame(noise.data()), AviWriter::kWriteInProgress);
    EXPECT_EQ(w.WriteAudioChunk(Sound(0).data(), kChunkBytes), AviWriter::kWriteInProgress);
    auto closing = std::async(std::launch::async, [&] { return w.CloseFile(30); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(closing.wait_for(std::chrono::seconds(0)), std::future_status::timeout) << "the close did not wait";
    auto draining = std::async(std::launch::async, [&] {
        ::fcntl(reader, F_SETFL, 0);
        std::vector<char> sink(1 << 16);
        std::size_t total = 0;
        for (ssize_t n; (n = ::read(reader, sink.data(), sink.size())) > 0;)
            total += std::size_t(n);
        return total;
    });
    EXPECT_EQ(writing.get(), AviWriter::kOk);
    // The close ran after the write; a pipe takes no header patch, so the
    // file could not be finished, and says so.
    EXPECT_EQ(closing.get(), AviWriter::kNotFinished);
    EXPECT_NE(w.LastError().find("Illegal seek"), std::string::npos) << w.LastError();
    EXPECT_GT(draining.get(), 100000u);
    ::close(reader);
}

TEST(AviWriterTest, PicturesAndSoundNeedNoAllocationOfOurOwn)
{
    testing_support::TempDir dir;
    AviWriter w;
    ASSERT_EQ(Open(w, dir.File("alloc.avi")), AviWriter::kOk);
    std::vector<std::vector<uint8_t>> pictures;
    for (int i = 0; i < 20; ++i)
        pictures.push_back(Picture(i));
    const auto sound = Sound(0);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(w.WriteVideoFrame(pictures[i].data()), AviWriter::kOk);
    const long before = testing_support::allocations.load();
    for (int i = 0; i < 60; ++i) {
        if (i % 30 == 0)
            w.WriteAudioChunk(sound.data(), kChunkBytes);
        w.WriteVideoFrame(pictures[i % 20].data());
    }
    EXPECT_EQ(testing_support::allocations.load() - before, 0);
    EXPECT_EQ(w.CloseFile(30), AviWriter::kOk);
}

}  // namespace
