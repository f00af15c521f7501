// Frame extraction on disks written by quillon-mkdisk: every frame the
// writer put down comes back (or is lost only where the format says so),
// and decodes, through the decoding library, to the right camera and frame.
#include <zlib.h>

#include "disk/load_helper.h"
#include "playback/video_decoder.h"
#include "support/succeeded.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/frame_code.h"

using disk::RecorderVolume;

namespace {

struct Delivered {
    std::vector<uint8_t> bytes;
    uint32_t segment = 0;
};

class GeneratedFramesTest : public testing_support::VolumeFixture {
protected:
    void Write(const mkdisk::DiskPlan& plan)
    {
        const std::string path = temp.File("gen.img");
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, path, &manifest)));
        platform::SetDriveImages({path});
        ASSERT_TRUE(volume.Load(0));
    }

    // Every frame of record r, by calls in camera order until the record ends.
    std::vector<Delivered> ExtractAll(uint32_t r)
    {
        std::vector<Delivered> out;
        EXPECT_TRUE(volume.OpenRecord(r));
        EXPECT_TRUE(volume.SelectSegment(0));
        volume.ResetFrameAssembly();
        std::vector<uint8_t> frame(RecorderVolume::kMaxFrameBytes), block(RecorderVolume::kAudioBlockBytes);
        for (int failures = 0; failures < 2;) {
            uint32_t n = 0;
            int delivered = 0;
            if (volume.NextFrame(frame, n, false, 0, block, &delivered)) {
                out.push_back({{frame.begin(), frame.begin() + n}, volume.CurrentSegment()});
                failures = 0;
            } else {
                ++failures;
            }
        }
        return out;
    }

    // Matches delivered frames, in order, to the manifest's VOPs: a frame
    // begins with its VOP's bytes (the headers of the next intra VOP, or a
    // segment's zero padding, may follow). Returns the manifest indexes of
    // the VOPs never delivered; `matched` gets each delivered frame's VOP.
    std::vector<size_t> Match(const mkdisk::ManifestRecord& record, const std::vector<Delivered>& frames,
                              std::vector<size_t>& matched)
    {
        std::vector<size_t> missing;
        size_t m = 0;
        for (const Delivered& d : frames) {
            while (m < record.frames.size()) {
                const auto& f = record.frames[m];
                if (d.bytes.size() >= f.length && crc32(0, d.bytes.data(), f.length) == f.crc)
                    break;
                missing.push_back(m++);
            }
            EXPECT_LT(m, record.frames.size()) << "a delivered frame matches nothing that was written";
            matched.push_back(m++);
        }
        while (m < record.frames.size())
            missing.push_back(m++);
        return missing;
    }

    mkdisk::Manifest manifest;
};

mkdisk::RecordPlan Plan(mkdisk::PictureFormat format, uint32_t seconds)
{
    mkdisk::RecordPlan r;
    r.format = format;
    r.seconds = seconds;
    r.audioCameras = 0x3;
    return r;
}

TEST_F(GeneratedFramesTest, EveryFrameComesBackButTheRecordsLast)
{
    mkdisk::DiskPlan plan;
    plan.records.push_back(Plan(mkdisk::PictureFormat::k352x240, 3));
    plan.records.back().straddles = {{0, 2}, {1, 0}};
    auto noVideo = Plan(mkdisk::PictureFormat::k720x288, 2);
    noVideo.videoCameras = 0xB;  // camera 2 carries tiny VOPs only
    noVideo.emptySegments = {};
    plan.records.push_back(noVideo);
    Write(plan);

    for (uint32_t r = 0; r < plan.records.size(); ++r) {
        SCOPED_TRACE("record " + std::to_string(r));
        const auto& record = manifest.records[r];
        const auto frames = ExtractAll(r);
        std::vector<size_t> matched;
        const auto missing = Match(record, frames, matched);
        ASSERT_EQ(missing, (std::vector<size_t>{record.frames.size() - 1}))
            << "only the last VOP, which no start code ends, is lost";
        for (size_t i = 0; i < matched.size(); ++i)
            ASSERT_EQ(record.frames[matched[i]].camera, int(i % 4)) << "frames arrive in camera order";
        const auto header = volume.StreamHeader();
        ASSERT_EQ(record.voVol.size(), 19u);
        EXPECT_TRUE(std::equal(record.voVol.begin(), record.voVol.end(), header.begin() + 10));
    }
}

TEST_F(GeneratedFramesTest, OverlongFrameCostsTheRestOfItsSegmentOnly)
{
    mkdisk::DiskPlan plan;
    plan.audioAreas = false;
    auto r = Plan(mkdisk::PictureFormat::k352x288, 3);
    r.hugeFrames = {{1, 1, 3, 130000}};
    plan.records.push_back(r);
    Write(plan);
    const auto& record = manifest.records[0];
    const auto frames = ExtractAll(0);
    std::vector<size_t> matched;
    const auto missing = Match(record, frames, matched);
    // Lost: the huge VOP, everything after it in its segment, the last VOP.
    size_t huge = 0;
    while (!(record.frames[huge].second == 1 && record.frames[huge].camera == 1 && record.frames[huge].frame == 3))
        ++huge;
    std::vector<size_t> expected;
    for (size_t i = huge; i < record.frames.size(); ++i)
        if (record.frames[i].segment == record.frames[huge].segment || i + 1 == record.frames.size())
            expected.push_back(i);
    EXPECT_EQ(missing, expected);
}

TEST_F(GeneratedFramesTest, FramesDecodeToTheirCameraAndFrameCode)
{
    const std::string library = std::string(QUILLON_BIN_DIR) + "/libquillon_decode.so";
    playback::VideoDecoder decoder(library);
    ASSERT_TRUE(decoder.IsLoaded()) << library;
    for (int c = 0; c < 4; ++c)
        decoder.SetFormat(c, 1);

    mkdisk::DiskPlan plan;
    for (auto format : {mkdisk::PictureFormat::k352x240, mkdisk::PictureFormat::k720x240,
                        mkdisk::PictureFormat::k352x288, mkdisk::PictureFormat::k720x288})
        plan.records.push_back(Plan(format, 2));
    plan.records[0].straddles = {{0, 1}};
    plan.records[3].videoCameras = 0x7;
    Write(plan);

    std::vector<uint8_t> picture(playback::VideoDecoder::kPictureBytes);
    for (uint32_t r = 0; r < plan.records.size(); ++r) {
        SCOPED_TRACE("record " + std::to_string(r));
        const auto& record = manifest.records[r];
        const auto frames = ExtractAll(r);
        std::vector<size_t> matched;
        Match(record, frames, matched);
        for (int c = 0; c < 4; ++c)
            decoder.ReleaseChannel(c);
        int decoded = 0;
        for (size_t i = 0; i < frames.size(); ++i) {
            const auto& f = record.frames[matched[i]];
            const int camera = int(i % 4);
            if (!f.video) {
                EXPECT_LE(f.length, 100u) << "a camera without video sends tiny VOPs";
                continue;
            }
            EXPECT_GT(f.length, 100u) << "video never looks like a camera without picture";
            ASSERT_NE(decoder.DecodeFrame(camera, frames[i].bytes, picture, record.width, record.height,
                                          volume.StreamHeader()),
                      0)
                << "frame " << i;
            const auto code = mkdisk::DecodeFrameCodeYuy2(picture.data(), record.width, record.height);
            ASSERT_TRUE(code.has_value()) << "frame " << i;
            EXPECT_EQ(code->camera, camera);
            EXPECT_EQ(code->second, f.second);
            EXPECT_EQ(code->frame, f.frame);
            ++decoded;
        }
        const int withoutVideo = plan.records[r].videoCameras == 0xF ? 0 : int(frames.size() / 4 + 1);
        EXPECT_GE(decoded, int(frames.size()) - withoutVideo);
    }
}

}  // namespace
