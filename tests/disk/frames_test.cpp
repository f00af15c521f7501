// Cutting the video stream into frames: hand-made layouts for each rule,
// and the fast scan held call by call to the position-by-position one on
// many random streams.
#include <random>

#include "disk/load_helper.h"
#include "disk/reference_frames.h"
#include "disk/segment_volume.h"

using disk::RecorderVolume;
using testing_support::ReferenceFrames;
using testing_support::SegmentVolume;

namespace {

using Bytes = std::vector<uint8_t>;

// A VOP start code with its coding-type byte (0x00 intra, 0x40 predicted),
// followed by filler up to `size` bytes in all.
Bytes Vop(size_t size, uint8_t type = 0x00, uint8_t fill = 0x55)
{
    Bytes b(size, fill);
    const uint8_t head[5] = {0, 0, 1, 0xB6, type};
    std::memcpy(b.data(), head, std::min<size_t>(5, size));
    return b;
}

Bytes UserData(size_t size = 8)
{
    Bytes b(size, 0x33);
    const uint8_t head[4] = {0, 0, 1, 0xB2};
    std::memcpy(b.data(), head, 4);
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Filler(size_t size, uint8_t fill = 0x77) { return Bytes(size, fill); }

Bytes AudioArea() { return Bytes(RecorderVolume::kAudioAreaBytes, 0x11); }

class FramesTest : public testing_support::VolumeFixture {
protected:
    void Open(const std::vector<Bytes>& segments, bool audio)
    {
        ASSERT_TRUE(Load(SegmentVolume(segments, audio)));
        ASSERT_TRUE(volume.OpenRecord(0));
        ASSERT_TRUE(volume.SelectSegment(0));
        volume.ResetFrameAssembly();
    }
    // Length of the next frame, or -1 for a call that delivered none.
    int64_t Next(bool intraOnly = false)
    {
        uint32_t n = 0;
        if (!volume.NextFrame(frame, n, intraOnly, -1, block, nullptr))
            return -1;
        return n;
    }

    Bytes frame = Bytes(RecorderVolume::kMaxFrameBytes);
    Bytes block = Bytes(RecorderVolume::kAudioBlockBytes);
};

TEST_F(FramesTest, FramesRunFromVopToVopAndTheLastIsCarried)
{
    // VOPs at 0, 500 and 1,200; the third runs to the segment's end and is
    // joined with the next segment's bytes up to its first user data code.
    const Bytes seg0 = Cat({Vop(500), Vop(700), Vop(1360)});
    const Bytes seg1 = Cat({Filler(100), UserData(), Vop(300), Vop(616)});
    Open({seg0, seg1}, false);
    EXPECT_EQ(Next(), 500);
    EXPECT_EQ(volume.CurrentSegment(), 0u);
    EXPECT_EQ(Next(), 700);
    EXPECT_EQ(Next(), 1360 + 100) << "tail + continuation";
    EXPECT_EQ(volume.CurrentSegment(), 1u);
    EXPECT_EQ(frame[3], 0xB6);
    EXPECT_EQ(frame[1360], 0x77);
    EXPECT_EQ(Next(), 300) << "continuation ended at user data; normal scan again";
    EXPECT_EQ(Next(), -1) << "the last VOP has no end and no next segment";
}

TEST_F(FramesTest, IntraOnlyPassesOverPredictedVops)
{
    Open({Cat({Vop(200, 0x40), Vop(300, 0x3F), Vop(100, 0x80), Vop(50)})}, false);
    EXPECT_EQ(Next(true), 300) << "the frame begins at the intra VOP and ends at the next VOP of any type";
    EXPECT_EQ(frame[4], 0x3F);
}

TEST_F(FramesTest, OverlongFrameSkipsTheRestOfItsSegment)
{
    Open({Cat({Vop(128000), Vop(500), Vop(500)}), Cat({Vop(400), Vop(100)})}, false);
    EXPECT_EQ(Next(), 400) << "nothing more of segment 0 is delivered";
    EXPECT_EQ(volume.CurrentSegment(), 1u);

    Open({Cat({Vop(127999), Vop(10)}), Cat({Vop(400), Vop(100)})}, false);
    EXPECT_EQ(Next(), 127999) << "just short enough";
}

TEST_F(FramesTest, ContinuationLeavesTheAudioAreaOut)
{
    // A 300-byte tail, then 200 bytes of the next segment's video, then
    // user data: one frame of 500 bytes.
    const Bytes seg0 = Cat({AudioArea(), Filler(512 - 300), Vop(300)});
    const Bytes seg1 = Cat({AudioArea(), Filler(200, 0x66), UserData(), Vop(512 - 208)});
    const Bytes seg2 = Cat({AudioArea(), Vop(512)});
    Open({seg0, seg1, seg2}, true);
    EXPECT_EQ(Next(), 500);
    EXPECT_EQ(frame[299], 0x55);
    EXPECT_EQ(frame[300], 0x66) << "the next segment's audio area is not part of the frame";
    EXPECT_EQ(Next(), 304) << "a tail whose continuation is empty: the next segment starts with a VOP";
}

TEST_F(FramesTest, ContinuationRunningOutFailsOnceThenScansOn)
{
    const Bytes seg0 = Cat({Filler(212), Vop(300)});
    const Bytes seg1 = Filler(1024);  // no start code at all
    const Bytes seg2 = Cat({Vop(100), Vop(412)});
    Open({seg0, seg1, seg2}, false);
    EXPECT_EQ(Next(), -1);
    EXPECT_EQ(Next(), 100);
    EXPECT_EQ(volume.CurrentSegment(), 2u);
}

TEST_F(FramesTest, JoinedFrameIsSplitAtAVopCodeStraddlingTheJunction)
{
    // The segment ends in the middle of a start code: 00 00 | 01 B6.
    Bytes seg0 = Cat({Filler(312), Vop(198)});
    seg0.push_back(0);
    seg0.push_back(0);
    const Bytes seg1 = Cat({Bytes{0x01, 0xB6, 0x00}, Filler(97), UserData(), Vop(300), Vop(104)});
    Open({seg0, seg1}, false);
    EXPECT_EQ(Next(), 198) << "first piece: up to the straddling code";
    EXPECT_EQ(Next(), 2 + 100) << "second piece: the straddling VOP up to user data";
    EXPECT_EQ(frame[0], 0);
    EXPECT_EQ(frame[2], 1);
    EXPECT_EQ(frame[3], 0xB6);
    EXPECT_EQ(Next(), 300);
}

TEST_F(FramesTest, StreamHeaderComesFromBeforeTheFirstFrame)
{
    Bytes seg = Filler(1000);
    for (size_t i = 0; i < seg.size(); ++i)
        seg[i] = uint8_t(i * 7 + 1) | 0x80;  // no zero bytes: no start codes
    seg = Cat({seg, Vop(300), Vop(236)});
    Open({seg}, false);
    ASSERT_EQ(Next(), 300);
    const auto header = volume.StreamHeader();
    const uint8_t fixed[10] = {0x00, 0x00, 0x01, 0xB0, 0x03, 0x00, 0x00, 0x01, 0xB5, 0x09};
    EXPECT_EQ(std::memcmp(header.data(), fixed, 10), 0);
    EXPECT_EQ(std::memcmp(header.data() + 10, seg.data() + 973, 19), 0) << "bytes 973..991";

    // Seeking does not capture again.
    ASSERT_TRUE(volume.SelectSegment(0));
    volume.ResetFrameAssembly();
    ASSERT_EQ(Next(), 300);
    EXPECT_EQ(std::memcmp(volume.StreamHeader().data() + 10, seg.data() + 973, 19), 0);
}

TEST_F(FramesTest, FrameTooCloseToTheVideoStartLeavesTheCaptureForALaterOne)
{
    Bytes seg = Cat({Filler(10, 0x90), Vop(100), Filler(40, 0xA0), Vop(50), Vop(312)});
    Open({seg}, false);
    ASSERT_EQ(Next(), 140);
    const uint8_t fixedOnly[19] = {};
    EXPECT_EQ(std::memcmp(volume.StreamHeader().data() + 10, fixedOnly, 19), 0)
        << "not captured from before the window";
    ASSERT_EQ(Next(), 50);
    EXPECT_EQ(std::memcmp(volume.StreamHeader().data() + 10, seg.data() + 150 - 27, 19), 0);
}

TEST_F(FramesTest, EmptySegmentsAreSkipped)
{
    Open({Cat({AudioArea(), Vop(100), Vop(412)}), Bytes{}, Bytes{}, Cat({AudioArea(), Vop(200), Vop(312)})}, true);
    EXPECT_EQ(Next(), 100);
    EXPECT_EQ(Next(), 412) << "the tail is joined across the empty segments";
    EXPECT_EQ(volume.CurrentSegment(), 3u);
    EXPECT_EQ(Next(), 200) << "continuation pieces go on until user data";
    EXPECT_EQ(Next(), -1) << "continuation runs out at the segment's end";
    EXPECT_EQ(Next(), -1) << "end of record";
}

TEST_F(FramesTest, NeverWritesPastTheCallersBuffer)
{
    // A 100,000-byte tail joined with 30,000 more bytes exceeds a
    // 128,000-byte buffer: refused, and the bytes after it are intact.
    Bytes seg0 = Cat({Filler(512 - (100000 % 512)), Vop(100000)});
    Bytes seg1 = Cat({Filler(30000), UserData(), Vop(1000), Vop(224)});
    Open({seg0, seg1}, false);
    Bytes small(RecorderVolume::kFrameBufferBytes + 16, 0xEE);
    uint32_t n = 0;
    EXPECT_FALSE(
        volume.NextFrame(std::span(small).first(RecorderVolume::kFrameBufferBytes), n, false, -1, block, nullptr));
    EXPECT_EQ(small[RecorderVolume::kFrameBufferBytes], 0xEE);
    ASSERT_TRUE(
        volume.NextFrame(std::span(small).first(RecorderVolume::kFrameBufferBytes), n, false, -1, block, nullptr));
    EXPECT_EQ(n, 1000u);

    // With a buffer of kMaxFrameBytes the joined frame arrives whole.
    Open({seg0, seg1}, false);
    EXPECT_EQ(Next(), 100000 + 30000);
}

TEST_F(FramesTest, AudioBlockIsHandedOverAtEachSegmentStart)
{
    Bytes audio = AudioArea();
    for (size_t row = 0; row < 2048; ++row)
        audio[row * 8 + 2] = uint8_t(row);  // channel 1's low bytes
    Open({Cat({audio, Vop(100), Vop(300), Vop(112)}), Cat({audio, Vop(100), Vop(412)})}, true);
    uint32_t n = 0;
    int delivered = -1;
    ASSERT_TRUE(volume.NextFrame(frame, n, false, 1, block, &delivered));
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[2], 1) << "step index from the second row";
    ASSERT_TRUE(volume.NextFrame(frame, n, false, 1, block, &delivered));
    EXPECT_EQ(delivered, 0) << "mid-segment: no block";
    EXPECT_EQ(n, 300u);
    ASSERT_TRUE(volume.NextFrame(frame, n, false, 1, block, &delivered));
    EXPECT_EQ(delivered, 1) << "the joined frame's call entered segment 1";
    EXPECT_EQ(n, 112u);
    EXPECT_EQ(volume.CurrentSegment(), 1u);
}

// ---- random streams: the fast scan against the reference, call by call ----

struct RandomStream {
    std::vector<Bytes> segments;
    bool audio = false;
};

RandomStream MakeRandomStream(uint32_t seed)
{
    std::mt19937 rng(seed);
    auto uniform = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
    RandomStream out;
    out.audio = uniform(0, 1) == 1;
    // One long video stream of VOPs, headers and user data, with zero-rich
    // payload so that near-miss patterns are common.
    Bytes video;
    const uint32_t tokens = uniform(20, 400);
    for (uint32_t t = 0; t < tokens; ++t) {
        const uint32_t kind = uniform(0, 9);
        if (kind < 7) {
            const uint8_t type = uint8_t(uniform(0, 255));
            uint32_t size = uniform(5, kind == 0 ? 6000 : 900);
            if (uniform(0, 150) == 0)
                size = uniform(127000, 131000);
            video.insert(video.end(), {0, 0, 1, 0xB6, type});
            for (uint32_t i = 5; i < size; ++i)
                video.push_back(uniform(0, 3) == 0 ? 0 : uint8_t(uniform(0, 255)));
        } else if (kind < 9) {
            video.insert(video.end(), {0, 0, 1, 0x00});
            for (int i = 0; i < 15; ++i)
                video.push_back(uint8_t(uniform(0, 255)));
            video.insert(video.end(), {0, 0, 1, 0xB2, 1, 2, 3, 4});
        } else {
            video.insert(video.end(), {0, 0, 1, 0xB2});
        }
    }
    // Cut it into segments of random length, some empty, some shorter than
    // an audio area.
    size_t at = 0;
    while (at < video.size()) {
        Bytes seg;
        const uint32_t shape = uniform(0, 19);
        if (shape == 0) {
            out.segments.push_back({});
            continue;
        }
        if (out.audio) {
            seg.resize(shape == 1 ? uniform(1, 16384) : RecorderVolume::kAudioAreaBytes);
            for (auto& b : seg)
                b = uint8_t(uniform(0, 255));
            if (shape == 1) {
                out.segments.push_back(seg);
                continue;
            }
        }
        size_t take = std::min<size_t>(video.size() - at, uniform(1, 40000));
        // Often cut inside a start code, so that one straddles the junction.
        if (uniform(0, 2) == 0) {
            for (size_t p = at + take; p + 3 < video.size() && p < at + take + 4000; ++p)
                if (video[p] == 0 && video[p + 1] == 0 && video[p + 2] == 1) {
                    take = p + uniform(1, 3) - at;
                    break;
                }
        }
        seg.insert(seg.end(), video.begin() + at, video.begin() + at + take);
        at += take;
        while (seg.size() % 512 != 0)
            seg.push_back(uniform(0, 1) ? 0 : 0x42);
        out.segments.push_back(seg);
    }
    return out;
}

class FramesAgreementTest : public testing_support::VolumeFixture {};

TEST_F(FramesAgreementTest, FastScanMatchesTheReferenceOnRandomStreams)
{
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        const RandomStream stream = MakeRandomStream(seed);
        WriteImage(SegmentVolume(stream.segments, stream.audio), "random.img");
        RecorderVolume fast;
        RecorderVolume slowVolume;
        ASSERT_TRUE(fast.Load(0));
        ASSERT_TRUE(slowVolume.Load(0));
        ReferenceFrames slow(slowVolume);
        ASSERT_TRUE(fast.OpenRecord(0));
        ASSERT_TRUE(slow.OpenRecord(0));
        ASSERT_TRUE(fast.SelectSegment(0));
        ASSERT_TRUE(slow.Seek(0));
        fast.ResetFrameAssembly();

        std::mt19937 rng(seed * 7919);
        Bytes frameA(RecorderVolume::kMaxFrameBytes), frameB(RecorderVolume::kMaxFrameBytes);
        Bytes blockA(RecorderVolume::kAudioBlockBytes), blockB(RecorderVolume::kAudioBlockBytes);
        int intraCalls = 4;
        int failures = 0;
        for (int call = 0; call < 5000 && failures < 3; ++call) {
            if (rng() % 97 == 0) {
                const uint32_t to = rng() % fast.SegmentCount();
                ASSERT_TRUE(fast.SelectSegment(to));
                fast.ResetFrameAssembly();
                ASSERT_TRUE(slow.Seek(to));
                intraCalls = 4;
            }
            const bool intra = intraCalls-- > 0;
            const int channel = stream.audio && rng() % 3 == 0 ? int(rng() % 4) : -1;
            uint32_t nA = 0, nB = 0;
            int dA = 0, dB = 0;
            const bool a = fast.NextFrame(frameA, nA, intra, channel, blockA, &dA);
            const bool b = slow.Next(frameB, nB, intra, channel, blockB, dB);
            SCOPED_TRACE("seed " + std::to_string(seed) + " call " + std::to_string(call));
            ASSERT_EQ(a, b);
            ASSERT_EQ(fast.CurrentSegment(), slowVolume.CurrentSegment());
            ASSERT_EQ(dA, dB);
            if (dA) {
                ASSERT_TRUE(blockA == blockB);
            }
            if (a) {
                ASSERT_EQ(nA, nB);
                ASSERT_EQ(std::memcmp(frameA.data(), frameB.data(), nA), 0);
                ASSERT_GT(nA, 0u);
                ASSERT_EQ(frameA[2], 1) << "frames begin with a start code";
            }
            failures = a ? 0 : failures + 1;
        }
        ASSERT_EQ(std::memcmp(fast.StreamHeader().data(), slow.Header(), 29), 0) << "seed " << seed;
    }
}

}  // namespace
