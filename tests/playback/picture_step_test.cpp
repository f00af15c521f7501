// One picture back against one picture forward, by the frame codes the disk
// writer burns into every picture: stepping back through a whole record
// shows, picture by picture, what stepping forward showed, in every picture
// format, across straddling frames, empty seconds and cameras without video.
#include "engine_harness.h"
#include "support/allocation_counter.h"
#include "support/succeeded.h"

using engine_test::EngineTest;
using playback::PlaybackEngine;

namespace {

// What one step showed: each camera's code (empty for one without video) and the position.
struct Shown {
    std::array<std::optional<mkdisk::FrameCode>, 4> codes;
    int position = 0;
    bool operator==(const Shown&) const = default;
};

std::string Describe(const Shown& s)
{
    std::string text = "position " + std::to_string(s.position) + ":";
    for (const auto& c : s.codes)
        text += c ? " " + std::to_string(c->camera) + "/" + std::to_string(c->second) + "/" + std::to_string(c->frame)
                  : " -";
    return text;
}

class PictureStepTest : public EngineTest {
protected:
    Shown Now(const disk::RecordEntry& entry)
    {
        Shown s;
        s.position = engine->Position();
        for (int c = 0; c < 4; ++c)
            if (entry.videoPresent[c])
                s.codes[c] = engine->ViewMode() == PlaybackEngine::kQuadView ? CodeInCell(c) : CodeInWindow();
        return s;
    }

    // Every picture from the record's start, stepping forward; then back to
    // the start one picture at a time, each equal to the forward one.
    void ForwardThenBack(disk::RecorderVolume& disk, int record)
    {
        ASSERT_EQ(engine->Attach(&video, &disk, record, 0), 1);
        ASSERT_EQ(engine->GotoStart(), 1);
        const auto& entry = disk.Record(static_cast<uint32_t>(record));
        std::vector<Shown> forward{Now(entry)};
        while (engine->StepForward())
            forward.push_back(Now(entry));
        // The step that failed at the end showed some cameras' last frames:
        // one back is the last whole step.
        ASSERT_GT(forward.size(), 2u);
        for (size_t i = forward.size(); i-- > 0;) {
            ASSERT_EQ(engine->StepBackPicture(), 1) << "to step " << i;
            const Shown back = Now(entry);
            ASSERT_EQ(back, forward[i]) << "step " << i << " forward " << Describe(forward[i]) << ", back "
                                        << Describe(back);
        }
        EXPECT_EQ(engine->StepBackPicture(), 0) << "nothing before the record's first picture";
        EXPECT_EQ(Now(entry), forward[0]);
        ASSERT_EQ(engine->StepForward(), 1) << "the stream goes on from the picture shown";
        EXPECT_EQ(Now(entry), forward[1]);
    }
};

TEST_F(PictureStepTest, BackThroughWholeRecordsEqualsForwardInEveryFormat)
{
    mkdisk::DiskPlan plan;
    for (const auto f : {mkdisk::PictureFormat::k352x240, mkdisk::PictureFormat::k720x240,
                         mkdisk::PictureFormat::k352x288, mkdisk::PictureFormat::k720x288}) {
        mkdisk::RecordPlan r;
        r.seconds = 3;
        r.format = f;
        plan.records.push_back(r);
    }
    plan.records[0].straddles = {{0, 2}, {1, 0, true}};
    plan.records[1].straddles = {{1, 4}};
    plan.records[2].videoCameras = 0x0B;  // camera 3 without video
    plan.records[3].seconds = 4;
    plan.records[3].emptySegments = {1};
    const std::string path = dir->File("formats.img");
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, path)));
    platform::SetDriveImages({path});
    disk::RecorderVolume disk;
    ASSERT_TRUE(disk.Load(0));
    for (int record = 0; record < 4; ++record) {
        SCOPED_TRACE("record " + std::to_string(record + 1));
        ForwardThenBack(disk, record);
    }
}

TEST_F(PictureStepTest, OneCameraViewAndAfterPlay)
{
    Open(1);  // 720 x 288, 12 frames a second
    engine->SetView(PlaybackEngine::kSingleView, 2);
    engine->PlayForward();
    timer->Fire(12 + 2);  // second 1, frame 2
    engine->Halt();
    ASSERT_EQ(CodeInWindow(), (mkdisk::FrameCode{2, 1, 2}));
    const mkdisk::FrameCode expected[] = {{2, 1, 1}, {2, 1, 0}, {2, 0, 11}, {2, 0, 10}};
    for (const auto& code : expected) {
        ASSERT_EQ(engine->StepBackPicture(), 1);
        EXPECT_EQ(CodeInWindow(), code);
    }
    ASSERT_EQ(engine->StepForward(), 1);
    EXPECT_EQ(CodeInWindow(), (mkdisk::FrameCode{2, 0, 11}));
    ASSERT_EQ(engine->StepForward(), 1);
    EXPECT_EQ(CodeInWindow(), (mkdisk::FrameCode{2, 1, 0}));
    EXPECT_EQ(engine->Position(), 1);

    // The skin's prev keeps its whole second: from second 1 to second 0's start.
    ASSERT_EQ(engine->StepBack(), 1);
    EXPECT_EQ(CodeInWindow(), (mkdisk::FrameCode{2, 0, 0}));

    // While playing, a step back halts first.
    engine->PlayForward();
    timer->Fire(5);
    ASSERT_EQ(engine->StepBackPicture(), 1);
    EXPECT_FALSE(engine->IsPlaying());
    EXPECT_EQ(CodeInWindow(), (mkdisk::FrameCode{2, 0, 4}));
}

TEST_F(PictureStepTest, StepsBackAllocateNothing)
{
    Open(0);
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(engine->StepForward(), 1);
    ASSERT_EQ(engine->StepBackPicture(), 1);  // the first pictures through the presenter's scalers
    const long before = testing_support::allocations.load();
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(engine->StepBackPicture(), 1);
    EXPECT_EQ(testing_support::allocations.load() - before, 0) << "back to second 1's start";
    EXPECT_EQ(CodeInCell(3), (mkdisk::FrameCode{3, 1, 1}));
}

TEST_F(PictureStepTest, NothingBeforeReady)
{
    playback::PlaybackEngine idle(decoder);
    EXPECT_EQ(idle.StepBackPicture(), 0);
}

}  // namespace
