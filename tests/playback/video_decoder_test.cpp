#include "mpeg4_test_stream.h"
#include "platform/shared_library.h"
#include "playback/video_decoder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using playback::VideoDecoder;

struct FakeCall {
    char kind;
    int32_t args[4];
    uint8_t head[16];
};
using teststream::CameraStream;

namespace {

const std::string kLibrary = std::string(QUILLON_BIN_DIR) + "/libquillon_decode.so";

struct Format {
    int width, height, frameRate;
};
// The recorder's four picture formats.
constexpr Format kFormats[] = {{352, 240, 30}, {720, 240, 15}, {352, 288, 25}, {720, 288, 12}};

std::vector<uint8_t> PictureBuffer() { return std::vector<uint8_t>(VideoDecoder::kPictureBytes, 0); }

CameraStream Encode(int camera, int width, int height, int frames, int gop)
{
    CameraStream s;
    EXPECT_TRUE(teststream::EncodeCamera(camera, width, height, frames, gop, s));
    EXPECT_EQ(s.header.size(), 29u) << "VOL of unexpected length";
    return s;
}

// ffmpeg's own decoding of the camera's elementary stream into raw pictures
// (the options choose their format); empty when ffmpeg failed.
std::vector<uint8_t> FfmpegPictures(const CameraStream& cam, const std::string& options)
{
    testing_support::TempDir dir;
    const std::string stream = dir.File("camera.m4v");
    const std::string raw = dir.File("camera.raw");
    {
        std::ofstream out(stream, std::ios::binary);
        out.write(reinterpret_cast<const char*>(cam.header.data()), std::streamsize(cam.header.size()));
        for (const auto& f : cam.frames)
            out.write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
    }
    const std::string cmd = "ffmpeg -nostdin -loglevel error -threads 1 -f m4v -i '" + stream + "' " + options +
                            " -f rawvideo -y '" + raw + "'";
    if (std::system(cmd.c_str()) != 0)
        return {};
    std::ifstream in(raw, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

// Four cameras interleaved frame by frame on channels 0..3, as the playback
// loop feeds them: every picture shows its own camera and frame.
TEST(VideoDecoder, DecodesInterleavedCamerasInEveryFormat)
{
    VideoDecoder decoder(kLibrary);
    ASSERT_TRUE(decoder.IsLoaded());
    for (const Format& f : kFormats) {
        SCOPED_TRACE(std::to_string(f.width) + "x" + std::to_string(f.height));
        std::vector<CameraStream> cams;
        for (int c = 0; c < 4; ++c)
            cams.push_back(Encode(c, f.width, f.height, f.frameRate + 3, f.frameRate));
        auto picture = PictureBuffer();
        for (int i = 0; i < f.frameRate + 3; ++i)
            for (int c = 0; c < 4; ++c) {
                const auto& frame = cams[c].frames[i];
                ASSERT_NE(decoder.DecodeFrame(c, frame, picture, f.width, f.height, cams[c].header), 0)
                    << "camera " << c << " frame " << i;
                EXPECT_EQ(teststream::ReadCamera(picture, f.width, f.height), c);
                EXPECT_EQ(teststream::ReadFrameCode(picture, f.width, f.height), i);
            }
    }
}

// The planar pictures are the YUY2 pictures' own bytes: each luma byte, and
// each chroma pair shared by the two rows it serves, in every format; a
// buffer too small for the padded layout is refused and left alone.
TEST(VideoDecoder, PlanarPicturesHoldTheYuy2PicturesBytes)
{
    VideoDecoder decoder(kLibrary);
    ASSERT_TRUE(decoder.DecodesPlanar());
    for (const Format& f : kFormats) {
        SCOPED_TRACE(std::to_string(f.width) + "x" + std::to_string(f.height));
        const platform::decodeapi::PlanarLayout l = platform::decodeapi::PlanarPicture(f.width, f.height);
        ASSERT_GT(l.bytes, 0u);
        ASSERT_LE(l.bytes, VideoDecoder::kPictureBytes);
        const CameraStream cam = Encode(1, f.width, f.height, 8, 4);
        auto packed = PictureBuffer();
        auto planar = PictureBuffer();
        for (int i = 0; i < 8; ++i) {
            // The same stream on two channels, one decoded each way.
            ASSERT_NE(decoder.DecodeFrame(0, cam.frames[i], packed, f.width, f.height, cam.header), 0);
            ASSERT_NE(decoder.DecodePlanar(1, cam.frames[i], planar, f.width, f.height, cam.header), 0);
            int differ = 0;
            for (int y = 0; y < f.height; ++y)
                for (int x = 0; x < f.width; ++x) {
                    const uint8_t* pair = &packed[(std::size_t(y) * f.width + (x & ~1)) * 2];
                    differ += planar[std::size_t(y) * l.lumaStride + x] != pair[(x & 1) * 2];
                    if (x % 2 == 0) {
                        const std::size_t c = std::size_t(y / 2) * l.chromaStride + x / 2;
                        differ += planar[l.blueOffset + c] != pair[1];
                        differ += planar[l.redOffset + c] != pair[3];
                    }
                }
            ASSERT_EQ(differ, 0) << "frame " << i;
        }
        std::vector<uint8_t> small(l.bytes - 1, 0x5A);
        EXPECT_EQ(decoder.DecodePlanar(1, cam.frames[0], small, f.width, f.height, cam.header), 0);
        EXPECT_TRUE(std::all_of(small.begin(), small.end(), [](uint8_t b) { return b == 0x5A; }));
        decoder.ReleaseChannel(0);
        decoder.ReleaseChannel(1);
    }
    auto picture = PictureBuffer();
    EXPECT_EQ(decoder.DecodePlanar(0, Encode(0, 352, 240, 1, 1).frames[0], picture, 1440, 1152, {}), 0);
}

// What reaches the library, call by call: Init with the channel's format and
// size, the header in front of the first frame after each Init only, Release
// before a re-Init and on ReleaseChannel of an open channel.
TEST(VideoDecoder, HeaderGoesOnlyWithTheFirstFrameAfterInit)
{
    VideoDecoder decoder(FAKE_DECODE_LIBRARY);
    ASSERT_TRUE(decoder.IsLoaded());
    EXPECT_FALSE(decoder.DecodesPlanar());  // a library with Decode alone
    platform::SharedLibrary fake;
    ASSERT_TRUE(fake.Open(FAKE_DECODE_LIBRARY));  // the same loaded copy
    using CallsFn = const FakeCall* (*)(int32_t*);
    const auto callsFn = reinterpret_cast<CallsFn>(fake.Symbol("FakeCalls"));
    ASSERT_NE(callsFn, nullptr);
    auto calls = [&] {
        int32_t n = 0;
        const FakeCall* p = callsFn(&n);
        return std::vector<FakeCall>(p, p + n);
    };

    std::vector<uint8_t> header(29);
    for (int i = 0; i < 29; ++i)
        header[i] = static_cast<uint8_t>(0xC0 + i);
    const std::vector<uint8_t> frame = {0x00, 0x00, 0x01, 0xB6, 0x11, 0x22};
    auto picture = PictureBuffer();

    EXPECT_EQ(decoder.SetFormat(2, 1), 1);
    EXPECT_EQ(decoder.DecodeFrame(2, frame, picture, 352, 240, header), 7);
    EXPECT_EQ(decoder.DecodeFrame(2, frame, picture, 352, 240, header), 7);
    decoder.DecodeFrame(2, frame, picture, 720, 288, header);
    decoder.ReleaseChannel(2);
    decoder.ReleaseChannel(2);  // closed: not passed on
    decoder.DecodeFrame(2, frame, picture, 720, 288, {});

    const auto log = calls();
    ASSERT_EQ(log.size(), 9u);
    auto expectDecode = [&](const FakeCall& c, bool withHeader) {
        EXPECT_EQ(c.kind, 'D');
        EXPECT_EQ(c.args[3], 2);
        EXPECT_EQ(c.args[2], int32_t(frame.size() + (withHeader ? 29 : 0)));
        EXPECT_EQ(c.head[0], withHeader ? 0xC0 : 0x00);
        if (withHeader) {
            EXPECT_EQ(0, std::memcmp(c.head, header.data(), 16));
        }
    };
    EXPECT_EQ(log[0].kind, 'I');
    EXPECT_EQ((std::vector<int32_t>(log[0].args, log[0].args + 4)), (std::vector<int32_t>{1, 352, 240, 2}));
    expectDecode(log[1], true);
    expectDecode(log[2], false);
    EXPECT_EQ(log[3].kind, 'R');
    EXPECT_EQ(log[4].kind, 'I');
    EXPECT_EQ(log[4].args[1], 720);
    expectDecode(log[5], true);
    EXPECT_EQ(log[6].kind, 'R');
    EXPECT_EQ(log[7].kind, 'I');
    expectDecode(log[8], false);
    EXPECT_EQ(picture[0], 0xAB);
    // The caller's frame is not written into.
    EXPECT_EQ(frame, (std::vector<uint8_t>{0x00, 0x00, 0x01, 0xB6, 0x11, 0x22}));
}

// A new picture size re-initialises the channel and sends the header again;
// so does a released channel.
TEST(VideoDecoder, SizeChangeAndReleaseStartTheChannelAgain)
{
    VideoDecoder decoder(kLibrary);
    const CameraStream small = Encode(2, 352, 240, 2, 30);
    const CameraStream large = Encode(3, 720, 288, 2, 12);
    auto picture = PictureBuffer();
    ASSERT_NE(decoder.DecodeFrame(0, small.frames[0], picture, 352, 240, small.header), 0);
    ASSERT_NE(decoder.DecodeFrame(0, large.frames[0], picture, 720, 288, large.header), 0);
    EXPECT_EQ(teststream::ReadCamera(picture, 720, 288), 3);
    EXPECT_EQ(teststream::ReadFrameCode(picture, 720, 288), 0);

    decoder.ReleaseChannel(0);
    ASSERT_NE(decoder.DecodeFrame(0, small.frames[0], picture, 352, 240, small.header), 0);
    EXPECT_EQ(teststream::ReadCamera(picture, 352, 240), 2);
}

// What the library can't be told (the picture buffer's size) is checked by
// the wrapper; a refused first frame leaves the header for the next one.
TEST(VideoDecoder, RefusesWhatWouldNotFit)
{
    VideoDecoder decoder(kLibrary);
    const CameraStream cam = Encode(0, 720, 288, 1, 12);
    std::vector<uint8_t> small(720 * 288 * 2 - 1, 0x5A);
    EXPECT_EQ(decoder.DecodeFrame(0, cam.frames[0], small, 720, 288, cam.header), 0);
    EXPECT_EQ(small.front(), 0x5A);

    auto picture = PictureBuffer();
    EXPECT_EQ(decoder.DecodeFrame(0, cam.frames[0], picture, 1440, 1152, cam.header), 0);
    EXPECT_EQ(decoder.DecodeFrame(64, cam.frames[0], picture, 720, 288, cam.header), 0);
    EXPECT_EQ(decoder.DecodeFrame(-1, cam.frames[0], picture, 720, 288, cam.header), 0);
    EXPECT_EQ(decoder.SetFormat(64, 1), 0);

    std::vector<uint8_t> huge(platform::decodeapi::kMaxInputBytes, 0);
    EXPECT_EQ(decoder.DecodeFrame(0, huge, picture, 720, 288, cam.header), 0);
    EXPECT_NE(decoder.DecodeFrame(0, cam.frames[0], picture, 720, 288, cam.header), 0);
}

TEST(VideoDecoder, MissingLibraryOrEntryPointDecodesNothing)
{
    const CameraStream cam = Encode(0, 352, 240, 1, 30);
    auto picture = PictureBuffer();
    for (const char* path : {"/nonexistent/libquillon_decode.so", "libm.so.6"}) {
        testing::internal::CaptureStderr();
        VideoDecoder decoder(path);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(decoder.IsLoaded());
        EXPECT_NE(said.find("no video decoding"), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_EQ(decoder.SetFormat(0, 1), 1);
        EXPECT_EQ(decoder.DecodeFrame(0, cam.frames[0], picture, 352, 240, cam.header), 0);
        EXPECT_FALSE(decoder.DecodesPlanar());
        EXPECT_EQ(decoder.DecodePlanar(0, cam.frames[0], picture, 352, 240, cam.header), 0);
        decoder.ReleaseChannel(0);
    }
}

// The timer thread, the window's thread and an export worker decode through
// the one decoder at the same time, each on its own channel.
TEST(VideoDecoder, ConcurrentCallersOnSeparateChannels)
{
    VideoDecoder decoder(kLibrary);
    std::vector<CameraStream> cams;
    for (int c = 0; c < 4; ++c)
        cams.push_back(Encode(c, 352, 288, 12, 6));
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int c = 0; c < 4; ++c)
        threads.emplace_back([&, c] {
            auto picture = PictureBuffer();
            for (int i = 0; i < 12; ++i)
                if (decoder.DecodeFrame(c, cams[c].frames[i], picture, 352, 288, cams[c].header) == 0 ||
                    teststream::ReadCamera(picture, 352, 288) != c || teststream::ReadFrameCode(picture, 352, 288) != i)
                    ++wrong[c];
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

// Frames from a damaged disk: cut short, bytes flipped, or a stream whose own
// size is larger than the record says. The library writes nothing past the
// record's picture and never fails worse than "no picture".
TEST(VideoDecoder, DamagedFramesStayInsideThePicture)
{
    VideoDecoder decoder(kLibrary);
    const CameraStream cam = Encode(1, 352, 240, 6, 3);
    const CameraStream large = Encode(2, 720, 288, 2, 12);
    for (const bool planar : {false, true}) {
        SCOPED_TRACE(planar ? "planar" : "YUY2");
        const std::size_t pictureBytes = planar ? platform::decodeapi::PlanarPicture(352, 240).bytes : 352 * 240 * 2;
        std::vector<uint8_t> buffer(VideoDecoder::kPictureBytes, 0xEE);
        const std::span<uint8_t> picture(buffer);
        auto canaryIntact = [&] {
            return std::all_of(buffer.begin() + std::ptrdiff_t(pictureBytes), buffer.end(),
                               [](uint8_t b) { return b == 0xEE; });
        };
        auto decode = [&](std::span<const uint8_t> frame, std::span<const uint8_t> header) {
            return planar ? decoder.DecodePlanar(0, frame, picture, 352, 240, header)
                          : decoder.DecodeFrame(0, frame, picture, 352, 240, header);
        };
        uint32_t seed = 12345;
        auto next = [&] { return seed = seed * 1103515245u + 12345u; };
        for (int round = 0; round < 60; ++round) {
            decoder.ReleaseChannel(0);
            for (std::size_t i = 0; i < cam.frames.size(); ++i) {
                std::vector<uint8_t> frame = cam.frames[i];
                if (round % 2)
                    frame.resize(1 + next() % frame.size());
                for (int flips = round % 5; flips > 0; --flips)
                    frame[next() % frame.size()] ^= static_cast<uint8_t>(1 + next() % 255);
                const int result = decode(frame, cam.header);
                EXPECT_TRUE(result == 0 || result == 1);
            }
            ASSERT_TRUE(canaryIntact()) << "round " << round;
        }

        // A stream of 720 x 288 pictures on a channel told 352 x 240.
        decoder.ReleaseChannel(0);
        EXPECT_EQ(decode(large.frames[0], large.header), 0);
        EXPECT_EQ(decode(large.frames[1], large.header), 0);
        EXPECT_TRUE(canaryIntact());
    }
}

// Our pictures against ffmpeg's own decoding of the same elementary stream
// into YUY2: byte for byte, frame after frame. Each 4:2:0 chroma line serves
// two picture lines as it is (ffmpeg's "neighbor" conversion), rather than
// being interpolated.
TEST(VideoDecoder, MatchesFfmpegByteForByte)
{
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg not installed";
    const int w = 352, h = 288, frames = 12;
    const CameraStream cam = Encode(3, w, h, frames, 5);
    const std::vector<uint8_t> reference = FfmpegPictures(cam, "-sws_flags neighbor -pix_fmt yuyv422");
    const std::size_t pictureBytes = std::size_t(w) * h * 2;
    ASSERT_EQ(reference.size(), pictureBytes * frames);

    VideoDecoder decoder(kLibrary);
    auto picture = PictureBuffer();
    for (int i = 0; i < frames; ++i) {
        ASSERT_NE(decoder.DecodeFrame(0, cam.frames[i], picture, w, h, cam.header), 0);
        int lumaDiffers = 0;
        int chromaDiffers = 0;
        for (std::size_t k = 0; k < pictureBytes; ++k)
            if (picture[k] != reference[i * pictureBytes + k])
                ++(k % 2 == 0 ? lumaDiffers : chromaDiffers);
        ASSERT_EQ(lumaDiffers + chromaDiffers, 0)
            << "frame " << i << ": " << lumaDiffers << " luma and " << chromaDiffers << " chroma bytes differ";
    }
}

// The planar pictures against ffmpeg's own 4:2:0 output of the same stream.
TEST(VideoDecoder, PlanarMatchesFfmpegByteForByte)
{
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg not installed";
    const int w = 720, h = 240, frames = 10;
    const CameraStream cam = Encode(2, w, h, frames, 4);
    const std::vector<uint8_t> reference = FfmpegPictures(cam, "-pix_fmt yuv420p");
    const std::size_t pictureBytes = std::size_t(w) * h * 3 / 2;
    ASSERT_EQ(reference.size(), pictureBytes * frames);

    const platform::decodeapi::PlanarLayout l = platform::decodeapi::PlanarPicture(w, h);
    VideoDecoder decoder(kLibrary);
    auto picture = PictureBuffer();
    for (int i = 0; i < frames; ++i) {
        ASSERT_NE(decoder.DecodePlanar(0, cam.frames[i], picture, w, h, cam.header), 0);
        const uint8_t* ref = &reference[i * pictureBytes];
        int differ = 0;
        for (int y = 0; y < h; ++y)
            differ += std::memcmp(&picture[std::size_t(y) * l.lumaStride], ref + std::size_t(y) * w, w) != 0;
        for (const std::size_t offset : {l.blueOffset, l.redOffset}) {
            ref += offset == l.blueOffset ? std::size_t(w) * h : std::size_t(w / 2) * (h / 2);
            for (int y = 0; y < h / 2; ++y)
                differ += std::memcmp(&picture[offset + std::size_t(y) * l.chromaStride],
                                      ref + std::size_t(y) * (w / 2), w / 2) != 0;
        }
        ASSERT_EQ(differ, 0) << "frame " << i << ": rows differ";
    }
}
