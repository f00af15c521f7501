// The timeline window over a written disk and a real engine: Ctrl+T, the
// rows as the disk holds them, zoom about the pointer, panning, Home, the
// quad at the pointer's second decoded in the background, a click opening
// that second in the player and the player's line following. Headless
// (offscreen); QUILLON_SCREENSHOTS=DIR keeps the window's pictures.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cstdlib>
#include <filesystem>

#include "disk/recorder_volume.h"
#include "disk/timeline.h"
#include "export/segment_exporter.h"
#include "frame_harness.h"
#include "playback/engine_harness.h"
#include "support/file_bytes.h"
#include "support/succeeded.h"
#include "ui/app_context.h"
#include "ui/disk_recovery.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"
#include "ui/timeline_window.h"
#include "ui_test_support.h"

namespace {

using playback::PlaybackEngine;

// Runs the event loop until done (at most 20 s).
void PumpUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

disk::ClockSeconds At(const char* text) { return disk::ParseClockTime(text).value_or(disk::ClockSeconds{}); }

class TimelineFrame : public ui::CMainFrame {
public:
    using CMainFrame::CMainFrame;
    std::string savePath;  // what the export's save dialog answers
    std::string asked;     // the name it offered

protected:
    int RunDiskSelectDialog() override { return 0; }
    int RunRecordListDialog() override { return 0; }
    std::optional<std::string> RunExportSaveDialog(const std::string& defaultName) override
    {
        asked = defaultName;
        return savePath;
    }
};

class TimelineWindowTest : public ::testing::Test, protected ui_test::FrameHarness<TimelineFrame> {
protected:
    static void SetUpTestSuite()
    {
        ui_test::App();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        dir = std::make_unique<testing_support::TempDir>();
        // Record 1 at 10:00:00 for 6 s; record 2 right after it (4 s, camera
        // 3 without video); record 3 overlapping record 2 by two seconds;
        // record 4 an hour later.
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan first, second, third, fourth;
        first.begin = {2024, 2, 29, 10, 0, 0};
        first.seconds = 6;
        second.begin = {2024, 2, 29, 10, 0, 6};
        second.seconds = 4;
        second.videoCameras = 0x0B;
        third.begin = {2024, 2, 29, 10, 0, 8};
        third.seconds = 3;
        fourth.begin = {2024, 2, 29, 11, 0, 0};
        fourth.seconds = 2;
        plan.records = {first, second, third, fourth};
        for (auto& r : plan.records)
            r.qscale = 31;
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("timeline.img"))));
        const std::string app = dir->File("app");
        ui_test::MakeAppDirectory(app);
    }
    static void TearDownTestSuite() { dir.reset(); }

    void SetUp() override { Start(dir->File("timeline.img"), dir->File("app")); }
    void TearDown() override { Stop(); }

    ui::TimelineWindow& OpenTimeline()
    {
        frame->RunCommand("hdd");
        for (QAction* action : frame->actions())
            if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_T))
                action->trigger();
        EXPECT_TRUE(frame->Timeline()) << "Ctrl+T is bound on the main window";
        return *frame->Timeline();
    }
    static QImage Shot(ui::TimelineWindow& window, const char* name)
    {
        const QImage image = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (const char* keep = std::getenv("QUILLON_SCREENSHOTS"))
            image.save(QString::fromUtf8(keep) + "/" + name + ".png");
        return image;
    }
    static void Pump(const std::function<bool()>& done) { PumpUntil(done); }

    static inline std::unique_ptr<testing_support::TempDir> dir;
};

TEST_F(TimelineWindowTest, RowsZoomPanAndHomeFollowThePointer)
{
    ui::TimelineWindow& window = OpenTimeline();
    window.resize(1200, window.height());
    window.ShowWhole();
    EXPECT_EQ(window.From(), At("2024-02-29 10:00:00"));
    EXPECT_EQ(window.To(), At("2024-02-29 11:00:02"));

    // Close to the first records: each second's colour in each row.
    const ui::TimelineLayout whole = window.Layout();
    const int x = whole.Column(At("2024-02-29 10:00:05"));
    const disk::ClockSeconds pointed = window.SecondAt(x);
    for (int notch = 0; notch < 40; ++notch) {
        QWheelEvent wheel(QPointF(x, whole.RowTop(0) + 5), QPointF(), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&window, &wheel);
    }
    EXPECT_EQ(window.To() - window.From(), std::chrono::seconds{ui::TimelineWindow::kMinSeconds});
    EXPECT_EQ(window.SecondAt(x), pointed) << "the second under the pointer stays there";
    window.PanBy(-10000);
    ASSERT_EQ(window.From(), At("2024-02-29 10:00:00")) << "panning stops at the disk's first second";
    const QImage close = Shot(window, "timeline-close");
    const ui::TimelineLayout layout = window.Layout();
    auto colour = [&](const char* second, int camera) {
        const int column = layout.Column(At(second)) + 3;
        return QColor(close.pixel(column, layout.RowTop(camera) + ui::TimelineLayout::kRowHeight / 2));
    };
    using disk::CameraSecond;
    EXPECT_EQ(colour("2024-02-29 10:00:02", 0), ui::TimelineColour(CameraSecond::Recorded));
    EXPECT_EQ(colour("2024-02-29 10:00:07", 2), ui::TimelineColour(CameraSecond::NoVideo));
    EXPECT_EQ(colour("2024-02-29 10:00:07", 1), ui::TimelineColour(CameraSecond::Recorded));
    EXPECT_EQ(colour("2024-02-29 10:00:09", 0), ui::TimelineColour(CameraSecond::Overlap));

    // Dragging the title band right shows earlier seconds (over the axis
    // and the rows a drag selects); Home the whole disk again.
    window.PanBy(3 * layout.PlotWidth() / 10);
    EXPECT_EQ(window.From(), At("2024-02-29 10:00:03"));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(600, 10), QPointF(600, 10), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, QPointF(600 + layout.PlotWidth() / 5, 10),
                     QPointF(600 + layout.PlotWidth() / 5, 10), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(600 + layout.PlotWidth() / 5, 10),
                        QPointF(600 + layout.PlotWidth() / 5, 10), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &press);
    QApplication::sendEvent(&window, &move);
    QApplication::sendEvent(&window, &release);
    EXPECT_EQ(window.From(), At("2024-02-29 10:00:01"));
    EXPECT_EQ(context->volume.OpenRecordNumber(), 0) << "a drag opens nothing";
    EXPECT_FALSE(window.Selected()) << "nor selects anything";
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(&window, &home);
    EXPECT_EQ(window.From(), At("2024-02-29 10:00:00"));
    EXPECT_EQ(window.To(), At("2024-02-29 11:00:02"));
}

TEST_F(TimelineWindowTest, HoverShowsTheQuadAndAClickPlaysThatSecond)
{
    ui::TimelineWindow& window = OpenTimeline();
    window.resize(1200, window.height());
    window.ZoomAbout(ui::TimelineLayout::kLeft, 0.0);  // the first ten seconds
    const ui::TimelineLayout layout = window.Layout();
    const int x = layout.Column(At("2024-02-29 10:00:07")) + 5;
    window.HoverAt(x);
    ASSERT_TRUE(window.Hovered());
    EXPECT_EQ(window.Hovered()->second, At("2024-02-29 10:00:07"));
    ASSERT_TRUE(window.Hovered()->held);
    EXPECT_EQ(window.Hovered()->held->record, 1u);
    EXPECT_EQ(window.Hovered()->held->position, 1u);
    Shot(window, "timeline-hover-asked");  // the paint asks for the picture
    const ui::TimelineThumbnails::Entry* entry = nullptr;
    Pump([&] { return (entry = window.Thumbnails().Find(1, 1)) != nullptr; });
    ASSERT_TRUE(entry) << "the quad is decoded in the background";
    ASSERT_FALSE(entry->picture.isNull()) << entry->failure;
    // Camera 3 has no video in record 2: its cell stays black, the others not.
    const QImage& quad = entry->picture;
    auto cellMean = [&](int cell) {
        const int x0 = (cell % 2) * quad.width() / 2, y0 = (cell / 2) * quad.height() / 2;
        int64_t sum = 0;
        for (int y = y0; y < y0 + quad.height() / 2; y += 4)
            for (int xx = x0; xx < x0 + quad.width() / 2; xx += 4)
                sum += qGray(quad.pixel(xx, y));
        return sum / ((quad.height() / 8) * (quad.width() / 8));
    };
    EXPECT_GT(cellMean(0), 20);
    EXPECT_GT(cellMean(1), 20);
    EXPECT_EQ(cellMean(2), 0);
    EXPECT_GT(cellMean(3), 20);
    window.HoverAt(x);  // the pointer stays (the offscreen screen may have said it left)
    const QImage hover = Shot(window, "timeline-hover");
    EXPECT_NE(hover.pixel(x, layout.Height() + 30 + quad.height() / 4), QColor(248, 248, 248).rgb())
        << "the quad is drawn below the pointer";

    // A click opens record 2 at its second 1; the player's line follows.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, layout.RowTop(0) + 5), QPointF(x, layout.RowTop(0) + 5),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x, layout.RowTop(0) + 5), QPointF(x, layout.RowTop(0) + 5),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &press);
    QApplication::sendEvent(&window, &release);
    EXPECT_EQ(context->volume.OpenRecordNumber(), 1);
    EXPECT_EQ(engine->Position(), 1);
    window.Refresh();
    const QImage played = Shot(window, "timeline-played");
    const int line = layout.Column(At("2024-02-29 10:00:07"));
    EXPECT_EQ(QColor(played.pixel(line, layout.RowTop(3) + 3)), QColor(255, 160, 0));

    // Where nothing was recorded there is nothing to open.
    window.ShowWhole();
    const int gap = window.Layout().Column(At("2024-02-29 10:30:00"));
    window.HoverAt(gap);
    ASSERT_TRUE(window.Hovered());
    EXPECT_FALSE(window.Hovered()->held);
    window.ClickAt(gap);
    EXPECT_EQ(context->volume.OpenRecordNumber(), 1);
    EXPECT_EQ(engine->Position(), 1);
}

// A left drag over the rows selects a time range, shaded with its times;
// releasing offers to export it, and the export writes both back-to-back
// records' seconds into one file with the report listing each. A range over
// records sharing seconds is refused in a message; a plain click still
// opens the second and drops the selection.
TEST_F(TimelineWindowTest, DraggingOverTheRowsSelectsATimeRangeThatExportsAcrossRecords)
{
    ui::TimelineWindow& window = OpenTimeline();
    window.resize(1200, window.height());
    window.ZoomAbout(ui::TimelineLayout::kLeft, 0.0);  // the first ten seconds
    const ui::TimelineLayout layout = window.Layout();
    const int x0 = layout.Column(At("2024-02-29 10:00:04")) + 5;
    const int x1 = layout.Column(At("2024-02-29 10:00:07")) + 5;
    const int y = layout.RowTop(1) + 5;
    auto mouse = [&](QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(x, y), QPointF(x, y), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
    };
    mouse(QEvent::MouseButtonPress, x0, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, (x0 + x1) / 2, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, x1, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, x1, Qt::LeftButton, Qt::NoButton);
    ASSERT_TRUE(window.Selected());
    EXPECT_EQ(window.Selected()->first, At("2024-02-29 10:00:04"));
    EXPECT_EQ(window.Selected()->last, At("2024-02-29 10:00:07"));
    EXPECT_EQ(window.From(), At("2024-02-29 10:00:00")) << "the range did not move";
    EXPECT_EQ(context->volume.OpenRecordNumber(), 0) << "a drag opens nothing";
    ASSERT_TRUE(window.ExportMenu()) << "the release offers the export";
    ASSERT_EQ(window.ExportMenu()->actions().size(), 1);
    EXPECT_EQ(window.ExportMenu()->actions()[0]->text(), QStringLiteral("Export this time range\u2026"));
    window.ExportMenu()->hide();
    window.HoverAt(std::nullopt);
    const QImage shot = Shot(window, "timeline-selected");
    const int inside = layout.Column(At("2024-02-29 10:00:05")) + 3;
    const int outside = layout.Column(At("2024-02-29 10:00:02")) + 3;
    const int row = layout.RowTop(0) + ui::TimelineLayout::kRowHeight / 2;
    EXPECT_NE(QColor(shot.pixel(inside, row)), ui::TimelineColour(disk::CameraSecond::Recorded)) << "shaded";
    EXPECT_EQ(QColor(shot.pixel(outside, row)), ui::TimelineColour(disk::CameraSecond::Recorded));

    frame->savePath = dir->File("range.mpg");
    window.ExportMenu()->actions()[0]->trigger();
    ASSERT_TRUE(frame->Exporter());
    Pump([&] { return !engine->exporting.load(); });
    frame->Exporter()->Wait();
    EXPECT_EQ(frame->asked, "20240229_100004_Quad") << "named after the range's first second";
    ASSERT_TRUE(std::filesystem::exists(dir->File("range.mpg"))) << (shown.empty() ? "" : shown.back().toStdString());
    const std::string report = testing_support::ReadText(dir->File("range.mpg") + ".report.json");
    EXPECT_NE(report.find("\"time_range\""), std::string::npos);
    EXPECT_NE(report.find("\"record\": 2"), std::string::npos) << "both records' parts are listed";
    EXPECT_EQ(context->volume.OpenRecordNumber(), 0) << "the player shows the range's first record";

    // Records 2 and 3 share 10:00:08 and 10:00:09: refused, nothing written.
    window.SelectBetween(layout.Column(At("2024-02-29 10:00:07")) + 5, layout.Column(At("2024-02-29 10:00:09")) + 5);
    const std::size_t before = shown.size();
    frame->savePath = dir->File("overlap.mpg");
    window.ExportSelection();
    ASSERT_EQ(shown.size(), before + 1);
    EXPECT_NE(shown.back().toStdString().find("records 2 and 3"), std::string::npos) << shown.back().toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir->File("overlap.mpg")));

    // A click opens its second and lets the selection go; Escape drops one.
    mouse(QEvent::MouseButtonPress, x1, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, x1, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(window.Selected());
    EXPECT_EQ(context->volume.OpenRecordNumber(), 1);
    window.SelectBetween(x0, x1);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&window, &escape);
    EXPECT_FALSE(window.Selected());
}

}  // namespace

namespace {

// The heat strips, over the first record of the footage with known motion
// (camera 1 moves in seconds 5-9 and 30-33, camera 4 never moves but
// flickers in second 25).
class TimelineActivityTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ui_test::App();
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan = mkdisk::ActivityDemoPlan();
        plan.records.resize(1);
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("activity.img"))));
        platform::SetDriveImages({dir->File("activity.img")});
        volume = std::make_unique<disk::RecorderVolume>();
        ASSERT_TRUE(volume->Load(0));
    }
    static void TearDownTestSuite()
    {
        volume.reset();
        dir.reset();
    }
    static inline std::unique_ptr<testing_support::TempDir> dir;
    static inline std::unique_ptr<disk::RecorderVolume> volume;
};

TEST_F(TimelineActivityTest, StripsShowTheMovingSecondsOnceSearchedInTheBackground)
{
    ui::TimelineWindow::Hooks hooks;
    const std::shared_ptr<const disk::Volume> shared = volume->Shared();
    hooks.volume = [shared] { return shared; };
    ui::TimelineWindow window(hooks);
    window.resize(1200, window.height());
    EXPECT_TRUE(window.Activity().Searching()) << "the search starts with the window";
    EXPECT_EQ(window.Activity().StatusText().rfind("Searching for activity: ", 0), 0u);
    PumpUntil([&] { return window.Activity().Heat() != nullptr; });
    const playback::ActivityHeat* heat = window.Activity().Heat();
    ASSERT_TRUE(heat) << window.Activity().StatusText();
    EXPECT_EQ(heat->recordings, 1u);
    EXPECT_EQ(heat->failed, 0u);
    const disk::ClockSeconds begin = window.Model().first.value();
    auto active = [&](int camera, int second) {
        for (const auto& run : heat->runs[size_t(camera)])
            if (begin + std::chrono::seconds{second} >= run.begin && begin + std::chrono::seconds{second} < run.end)
                return true;
        return false;
    };
    EXPECT_TRUE(active(0, 7));
    EXPECT_TRUE(active(0, 31));
    EXPECT_FALSE(active(0, 20));
    EXPECT_TRUE(heat->runs[3].empty()) << "a flicker is not activity";

    const QImage shot = window.grab().toImage();
    if (const char* keep = std::getenv("QUILLON_SCREENSHOTS"))
        shot.save(QString::fromUtf8(keep) + "/timeline-activity.png");
    const ui::TimelineLayout layout = window.Layout();
    const int stripY = layout.RowTop(0) + ui::TimelineLayout::kRowHeight - 2;
    EXPECT_EQ(QColor(shot.pixel(layout.Column(begin + std::chrono::seconds{7}) + 2, stripY)),
              ui::TimelineWindow::ActivityColour());
    EXPECT_EQ(QColor(shot.pixel(layout.Column(begin + std::chrono::seconds{20}) + 2, stripY)),
              ui::TimelineColour(disk::CameraSecond::Recorded));
    EXPECT_EQ(window.Activity().StatusText(), "Activity (fast search): 1 recording searched");

    // The same volume again is not searched again.
    window.Refresh();
    EXPECT_FALSE(window.Activity().Searching());
}

}  // namespace
