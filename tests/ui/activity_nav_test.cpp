// N and Shift+N over a disk written with known motion: the record's search
// runs once in the background (N meanwhile says so and plays on), jumps go
// to the begins of the shown cameras' events, the position slider marks
// them, and an export made within an event names it in its report.
// Headless (offscreen), over a real engine.
#include <QKeyEvent>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "evidence/report_reader.h"
#include "export/segment_exporter.h"
#include "frame_harness.h"
#include "playback/engine_harness.h"
#include "support/succeeded.h"
#include "tools/mkdisk/disk_plan.h"
#include "ui/activity_events.h"
#include "ui/app_context.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"
#include "ui_test_support.h"

namespace {

using playback::PlaybackEngine;

class NavFrame : public ui::CMainFrame {
public:
    using CMainFrame::CMainFrame;
    int recordChoice = 0;
    std::optional<std::string> exportPath;

protected:
    int RunDiskSelectDialog() override { return 0; }
    int RunRecordListDialog() override { return recordChoice; }
    std::optional<std::string> RunExportSaveDialog(const std::string&) override { return exportPath; }
};

class ActivityNavTest : public ::testing::Test, protected ui_test::FrameHarness<NavFrame> {
protected:
    static void SetUpTestSuite()
    {
        ui_test::App();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        dir = std::make_unique<testing_support::TempDir>();
        // Record 1: 40 s, camera 1 moving in seconds 5-9 and 30-33, camera 2
        // in 15-20 (and more); record 2: 8 s of the same scene, nothing moving.
        mkdisk::DiskPlan plan;
        plan.records = {mkdisk::ActivityDemoPlan().records[0]};
        mkdisk::RecordPlan still;
        still.begin = {2025, 3, 8, 23, 0, 0};
        still.seconds = 8;
        still.scene = mkdisk::Scene::Textured;
        plan.records.push_back(still);
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("motion.img"))));
        const std::string app = dir->File("app");
        ui_test::MakeAppDirectory(app);
    }
    static void TearDownTestSuite() { dir.reset(); }

    void SetUp() override
    {
        Start(dir->File("motion.img"), dir->File("app"));
        ASSERT_TRUE(context->decoder.IsLoaded());
    }
    void TearDown() override { Stop(); }

    void Key(bool shift)
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_N, shift ? Qt::ShiftModifier : Qt::NoModifier);
        QApplication::sendEvent(frame.get(), &press);
    }
    // Serves the window's events until the search has ended.
    bool WaitForSearch()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (frame->Activity().CurrentState() == ui::ActivityEvents::State::Searching &&
               std::chrono::steady_clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return frame->Activity().CurrentState() != ui::ActivityEvents::State::Searching;
    }
    const ui::RecordEvents* Events() const
    {
        return frame->Activity().Find(frame->ActivityDisk(), uint32_t(context->volume.OpenRecordNumber()));
    }
    // The event of camera (0..3) holding the seconds first..last.
    const playback::ActivityEvent* Holding(int camera, int64_t first, int64_t last) const
    {
        for (const auto& e : Events()->events)
            if (e.camera == camera && e.begin <= first && last <= e.end)
                return &e;
        return nullptr;
    }
    bool IsBeginOf(int64_t position, bool quad, int camera) const
    {
        for (const auto& e : Events()->events)
            if ((quad || e.camera == camera) && e.begin == position)
                return true;
        return false;
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
};

TEST_F(ActivityNavTest, FirstNSearchesInTheBackgroundThenNJumpsBetweenTheShownCamerasEvents)
{
    Key(false);
    EXPECT_EQ(frame->Activity().SearchesStarted(), 0) << "no record: nothing to search";
    frame->RunCommand("hdd");
    ASSERT_TRUE(engine->IsReady());
    ASSERT_EQ(engine->Position(), 0);

    // The first N starts the search and returns at once; another N while it
    // runs says so again and starts nothing.
    Key(false);
    EXPECT_EQ(frame->Activity().SearchesStarted(), 1);
    EXPECT_TRUE(frame->NoticeText().startsWith("Searching for activity")) << frame->NoticeText().toStdString();
    EXPECT_TRUE(frame->NoticeShown());
    Key(false);
    EXPECT_EQ(frame->Activity().SearchesStarted(), 1);
    EXPECT_TRUE(frame->NoticeText().startsWith("Searching for activity"));
    EXPECT_EQ(engine->Position(), 0) << "nothing moves while searching";
    EXPECT_TRUE(shown.empty()) << "no message box";
    ASSERT_TRUE(WaitForSearch());
    ASSERT_EQ(frame->Activity().CurrentState(), ui::ActivityEvents::State::Done) << frame->Activity().StatusText();
    EXPECT_TRUE(frame->NoticeText().endsWith("found")) << frame->NoticeText().toStdString();
    ASSERT_TRUE(Events());

    // The motion written is found: camera 1 in 5-9, camera 2 in 15-20.
    const playback::ActivityEvent* first = Holding(0, 5, 9);
    const playback::ActivityEvent* second = Holding(1, 15, 20);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);

    // Quad: every camera's events; N walks their begins forward.
    Key(false);
    EXPECT_LE(engine->Position(), first->begin);
    EXPECT_TRUE(IsBeginOf(engine->Position(), true, 0));
    int last = engine->Position();
    for (int i = 0; i < 40 && !frame->NoticeText().startsWith("No later"); ++i) {
        Key(false);
        if (frame->NoticeText().startsWith("No later"))
            break;
        EXPECT_GT(engine->Position(), last);
        EXPECT_TRUE(IsBeginOf(engine->Position(), true, 0)) << engine->Position();
        last = engine->Position();
    }
    EXPECT_TRUE(frame->NoticeText().startsWith("No later activity"));
    EXPECT_EQ(engine->Position(), last) << "past the last event N stays";

    // Camera 2 alone: N from the start goes to its event in 15-20, and
    // Shift+N inside it goes back to its begin first.
    frame->RunCommand("ch2");
    ASSERT_EQ(engine->ShowPosition(0, true, true), 1);
    Key(false);
    EXPECT_EQ(engine->Position(), second->begin) << "camera 2's first event";
    ASSERT_EQ(engine->ShowPosition(int(second->begin) + 3, true, true), 1);
    Key(true);
    EXPECT_EQ(engine->Position(), second->begin);
    Key(true);
    EXPECT_TRUE(frame->NoticeText().startsWith("No earlier activity on camera 2")) << frame->NoticeText().toStdString();
    EXPECT_EQ(engine->Position(), second->begin);

    // Playing on through a jump, as after a drag of the thumb.
    ASSERT_EQ(engine->ShowPosition(0, true, true), 1);
    frame->RunCommand("play");
    Key(false);
    EXPECT_TRUE(engine->IsPlaying());
    EXPECT_EQ(engine->Position(), second->begin);
    frame->RunCommand("pause");

    // Every jump came from the one search.
    EXPECT_EQ(frame->Activity().SearchesStarted(), 1);
    EXPECT_TRUE(shown.empty());

    // Nothing while an export runs.
    engine->exporting = true;
    const int before = engine->Position();
    Key(true);
    EXPECT_EQ(engine->Position(), before);
    engine->exporting = false;
}

TEST_F(ActivityNavTest, TheSliderMarksTheShownCamerasEventsOnceTheSearchEnds)
{
    frame->RunCommand("hdd");
    ASSERT_TRUE(engine->IsReady());
    ui::Skin& skin = context->skin;
    EXPECT_TRUE(skin.ActivityMarks().empty());
    Key(false);
    EXPECT_TRUE(skin.ActivityMarks().empty()) << "none while searching";
    ASSERT_TRUE(WaitForSearch());
    ASSERT_TRUE(Events());
    EXPECT_EQ(skin.ActivityMarks().size(), Events()->events.size()) << "quad: every camera's";

    const ui::SkinSlider& slider = skin.Slider(ui::SliderId::Position);
    const int track = slider.trackRight - slider.trackLeft;
    const playback::ActivityEvent* second = Holding(1, 15, 20);
    ASSERT_TRUE(second);
    frame->RunCommand("ch2");
    size_t onCamera2 = 0;
    for (const auto& e : Events()->events)
        onCamera2 += e.camera == 1;
    const auto marks = skin.ActivityMarks();
    ASSERT_EQ(marks.size(), onCamera2) << "one camera: its own";
    const int begin = int(second->begin * track / (engine->Length() - 1));
    const int end = int(second->end * track / (engine->Length() - 1));
    EXPECT_NE(std::find(marks.begin(), marks.end(), std::make_pair(begin, end)), marks.end());

    // Drawn along the axis's lower edge, in the window, away from the thumb.
    ASSERT_EQ(engine->ShowPosition(0, true, true), 1);
    const QImage window = frame->Surface().Copy();
    const int x = slider.trackLeft + (begin + end) / 2;
    const int y = slider.y + slider.axis.Height() - 1;
    EXPECT_EQ(window.pixel(x, y), ui::Skin::kActivityMarkRgb);
    const int clear = slider.trackLeft + track - 2;  // the record's last seconds, no event of camera 2 there
    bool marked = false;
    for (const auto& [b, e] : marks)
        marked = marked || (b <= track - 2 && track - 2 <= e);
    if (!marked) {
        EXPECT_NE(window.pixel(clear, y), ui::Skin::kActivityMarkRgb);
    }

    // Another record has none until its own search; another disk drops them.
    frame->recordChoice = 1;
    frame->RunCommand("list");
    ASSERT_EQ(context->volume.OpenRecordNumber(), 1);
    EXPECT_TRUE(skin.ActivityMarks().empty());
    frame->recordChoice = 0;
    frame->RunCommand("list");
    EXPECT_EQ(skin.ActivityMarks().size(), Events()->events.size()) << "the cache of the disk";
    frame->RunCommand("hdd");
    EXPECT_TRUE(skin.ActivityMarks().empty());
    EXPECT_FALSE(Events()) << "a disk loaded again is searched again";
}

TEST_F(ActivityNavTest, ARecordWithoutActivitySaysSo)
{
    frame->recordChoice = 1;
    frame->RunCommand("hdd");
    ASSERT_EQ(context->volume.OpenRecordNumber(), 1);
    Key(false);
    ASSERT_TRUE(WaitForSearch());
    EXPECT_EQ(frame->Activity().StatusText(), "No activity found");
    EXPECT_EQ(frame->NoticeText(), "No activity found");
    Key(false);
    Key(true);
    EXPECT_EQ(frame->NoticeText(), "No activity found");
    EXPECT_EQ(engine->Position(), 0);
    EXPECT_EQ(frame->Activity().SearchesStarted(), 1);
    EXPECT_TRUE(shown.empty()) << "no message box";
    EXPECT_TRUE(frame->NoticeShown());
    frame->close();
    EXPECT_FALSE(frame->NoticeShown()) << "the notice goes with the window";
}

TEST_F(ActivityNavTest, AnExportWithinAnEventNamesItInItsReport)
{
    frame->RunCommand("hdd");
    Key(false);
    ASSERT_TRUE(WaitForSearch());
    const playback::ActivityEvent* second = Holding(1, 15, 20);
    ASSERT_TRUE(second);
    const playback::ActivityEvent event = *second;

    const auto exportRange = [&](int from, int to, const std::string& name) {
        ASSERT_EQ(engine->ShowPosition(from, true, true), 1);
        frame->RunCommand("segment");
        ASSERT_EQ(engine->ShowPosition(to, true, true), 1);
        frame->RunCommand("segment");
        frame->exportPath = dir->File(name);
        frame->RunCommand("output");
        ASSERT_TRUE(frame->Exporter());
        while (frame->Exporter()->IsRunning())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        frame->Exporter()->Wait();
        QCoreApplication::processEvents();
        frame->RunCommand("segment");  // the marks go for the next
    };
    frame->RunCommand("ch2");
    exportRange(int(event.begin), int(event.end), "event.mpg");
    std::ifstream in(dir->File("event.mpg.report.json"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto json = nlohmann::json::parse(text);
    ASSERT_TRUE(json.contains("activity_event")) << text;
    const auto& e = json["activity_event"];
    EXPECT_EQ(e["record"], "1");
    EXPECT_EQ(e["camera"], 2);
    EXPECT_EQ(e["begin_position"], event.begin);
    EXPECT_EQ(e["end_position"], event.end);
    EXPECT_EQ(e["begin_time"], json["segment"]["begin_time"]);
    EXPECT_EQ(e["peak"], event.peak);
    EXPECT_EQ(e["mode"], "exact");
    EXPECT_NE(e["parameters"].get<std::string>().find("share>="), std::string::npos);
    const auto parsed = evidence::ParseReport(text);
    ASSERT_TRUE(parsed) << parsed.Detail();
    EXPECT_EQ(parsed->activityEvent, "record 1, camera 2, positions " + std::to_string(event.begin) + " to " +
                                         std::to_string(event.end) + ", exact");

    // Marks reaching outside every event of the shown camera: none named.
    frame->RunCommand("ch4");
    exportRange(0, 5, "plain.mpg");
    std::ifstream plain(dir->File("plain.mpg.report.json"));
    const std::string plainText((std::istreambuf_iterator<char>(plain)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(plainText.empty());
    EXPECT_FALSE(nlohmann::json::parse(plainText).contains("activity_event"));
}

}  // namespace
