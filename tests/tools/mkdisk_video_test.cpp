// The video streams: what a reader captures as stream header decodes with the
// VOP, whole camera streams decode with libavcodec and with ffmpeg, and every
// picture still shows its camera's colour and frame code after compression.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "mkdisk_support.h"
#include "platform/av_handles.h"
#include "support/succeeded.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/frame_code.h"
#include "tools/mkdisk/picture.h"
#include "tools/mkdisk/record_video.h"

using namespace mkdisk;
using mkdisk_test::TempPath;

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y, u, v;  // tightly packed planes
};

class Decoder {
public:
    Decoder()
    {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
        ctx_.reset(avcodec_alloc_context3(codec));
        ctx_->thread_count = 1;
        ok_ = ctx_ && avcodec_open2(ctx_.get(), codec, nullptr) == 0;
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
    }
    bool ok() const { return ok_; }

    // Sends one packet (nullptr flushes) and collects what comes out.
    void Feed(const std::vector<uint8_t>* bytes, std::vector<Picture>& out)
    {
        if (bytes) {
            av_new_packet(packet_.get(), static_cast<int>(bytes->size()));
            std::copy(bytes->begin(), bytes->end(), packet_->data);
            avcodec_send_packet(ctx_.get(), packet_.get());
            av_packet_unref(packet_.get());
        } else {
            avcodec_send_packet(ctx_.get(), nullptr);
        }
        while (avcodec_receive_frame(ctx_.get(), frame_.get()) == 0) {
            Picture p;
            p.width = frame_->width;
            p.height = frame_->height;
            auto plane = [&](int i, int w, int h, std::vector<uint8_t>& dst) {
                for (int r = 0; r < h; ++r)
                    dst.insert(dst.end(), frame_->data[i] + r * frame_->linesize[i],
                               frame_->data[i] + r * frame_->linesize[i] + w);
            };
            plane(0, p.width, p.height, p.y);
            plane(1, p.width / 2, p.height / 2, p.u);
            plane(2, p.width / 2, p.height / 2, p.v);
            out.push_back(std::move(p));
            av_frame_unref(frame_.get());
        }
    }

private:
    platform::av::CodecContextPtr ctx_;
    platform::av::FramePtr frame_;
    platform::av::PacketPtr packet_;
    bool ok_ = false;
};

// Mean chroma over the upper middle of the picture, away from text and code.
std::pair<int, int> MeanChroma(const Picture& p)
{
    long su = 0, sv = 0, n = 0;
    const int cw = p.width / 2;
    for (int y = p.height / 2 * 3 / 5; y < p.height / 2 * 7 / 10; ++y)
        for (int x = cw * 3 / 4; x < cw * 9 / 10; ++x, ++n) {
            su += p.u[size_t(y) * size_t(cw) + size_t(x)];
            sv += p.v[size_t(y) * size_t(cw) + size_t(x)];
        }
    return {int(su / n), int(sv / n)};
}

using Disk = mkdisk_test::Written;

Disk WriteOne(PictureFormat format, uint32_t seconds, uint8_t video = 0x0F)
{
    DiskPlan plan;
    RecordPlan r;
    r.format = format;
    r.seconds = seconds;
    r.videoCameras = video;
    plan.records = {r};
    return mkdisk_test::Write(plan);
}

bool HaveTool(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Capture(const std::string& command) { return mkdisk_test::Capture(command).out; }

}  // namespace

class MkdiskFormats : public ::testing::TestWithParam<PictureFormat> {};

// A reader builds B0 03 B5 09 + the 19 bytes 27..9 before the first VOP, then
// hands the VOP to the decoder: that must give the camera's first picture.
TEST_P(MkdiskFormats, CapturedStreamHeaderPlusVopDecodes)
{
    const Disk d = WriteOne(GetParam(), 1);
    const ManifestRecord& rec = d.manifest.records[0];
    ASSERT_EQ(kVoVolBytes, rec.voVol.size());
    for (int camera = 0; camera < 4; ++camera) {
        const ManifestFrame& f = rec.frames[size_t(camera)];
        ASSERT_TRUE(f.intra);
        const uint8_t* seg = mkdisk_test::SegmentBytes(d.image, rec, f.segment);
        std::vector<uint8_t> stream = {0x00, 0x00, 0x01, 0xB0, 0x03, 0x00, 0x00, 0x01, 0xB5, 0x09};
        stream.insert(stream.end(), seg + f.offset - 27, seg + f.offset - 8);
        EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 0x00, 0, 0, 1, 0x20}),
                  std::vector<uint8_t>(stream.begin() + 10, stream.begin() + 18));
        const auto vop = mkdisk_test::FrameBytes(d.image, rec, f);
        stream.insert(stream.end(), vop.begin(), vop.end());
        Decoder dec;
        ASSERT_TRUE(dec.ok());
        std::vector<Picture> pics;
        dec.Feed(&stream, pics);
        dec.Feed(nullptr, pics);
        ASSERT_EQ(1u, pics.size()) << "camera " << camera;
        EXPECT_EQ(rec.width, pics[0].width);
        EXPECT_EQ(rec.height, pics[0].height);
        const auto code = DecodeFrameCodeLuma(pics[0].y.data(), pics[0].width, pics[0].height, size_t(pics[0].width));
        ASSERT_TRUE(code.has_value()) << "camera " << camera;
        EXPECT_EQ((FrameCode{camera, 0, 0}), *code);
        const auto [u, v] = MeanChroma(pics[0]);
        const Yuv want = CameraYuv(camera);
        EXPECT_NEAR(want.u, u, 6) << "camera " << camera;
        EXPECT_NEAR(want.v, v, 6) << "camera " << camera;
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, MkdiskFormats,
                         ::testing::Values(PictureFormat::k352x240, PictureFormat::k720x240, PictureFormat::k352x288,
                                           PictureFormat::k720x288));

TEST(MkdiskVideo, EveryPictureOfACameraKeepsItsFrameCode)
{
    DiskPlan plan;
    RecordPlan r;
    r.seconds = 3;
    r.straddles = {{0, 0}, {1, 3}};
    plan.records = {r};
    TempPath path(".img");
    Manifest m;
    ASSERT_TRUE(testing_support::Succeeded(WriteDisk(plan, path.str(), &m)));
    const auto image = mkdisk_test::ReadBytes(path.str());
    const ManifestRecord& rec = m.records[0];
    for (int camera = 0; camera < 4; ++camera) {
        Decoder dec;
        std::vector<Picture> pics;
        for (const auto& p : mkdisk_test::CameraPackets(image, rec, camera))
            dec.Feed(&p, pics);
        dec.Feed(nullptr, pics);
        ASSERT_EQ(90u, pics.size());
        for (size_t i = 0; i < pics.size(); ++i) {
            const auto code =
                DecodeFrameCodeLuma(pics[i].y.data(), pics[i].width, pics[i].height, size_t(pics[i].width));
            ASSERT_TRUE(code.has_value()) << camera << " " << i;
            EXPECT_EQ((FrameCode{camera, uint32_t(i / 30), int(i % 30)}), *code);
        }
    }
}

TEST(MkdiskVideo, InBandHeaderEqualsTheEncodersGlobalHeader)
{
    // Cameras without video borrow the global header; it must match what the
    // encoders write in band, or a reader's captured header would differ by camera.
    const Disk d = WriteOne(PictureFormat::k352x288, 2, 0x05);
    const ManifestRecord& rec = d.manifest.records[0];
    for (const auto& f : rec.frames) {
        if (!f.intra)
            continue;
        const uint8_t* seg = mkdisk_test::SegmentBytes(d.image, rec, f.segment);
        EXPECT_TRUE(std::equal(rec.voVol.begin(), rec.voVol.end(), seg + f.headerOffset));
    }
    // The empty cameras' VOPs are tiny and code no picture.
    for (const auto& f : rec.frames)
        if (!f.video) {
            EXPECT_LE(f.length, kTinyVopMaxBytes);
            EXPECT_EQ(f.intra, f.frame == 0);
        }
}

TEST(MkdiskVideo, FfmpegDecodesACameraStream)
{
    if (!HaveTool("ffprobe") || !HaveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg not installed";
    DiskPlan plan;
    RecordPlan r;
    r.format = PictureFormat::k720x240;
    r.seconds = 2;
    r.straddles = {{0, 1}};
    plan.records = {r};
    TempPath img(".img");
    TempPath es(".m4v");
    Manifest m;
    ASSERT_TRUE(testing_support::Succeeded(WriteDisk(plan, img.str(), &m)));
    const auto image = mkdisk_test::ReadBytes(img.str());
    {
        std::ofstream out(es.str(), std::ios::binary);
        for (const auto& p : mkdisk_test::CameraPackets(image, m.records[0], 2))
            out.write(reinterpret_cast<const char*>(p.data()), std::streamsize(p.size()));
    }
    const std::string probe = Capture("ffprobe -v error -f m4v -count_frames -select_streams v:0 -show_entries "
                                      "stream=codec_name,width,height,nb_read_frames -of default=nw=1 '" +
                                      es.str() + "'");
    EXPECT_NE(std::string::npos, probe.find("codec_name=mpeg4")) << probe;
    EXPECT_NE(std::string::npos, probe.find("width=720")) << probe;
    EXPECT_NE(std::string::npos, probe.find("height=240")) << probe;
    EXPECT_NE(std::string::npos, probe.find("nb_read_frames=30")) << probe;

    // Scaled by ffmpeg to RGB and to YUY2, the frame codes still read back.
    const std::string rgb =
        Capture("ffmpeg -v error -f m4v -i '" + es.str() + "' -vf scale=300:200 -pix_fmt rgb24 -f rawvideo -");
    ASSERT_EQ(size_t(300 * 200 * 3 * 30), rgb.size());
    for (int i = 0; i < 30; ++i) {
        const auto code = DecodeFrameCodeRgb(reinterpret_cast<const uint8_t*>(rgb.data()) + size_t(i) * 300 * 200 * 3,
                                             300, 200, 900, 3);
        ASSERT_TRUE(code.has_value()) << i;
        EXPECT_EQ((FrameCode{2, uint32_t(i / 15), i % 15}), *code);
    }
    const std::string yuy2 = Capture("ffmpeg -v error -f m4v -i '" + es.str() + "' -pix_fmt yuyv422 -f rawvideo -");
    ASSERT_EQ(size_t(720 * 240 * 2 * 30), yuy2.size());
    const auto code =
        DecodeFrameCodeYuy2(reinterpret_cast<const uint8_t*>(yuy2.data()) + size_t(17) * 720 * 240 * 2, 720, 240);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ((FrameCode{2, 1, 2}), *code);
}

TEST(MkdiskVideo, FrameCodeRefusesDamage)
{
    // A picture of the record's size with the band drawn, then one cell flipped.
    const int w = 352, h = 240;
    std::vector<uint8_t> y(size_t(w * h), 100), u(size_t(w * h / 4), 128), v(size_t(w * h / 4), 128);
    const Yuv420View view{{y.data(), w, w, h}, {u.data(), w / 2, w / 2, h / 2}, {v.data(), w / 2, w / 2, h / 2}};
    const FrameCode code{3, 4321, 17};
    DrawFrameCode(view, code);
    ASSERT_EQ(code, DecodeFrameCodeLuma(y.data(), w, h, size_t(w)));
    const int row = int(0.85 * h);
    const int x0 = 10 * w / 32, x1 = 11 * w / 32;
    for (int yy = row - 5; yy < row + 5; ++yy)
        for (int x = x0; x < x1; ++x)
            y[size_t(yy * w + x)] = uint8_t(251 - y[size_t(yy * w + x)]);
    EXPECT_FALSE(DecodeFrameCodeLuma(y.data(), w, h, size_t(w)).has_value());
    std::fill(y.begin(), y.end(), uint8_t(128));  // no band at all
    EXPECT_FALSE(DecodeFrameCodeLuma(y.data(), w, h, size_t(w)).has_value());
}
