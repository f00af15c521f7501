// Decoders side by side: each leases its own block of the library's
// channels, and two decoders on two threads give the pictures each gives
// alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "disk/record_reader.h"
#include "disk/volume.h"
#include "platform/drive_table.h"
#include "playback/decode_record_job.h"
#include "playback/decoder_channels.h"
#include "playback/job_volume.h"
#include "playback/video_decoder.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/frame_code.h"

namespace {

using playback::VideoDecoder;

const std::string kLibrary = std::string(QUILLON_BIN_DIR) + "/libquillon_decode.so";

// Every picture of a record, in the order decoded: its camera, its frame
// code and a digest of all its bytes.
struct Seen {
    int camera = 0;
    mkdisk::FrameCode code;
    uint64_t digest = 0;
    bool operator==(const Seen&) const = default;
};

uint64_t Fnv1a(std::span<const uint8_t> bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (uint8_t b : bytes)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

struct RecordRun {
    std::vector<Seen> pictures;
    playback::JobOutcome outcome;
};

RecordRun DecodeAll(disk::RecordReader& volume, VideoDecoder& decoder)
{
    RecordRun run;
    const int w = volume.OpenWidth(), h = volume.OpenHeight();
    playback::JobControl control;
    run.outcome = playback::DecodeRecordFlatOut(volume, decoder, control, [&](int camera, std::span<const uint8_t> p) {
        run.pictures.push_back(
            {camera, mkdisk::DecodeFrameCodeYuy2(p.data(), w, h).value_or(mkdisk::FrameCode{-1}), Fnv1a(p)});
    });
    return run;
}

class DecoderThreads : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan a;
        a.format = mkdisk::PictureFormat::k352x240;
        a.seconds = 3;
        mkdisk::RecordPlan b;
        b.format = mkdisk::PictureFormat::k720x288;
        b.seconds = 4;
        b.videoCameras = 0x0B;  // camera 2 without video
        plan.records = {a, b};
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("two.img"))));
        platform::SetDriveImages({dir->File("two.img")});
    }
    static void TearDownTestSuite() { dir.reset(); }

    static inline std::unique_ptr<testing_support::TempDir> dir;
};

// Blocks are taken lowest first, the first decoder's being channels 0..3
// as the playback engine's always were; a decoder past the last block
// decodes nothing and says why; a block given back is taken again.
TEST_F(DecoderThreads, EachDecoderLeasesABlockOfItsOwn)
{
    ASSERT_EQ(playback::DecoderChannels::LeasedBlocks(), 0);
    std::vector<std::unique_ptr<VideoDecoder>> decoders;
    for (int i = 0; i < playback::DecoderChannels::kBlocks; ++i) {
        decoders.push_back(std::make_unique<VideoDecoder>(kLibrary));
        ASSERT_TRUE(decoders.back()->IsLoaded()) << i;
        EXPECT_EQ(decoders.back()->FirstLibraryChannel(), i * 4);
    }
    testing::internal::CaptureStderr();
    VideoDecoder refused(kLibrary);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(refused.IsLoaded());
    EXPECT_EQ(refused.FirstLibraryChannel(), -1);
    EXPECT_EQ(refused.Failure(), "all 16 decoder channel blocks (64 channels) are in use");
    EXPECT_NE(said.find(refused.Failure()), std::string::npos) << said;

    // A job given the refused decoder fails with that reason.
    const auto volume = playback::OpenJobReader(disk::Volume::Load(0).volume, 0);
    ASSERT_TRUE(volume) << volume.Detail();
    playback::JobControl control;
    const auto outcome = playback::DecodeRecordFlatOut(**volume, refused, control);
    EXPECT_EQ(outcome.status, playback::JobOutcome::Status::Failed);
    EXPECT_EQ(outcome.text, "no video decoding: " + refused.Failure());

    decoders[5].reset();
    VideoDecoder again(kLibrary);
    EXPECT_EQ(again.FirstLibraryChannel(), 20);
    decoders.clear();
    EXPECT_EQ(playback::DecoderChannels::LeasedBlocks(), 1);
}

// Leases claimed from many threads at once: every block goes to exactly one
// of them, the rest are refused, and all come back.
TEST_F(DecoderThreads, LeasesTakenAtOnceNeverShareABlock)
{
    constexpr int kThreads = 24;
    std::vector<std::unique_ptr<playback::DecoderChannels>> leases(kThreads);
    std::vector<std::thread> threads;
    for (int round = 0; round < 20; ++round) {
        threads.clear();
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] { leases[std::size_t(t)] = std::make_unique<playback::DecoderChannels>(); });
        for (auto& thread : threads)
            thread.join();
        std::vector<int> holders(playback::DecoderChannels::kBlocks, 0);
        int refused = 0;
        for (const auto& lease : leases) {
            if (lease->IsHeld())
                ++holders[std::size_t(lease->LibraryChannel(0) / playback::DecoderChannels::kBlockChannels)];
            else
                ++refused;
        }
        ASSERT_EQ(holders, std::vector<int>(playback::DecoderChannels::kBlocks, 1)) << "round " << round;
        ASSERT_EQ(refused, kThreads - playback::DecoderChannels::kBlocks);
        for (auto& lease : leases)
            lease.reset();
        ASSERT_EQ(playback::DecoderChannels::LeasedBlocks(), 0);
    }
}

// Two records decoded at once, each by its own decoder on its own thread,
// against each decoded alone: the same pictures, byte for byte, in the same
// order, every one showing its own camera and frame.
TEST_F(DecoderThreads, TwoDecodersOnTwoThreadsGiveThePicturesEachGivesAlone)
{
    std::string error;
    // One loaded volume, a reader of its own for each thread.
    const std::shared_ptr<const disk::Volume> shared = disk::Volume::Load(0).volume;
    auto first = playback::OpenJobReader(shared, 0);
    auto second = playback::OpenJobReader(shared, 1);
    ASSERT_TRUE(first) << first.Detail();
    ASSERT_TRUE(second) << second.Detail();
    VideoDecoder decoderA(kLibrary), decoderB(kLibrary);
    ASSERT_NE(decoderA.FirstLibraryChannel(), decoderB.FirstLibraryChannel());

    const RecordRun aloneA = DecodeAll(**first, decoderA);
    const RecordRun aloneB = DecodeAll(**second, decoderB);
    ASSERT_EQ(aloneA.outcome.status, playback::JobOutcome::Status::Done) << aloneA.outcome.text;
    ASSERT_EQ(aloneB.outcome.status, playback::JobOutcome::Status::Done) << aloneB.outcome.text;
    // 3 s x 30 pictures x 4 cameras; 4 s x 12 pictures x 3 cameras; the
    // record's very last frame (camera 3's) is never cut, having no start
    // code behind it.
    ASSERT_EQ(aloneA.pictures.size(), 359u);
    ASSERT_EQ(aloneB.pictures.size(), 143u);
    const auto countB = std::any_cast<playback::RecordDecodeCount>(aloneB.outcome.value);
    EXPECT_EQ(countB.cameraPictures, (std::array<uint64_t, 4>{48, 48, 0, 47}));
    EXPECT_EQ(countB.noPicture, 48u);
    EXPECT_EQ(countB.failed, 0u);
    for (const RecordRun* run : {&aloneA, &aloneB}) {
        const int rate = run == &aloneA ? 30 : 12;
        std::vector<int> perCamera(4, 0);
        for (const Seen& s : run->pictures) {
            const int n = perCamera[std::size_t(s.camera)]++;
            ASSERT_EQ(s.code, (mkdisk::FrameCode{s.camera, uint32_t(n / rate), n % rate}));
        }
    }

    RecordRun togetherA, togetherB;
    std::thread a([&] { togetherA = DecodeAll(**first, decoderA); });
    std::thread b([&] { togetherB = DecodeAll(**second, decoderB); });
    a.join();
    b.join();
    EXPECT_EQ(togetherA.outcome.status, playback::JobOutcome::Status::Done);
    EXPECT_EQ(togetherB.outcome.status, playback::JobOutcome::Status::Done);
    EXPECT_TRUE(togetherA.pictures == aloneA.pictures);
    EXPECT_TRUE(togetherB.pictures == aloneB.pictures);
}

}  // namespace
