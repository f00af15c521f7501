// The main window's commands over a real engine and a written disk: every
// button name, the view selector group, seeking and volume by the sliders,
// clicks into the video view, closing, and the version message.
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "disk/record_time.h"
#include "export/segment_exporter.h"
#include "playback/engine_harness.h"
#include "support/event_wait.h"
#include "support/succeeded.h"
#include "ui/app_context.h"
#include "ui/disk_recovery.h"
#include "ui/export_end_message.h"
#include "ui/export_progress_dialog.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"
#include "ui/skin.h"
#include "ui/video_view.h"
#include "ui_test_support.h"

namespace {

using playback::PlaybackEngine;

// The frame with scripted dialog choices and counted capture commands.
class TestFrame : public ui::CMainFrame {
public:
    using CMainFrame::CMainFrame;
    int driveChoice = 0;
    int recordChoice = 0;
    int diskDialogs = 0, recordDialogs = 0, snapshots = 0, prints = 0, exports = 0;
    // Set: "output" runs the real export with this path from its save dialog.
    std::optional<std::string> exportPath;
    std::vector<std::string> offeredNames;

protected:
    int RunDiskSelectDialog() override { return ++diskDialogs, driveChoice; }
    int RunRecordListDialog() override { return ++recordDialogs, recordChoice; }
    void TakeSnapshot() override { ++snapshots; }
    void PrintPicture() override { ++prints; }
    void StartExport() override
    {
        ++exports;
        if (exportPath)
            CMainFrame::StartExport();
    }
    std::optional<std::string> RunExportSaveDialog(const std::string& defaultName) override
    {
        offeredNames.push_back(defaultName);
        return *exportPath == "cancel" ? std::nullopt : exportPath;
    }
};

void Mouse(QWidget& widget, QEvent::Type type, QPoint at)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

class MainFrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ui_test::App();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan first;  // record 0: 8 seconds
        first.begin = {2006, 3, 15, 23, 59, 30};
        first.seconds = 8;
        mkdisk::RecordPlan second;
        second.seconds = 4;
        plan.records = {first, second};
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("frame.img"))));
        mkdisk::DiskPlan other;  // another disk: one record of 3 seconds
        mkdisk::RecordPlan only;
        only.begin = {2010, 1, 2, 3, 4, 5};
        only.seconds = 3;
        other.records = {only};
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(other, dir->File("other.img"))));
        // The program's directory: our skin and texts, and the decoding library.
        const std::string app = dir->File("app");
        ui_test::MakeAppDirectory(app);
    }
    static void TearDownTestSuite() { dir.reset(); }

    void SetUp() override
    {
        platform::SetDriveImages({dir->File("frame.img")});
        ui::SetMessagePresenter([this](ui::MessageKind, QWidget*, const QString& text) { shown.push_back(text); });
        context = std::make_unique<ui::AppContext>(dir->File("app"));
        ASSERT_TRUE(context->decoder.IsLoaded());
        auto manual = std::make_unique<engine_test::ManualTimer>();
        timer = manual.get();
        engine = std::make_unique<PlaybackEngine>(context->decoder, std::move(manual));
        frame = std::make_unique<TestFrame>(*context, *engine);
    }
    void TearDown() override
    {
        frame.reset();
        engine.reset();
        context.reset();
        ui::SetMessagePresenter({});
    }

    void Open()
    {
        frame->RunCommand("hdd");
        ASSERT_TRUE(engine->IsReady());
    }
    int State(const char* name) const
    {
        for (int i = 0; i < context->skin.Count(); ++i)
            if (context->skin.Button(i).name == name)
                return context->skin.Button(i).state;
        return -1;
    }
    std::string ViewStates() const
    {
        std::string s;
        for (const char* name : {"quad", "ch1", "ch2", "ch3", "ch4"})
            s += State(name) == ui::kStateDown ? 'D' : 'u';
        return s;
    }
    // The shown frame code in a rectangle of the video view.
    std::optional<mkdisk::FrameCode> CodeIn(const playback::CellRect& r) const
    {
        const QImage image = frame->View().Surface().Copy();
        const uint8_t* at = image.constBits() + r.top * image.bytesPerLine() + r.left * 4;
        return mkdisk::DecodeFrameCodeRgb(at, r.Width(), r.Height(), size_t(image.bytesPerLine()), 4);
    }
    QPoint PositionThumb() const
    {
        const ui::SkinSlider& s = context->skin.Slider(ui::SliderId::Position);
        return {s.current, s.y + s.axis.Height() / 2};
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    std::unique_ptr<ui::AppContext> context;
    std::unique_ptr<PlaybackEngine> engine;
    std::unique_ptr<TestFrame> frame;
    engine_test::ManualTimer* timer = nullptr;
    std::vector<QString> shown;
};

TEST_F(MainFrameTest, StartsFramelessWithTheVideoViewInPlace)
{
    EXPECT_EQ(frame->geometry(), QRect(145, 40, 925, 640));
    EXPECT_EQ(frame->windowTitle(), "Quillon");
    EXPECT_EQ(frame->View().geometry(), QRect(8, 31, 640, 480));
    EXPECT_EQ(context->skin.Count(), 23);
    EXPECT_TRUE(frame->VolumePending());
    frame->show();
    EXPECT_EQ(frame->View().Surface().Copy().pixel(320, 240), ui::VideoView::kIdleColour) << "no record: dark red";
    EXPECT_TRUE(shown.empty());
}

TEST_F(MainFrameTest, LoadingADiskSearchesItAndItsRecoveredRecordingsOpenLikeRecords)
{
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::RecoverDemoPlan(), dir->File("recover.img"))));
    platform::SetDriveImages({dir->File("recover.img")});
    Open();
    ui::DiskRecovery& search = frame->Recovery();
    EXPECT_EQ(search.CurrentState(), ui::DiskRecovery::State::Scanning) << "beside the record just opened";
    EXPECT_EQ(search.Scanned(), context->volume.Shared());
    ASSERT_TRUE(testing_support::ProcessEventsUntil(
        [&] { return search.CurrentState() != ui::DiskRecovery::State::Scanning; }));
    ASSERT_EQ(search.StatusText(), "5 unlisted recordings found");
    EXPECT_EQ(context->volume.OpenRecordNumber(), 0) << "playback left alone";

    // The carved run (the list's seventh row): it plays, and its time, never
    // recorded, is its id and position.
    frame->recordChoice = 6;
    frame->RunCommand("list");
    ASSERT_EQ(context->volume.OpenRecordNumber(), 6);
    EXPECT_EQ(context->volume.Shared()->RecordingName(6), "c1");
    EXPECT_EQ(engine->Length(), 3);
    EXPECT_EQ(engine->CurrentStamp().Text(disk::StampStyle::Panel), "c1 +00:00:00");
    frame->RunCommand("play");
    timer->Fire(25);
    EXPECT_EQ(engine->Position(), 1);
    EXPECT_EQ(engine->CurrentStamp().Text(disk::StampStyle::Panel), "c1 +00:00:01");
    EXPECT_EQ(CodeIn(engine->Cells()[2]), (mkdisk::FrameCode{2, 1, 0}));

    // A listed record again, through the same volume.
    frame->recordChoice = 1;
    frame->RunCommand("list");
    ASSERT_EQ(context->volume.OpenRecordNumber(), 1);
    EXPECT_EQ(engine->CurrentStamp().Text(disk::StampStyle::List), "2024/06/01 08:40:00");

    // Another disk: the search starts again for it; the old one's recordings
    // are not offered for it.
    platform::SetDriveImages({dir->File("frame.img")});
    frame->recordChoice = 0;
    frame->RunCommand("hdd");
    EXPECT_EQ(search.Scanned(), context->volume.Shared());
    EXPECT_EQ(search.VolumeFor(context->volume.Shared()), nullptr);
    ASSERT_TRUE(testing_support::ProcessEventsUntil(
        [&] { return search.CurrentState() != ui::DiskRecovery::State::Scanning; }));
    EXPECT_EQ(search.StatusText(), "No unlisted recording found");
}

TEST_F(MainFrameTest, BeforeADiskOnlyListComplainsAndNothingPlays)
{
    frame->RunCommand("list");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], ui::UiString(frame->Texts().Text(17)));
    EXPECT_FALSE(shown[0].isEmpty());
    EXPECT_EQ(frame->recordDialogs, 0);
    for (const char* name :
         {"play", "next", "prev", "rewind", "fast", "snap", "print", "output", "segment", "nonsense"})
        frame->RunCommand(name);
    EXPECT_FALSE(engine->IsPlaying());
    EXPECT_FALSE(timer->IsRunning());
    EXPECT_EQ(frame->snapshots + frame->prints + frame->exports, 0);
    EXPECT_EQ(engine->MarkBegin(), -1);
    // Sound is the one thing that works without a record: the first press turns it on.
    EXPECT_TRUE(engine->SoundOff());
    frame->RunCommand("sound");
    EXPECT_FALSE(engine->SoundOff());
    frame->RunCommand("sound");
    EXPECT_TRUE(engine->SoundOff());
}

TEST_F(MainFrameTest, CancelledOrFailedChoicesChangeNothing)
{
    frame->driveChoice = -1;
    frame->RunCommand("hdd");
    EXPECT_EQ(frame->recordDialogs, 0);
    frame->driveChoice = 7;  // no such drive
    frame->RunCommand("hdd");
    EXPECT_EQ(frame->recordDialogs, 0);
    EXPECT_EQ(context->currentDrive, -1);
    frame->driveChoice = 0;
    frame->recordChoice = -1;
    frame->RunCommand("hdd");
    EXPECT_EQ(context->currentDrive, 0);
    EXPECT_EQ(frame->recordDialogs, 1);
    EXPECT_FALSE(engine->IsReady());
    EXPECT_TRUE(frame->VolumePending());
    frame->RunCommand("list");  // the drive is loaded now: no message, the list again
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(frame->recordDialogs, 2);
}

// The disk shown is known by the path it was opened from, not by its drive
// number: a dialog run (a cancelled one too) took the table afresh with
// another image first, yet choosing the shown disk in its new row and
// cancelling the record list brings the record back where it stood.
TEST_F(MainFrameTest, TheShownDiskIsRecognisedInANewRowOfTheDriveTable)
{
    Open();
    ASSERT_EQ(engine->ShowPosition(5, true, true), 1);
    platform::SetDriveImages({dir->File("other.img"), dir->File("frame.img")});
    ASSERT_EQ(platform::SnapshotDrives().at(1).path, dir->File("frame.img"));
    frame->driveChoice = 1;
    frame->recordChoice = -1;
    frame->RunCommand("hdd");
    ASSERT_TRUE(engine->IsReady());
    EXPECT_EQ(engine->Position(), 5);
    EXPECT_EQ(context->volume.DiskIdentity().path, dir->File("frame.img"));
}

// Nothing on screen: the engine not ready, the view in its idle colour, and
// no command that needs a record does anything.
void ExpectIdle(TestFrame& frame, PlaybackEngine& engine, engine_test::ManualTimer& timer)
{
    EXPECT_FALSE(engine.IsReady());
    EXPECT_EQ(frame.View().Surface().Copy().pixel(320, 240), ui::VideoView::kIdleColour);
    EXPECT_EQ(engine.MarkBegin(), -1);
    const int captures = frame.snapshots + frame.prints + frame.exports;
    for (const char* name : {"play", "next", "prev", "rewind", "fast", "ch2", "segment", "snap", "print", "output"})
        frame.RunCommand(name);
    timer.Fire(40);
    EXPECT_FALSE(engine.IsPlaying());
    EXPECT_FALSE(timer.IsRunning());
    EXPECT_EQ(engine.Position(), 0);
    EXPECT_EQ(engine.MarkBegin(), -1);
    EXPECT_EQ(frame.snapshots + frame.prints + frame.exports, captures);
    EXPECT_EQ(frame.View().Surface().Copy().pixel(320, 240), ui::VideoView::kIdleColour);
}

TEST_F(MainFrameTest, AFailedReloadUnderAnOpenRecordLeavesTheWindowIdle)
{
    frame->show();
    Open();
    frame->RunCommand("play");
    frame->driveChoice = 7;  // no such drive: the volume is left unloaded
    frame->RunCommand("hdd");
    EXPECT_FALSE(timer->IsRunning()) << "no tick reads the volume while it is reloaded";
    ExpectIdle(*frame, *engine, *timer);
    frame->RunCommand("list");
    EXPECT_EQ(shown.size(), 1u) << "no disk: the list says so";
}

// "hdd", OK, then Cancel in the record list: Load dropped the open record.
// On the same disk the record comes back where it stood; on another disk the
// window is idle until a record of that disk is chosen.
TEST_F(MainFrameTest, CancelledRecordListAfterHddReturnsToTheRecordOnTheSameDiskOnly)
{
    platform::SetDriveImages({dir->File("frame.img"), dir->File("other.img")});
    frame->show();
    Open();
    ASSERT_EQ(engine->ShowPosition(5, true, true), 1);
    frame->RunCommand("segment");
    frame->RunCommand("ch2");
    frame->recordChoice = -1;
    frame->RunCommand("hdd");
    ASSERT_TRUE(engine->IsReady());
    EXPECT_EQ(engine->Position(), 5);
    EXPECT_EQ(disk::FormatRecordTime(engine->PositionTime()), "2006/03/15 23:59:35") << "what snap stamps";
    EXPECT_EQ(engine->MarkBegin(), 5);
    EXPECT_EQ(ViewStates(), "uuDuu");
    const auto whole = CodeIn({0, 0, 640, 480});
    ASSERT_TRUE(whole);
    EXPECT_EQ(*whole, (mkdisk::FrameCode{1, 5, 0}));
    frame->RunCommand("play");
    timer->Fire(30);
    EXPECT_EQ(engine->Position(), 6) << "plays on";
    frame->RunCommand("prev");
    EXPECT_EQ(engine->Position(), 5);

    frame->driveChoice = 1;
    frame->RunCommand("hdd");
    EXPECT_EQ(context->currentDrive, 1);
    ExpectIdle(*frame, *engine, *timer);

    // The other disk's list opens its record as usual.
    frame->recordChoice = 0;
    frame->RunCommand("list");
    ASSERT_TRUE(engine->IsReady());
    EXPECT_EQ(engine->Length(), 3);
    EXPECT_EQ(engine->PositionTime().year, 2010);
    EXPECT_EQ(ViewStates(), "Duuuu");
}

TEST_F(MainFrameTest, OpeningARecordShowsItInQuadWithTheVolumeSet)
{
    frame->show();
    frame->RunCommand("hdd");
    ASSERT_TRUE(engine->IsReady());
    EXPECT_EQ(context->currentDrive, 0);
    EXPECT_EQ(context->currentRecord, 0);
    EXPECT_EQ(engine->Position(), 0);
    EXPECT_EQ(ViewStates(), "Duuuu");
    EXPECT_FALSE(frame->VolumePending());
    for (int camera = 0; camera < 4; ++camera) {
        const auto code = CodeIn(engine->Cells()[camera]);
        ASSERT_TRUE(code) << camera;
        EXPECT_EQ(code->second, 0u);
    }
    // The volume thumb stands where the sound output's volume says.
    const ui::SkinSlider& volume = context->skin.Slider(ui::SliderId::Volume);
    EXPECT_EQ(volume.current - volume.trackLeft,
              engine->Sound().GetVolume() * (volume.trackRight - volume.trackLeft) / 100);

    // A one-camera view is left for the quad when another record opens.
    frame->RunCommand("ch3");
    frame->recordChoice = 1;
    frame->RunCommand("list");
    EXPECT_EQ(context->currentRecord, 1);
    EXPECT_EQ(engine->ViewMode(), PlaybackEngine::kQuadView);
    EXPECT_EQ(ViewStates(), "Duuuu");
}

TEST_F(MainFrameTest, EveryPlaybackButtonReachesTheEngine)
{
    Open();
    frame->RunCommand("play");
    EXPECT_TRUE(engine->IsPlaying());
    EXPECT_FALSE(engine->IsReverse());
    timer->Fire(30);
    EXPECT_EQ(engine->Position(), 1);
    frame->RunCommand("pause");
    EXPECT_FALSE(engine->IsPlaying());
    frame->RunCommand("next");
    EXPECT_EQ(engine->Position(), 1);
    frame->RunCommand("prev");
    EXPECT_EQ(engine->Position(), 0);
    frame->RunCommand("fast");
    EXPECT_EQ(engine->Speed(), 2.0f);
    frame->RunCommand("slow");
    frame->RunCommand("slow");
    EXPECT_EQ(engine->Speed(), 0.5f);
    frame->RunCommand("fast");
    frame->RunCommand("rewind");
    EXPECT_TRUE(engine->IsPlaying());
    EXPECT_TRUE(engine->IsReverse());

    frame->RunCommand("segment");
    EXPECT_EQ(engine->MarkBegin(), 0);
    frame->RunCommand("snap");
    EXPECT_EQ(frame->snapshots, 1);
    EXPECT_FALSE(engine->IsPlaying()) << "snapshot halts first";
    frame->RunCommand("play");
    frame->RunCommand("print");
    EXPECT_EQ(frame->prints, 1);
    EXPECT_FALSE(engine->IsPlaying());
    frame->RunCommand("output");
    EXPECT_EQ(frame->exports, 1);
    // Names are exact: case and spaces count.
    frame->RunCommand("Play");
    frame->RunCommand("play ");
    EXPECT_FALSE(engine->IsPlaying());
}

TEST_F(MainFrameTest, ViewButtonsAndClicksSelectTheViewGroupWise)
{
    Open();
    frame->RunCommand("ch2");
    EXPECT_EQ(ViewStates(), "uuDuu");
    EXPECT_EQ(engine->ViewMode(), PlaybackEngine::kSingleView);
    EXPECT_EQ(engine->SelectedCamera(), 1);
    const auto whole = CodeIn({0, 0, 640, 480});
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->camera, 1u);

    // One camera: any click goes back to the quad.
    Mouse(frame->View(), QEvent::MouseButtonPress, {5, 5});
    EXPECT_EQ(ViewStates(), "Duuuu");
    EXPECT_EQ(engine->ViewMode(), PlaybackEngine::kQuadView);
    // Quad: a click into cell 3 selects camera 3 with "ch4" down; a double
    // click does the same as a press.
    Mouse(frame->View(), QEvent::MouseButtonDblClick, {500, 400});
    EXPECT_EQ(ViewStates(), "uuuuD");
    EXPECT_EQ(engine->SelectedCamera(), 3);
    Mouse(frame->View(), QEvent::MouseButtonPress, {1, 1});
    Mouse(frame->View(), QEvent::MouseButtonPress, {320, 100});  // on the cells' border: none
    EXPECT_EQ(ViewStates(), "Duuuu");
    EXPECT_EQ(engine->ViewMode(), PlaybackEngine::kQuadView);
    Mouse(frame->View(), QEvent::MouseButtonPress, {100, 100});
    EXPECT_EQ(ViewStates(), "uDuuu");
    frame->RunCommand("quad");
    EXPECT_EQ(ViewStates(), "Duuuu");

    // While exporting the view ignores clicks.
    engine->exporting = true;
    Mouse(frame->View(), QEvent::MouseButtonPress, {100, 100});
    EXPECT_EQ(ViewStates(), "Duuuu");
    engine->exporting = false;
}

TEST_F(MainFrameTest, DraggingThePositionThumbSeeksAndResumesAsBefore)
{
    Open();
    const ui::SkinSlider& slider = context->skin.Slider(ui::SliderId::Position);
    const int range = slider.trackRight - slider.trackLeft;
    ASSERT_GT(range, 0);
    const int length = engine->Length();
    ASSERT_EQ(length, 8);

    // Halted: the drag seeks and leaves playback halted.
    const QPoint grab = PositionThumb();
    Mouse(*frame, QEvent::MouseButtonPress, grab);
    ASSERT_TRUE(context->skin.PositionDrag());
    const int x = slider.trackLeft + range / 2 + 3;
    Mouse(*frame, QEvent::MouseMove, {x, grab.y()});
    EXPECT_EQ(engine->Position(), length * (range / 2 + 3) / range);
    Mouse(*frame, QEvent::MouseButtonRelease, {x, grab.y()});
    EXPECT_FALSE(engine->IsPlaying());

    // The right end names Length itself: refused, the last position stays.
    Mouse(*frame, QEvent::MouseButtonPress, PositionThumb());
    Mouse(*frame, QEvent::MouseMove, {slider.trackRight + 40, grab.y()});
    EXPECT_EQ(engine->Position(), length * (range / 2 + 3) / range);
    // Left of the track is position 0.
    Mouse(*frame, QEvent::MouseMove, {slider.trackLeft - 40, grab.y()});
    EXPECT_EQ(engine->Position(), 0);
    Mouse(*frame, QEvent::MouseButtonRelease, {slider.trackLeft - 40, grab.y()});

    // Playing in reverse: halted during the drag, reverse again after it,
    // and the release of a drag runs no command.
    frame->RunCommand("next");
    frame->RunCommand("next");
    frame->RunCommand("rewind");
    ASSERT_TRUE(engine->IsReverse());
    Mouse(*frame, QEvent::MouseButtonPress, PositionThumb());
    ASSERT_TRUE(context->skin.PositionDrag());
    Mouse(*frame, QEvent::MouseMove, {slider.trackLeft + range / 4, grab.y()});
    EXPECT_FALSE(engine->IsPlaying());
    Mouse(*frame, QEvent::MouseButtonRelease, {slider.trackLeft + range / 4, grab.y()});
    EXPECT_TRUE(engine->IsPlaying());
    EXPECT_TRUE(engine->IsReverse());
}

TEST_F(MainFrameTest, VolumeFollowsItsThumb)
{
    Open();
    ASSERT_TRUE(engine->Sound().IsOpen()) << "the dummy sound driver gives a device";
    const ui::SkinSlider& slider = context->skin.Slider(ui::SliderId::Volume);
    const int range = slider.trackRight - slider.trackLeft;
    frame->SetVolume(100);
    EXPECT_EQ(slider.current, slider.trackRight);
    const QPoint grab(slider.current, slider.y + slider.axis.Height() / 2);
    Mouse(*frame, QEvent::MouseButtonPress, grab);
    ASSERT_TRUE(context->skin.VolumeDrag());
    Mouse(*frame, QEvent::MouseMove, {slider.trackLeft + range * 3 / 10, grab.y()});
    const int volume = range * 3 / 10 * 100 / range;
    EXPECT_NEAR(engine->Sound().GetVolume(), volume, 1) << "read back from the device's 16-bit level";
    // Off the track: the volume stays as it was.
    Mouse(*frame, QEvent::MouseMove, {slider.trackLeft - 5, grab.y()});
    EXPECT_NEAR(engine->Sound().GetVolume(), volume, 1);
    Mouse(*frame, QEvent::MouseMove, {slider.trackRight + 5, grab.y()});
    EXPECT_NEAR(engine->Sound().GetVolume(), volume, 1);
    Mouse(*frame, QEvent::MouseButtonRelease, {slider.trackRight + 5, grab.y()});
    EXPECT_FALSE(engine->IsPlaying());
}

TEST_F(MainFrameTest, AButtonRunsItsCommandWhereverItIsReleasedButNotWhileExporting)
{
    Open();
    const ui::SkinButton* fast = nullptr;
    for (int i = 0; i < context->skin.Count(); ++i)
        if (context->skin.Button(i).name == "fast")
            fast = &context->skin.Button(i);
    ASSERT_TRUE(fast);
    const QPoint centre((fast->left + fast->right) / 2, (fast->top + fast->bottom) / 2);
    Mouse(*frame, QEvent::MouseButtonPress, centre);
    Mouse(*frame, QEvent::MouseMove, {300, 300});
    Mouse(*frame, QEvent::MouseButtonRelease, {300, 300});
    EXPECT_EQ(engine->Speed(), 2.0f);

    engine->exporting = true;
    Mouse(*frame, QEvent::MouseButtonPress, centre);
    Mouse(*frame, QEvent::MouseButtonRelease, centre);
    EXPECT_EQ(engine->Speed(), 2.0f);
    engine->exporting = false;
}

TEST_F(MainFrameTest, OutputNeedsAnEndMarkAndANameEndingInMpgOrAvi)
{
    Open();
    frame->exportPath = dir->File("x.mpg");
    frame->RunCommand("output");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], ui::UiString(frame->Texts().Text(19)));
    EXPECT_TRUE(frame->offeredNames.empty()) << "no save dialog without an end mark";

    frame->RunCommand("segment");
    ASSERT_EQ(engine->ShowPosition(5, true, true), 1);
    frame->RunCommand("segment");
    ASSERT_EQ(engine->MarkEnd(), 5);
    frame->exportPath = "cancel";
    frame->RunCommand("output");
    ASSERT_EQ(frame->offeredNames.size(), 1u);
    EXPECT_EQ(frame->offeredNames[0], "20060315_235935_Quad");
    EXPECT_EQ(shown.size(), 1u) << "a cancelled dialog says nothing";

    frame->exportPath = dir->File("x.MPG");
    frame->RunCommand("output");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1], ui::UiString(frame->Texts().Text(18)));
    EXPECT_FALSE(std::filesystem::exists(dir->File("x.MPG")));
    EXPECT_FALSE(engine->exporting.load());
}

TEST_F(MainFrameTest, OutputExportsOnItsThreadIgnoringButtonsThenReportsAndReturns)
{
    Open();
    frame->RunCommand("segment");
    ASSERT_EQ(engine->ShowPosition(5, true, true), 1);
    frame->RunCommand("segment");
    ASSERT_EQ(engine->ShowPosition(2, true, true), 1);
    frame->RunCommand("ch2");
    frame->exportPath = dir->File("gui.avi");
    frame->RunCommand("output");
    EXPECT_EQ(frame->offeredNames.back(), "20060315_235932_Camera02");
    ASSERT_TRUE(frame->Exporter());
    EXPECT_TRUE(engine->exporting.load()) << "set before the command returns";
    frame->RunCommand("fast");
    EXPECT_TRUE(frame->MouseIgnoredForTest());
    while (frame->Exporter()->IsRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    frame->Exporter()->Wait();
    QCoreApplication::processEvents();
    EXPECT_FALSE(engine->exporting.load());
    EXPECT_FALSE(frame->ExportDialog()->isVisible());
    EXPECT_EQ(frame->ExportDialog()->windowTitle(), "Output File");
    EXPECT_EQ(frame->ExportDialog()->Bar().value(), 100);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), ui::UiString(frame->Texts().Text(20)));
    EXPECT_EQ(engine->Position(), 2) << "back where playback was";
    EXPECT_TRUE(std::filesystem::file_size(dir->File("gui.avi")) > 10000);
    {
        // Its report beside it, naming the view and the file's SHA-256 as sha256sum gives it.
        std::ifstream in(dir->File("gui.avi.report.json"));
        const std::string report((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        FILE* pipe = ::popen(("sha256sum '" + dir->File("gui.avi") + "'").c_str(), "r");
        char sha[65]{};
        ASSERT_TRUE(pipe && std::fread(sha, 1, 64, pipe) == 64);
        ::pclose(pipe);
        EXPECT_NE(report.find("\"sha256\": \"" + std::string(sha) + "\""), std::string::npos) << report;
        EXPECT_NE(report.find("\"view\": \"2\""), std::string::npos);
        EXPECT_NE(report.find("\"complete\": true"), std::string::npos);
    }

    // The exporter and its dialog are kept for the next export.
    auto* exporter = frame->Exporter();
    frame->exportPath = dir->File("gui.mpg");
    frame->RunCommand("output");
    EXPECT_EQ(frame->Exporter(), exporter);
    frame->close();  // stops the export; the window closes once the file is finished
    while (exporter->IsRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
    EXPECT_FALSE(frame->isVisible());
}

// The save dialog's two newer filters: the master and the MP4 working copy
// go the same way as the older exports, chosen by the extension.
TEST_F(MainFrameTest, OutputWritesTheMasterAndTheWorkingCopyByTheirExtension)
{
    Open();
    frame->RunCommand("segment");
    ASSERT_EQ(engine->ShowPosition(4, true, true), 1);  // marks lie more than three seconds apart
    frame->RunCommand("segment");
    ASSERT_EQ(engine->ShowPosition(1, true, true), 1);
    for (const auto& [name, codec] : {std::pair{"gui.mkv", "mpeg4"}, std::pair{"gui.mp4", "h264"}}) {
        SCOPED_TRACE(name);
        frame->exportPath = dir->File(name);
        frame->RunCommand("output");
        ASSERT_TRUE(frame->Exporter());
        while (frame->Exporter()->IsRunning())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        frame->Exporter()->Wait();
        QCoreApplication::processEvents();
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), ui::UiString(frame->Texts().Text(20)));
        EXPECT_EQ(engine->Position(), 1) << "back where playback was";
        FILE* pipe = ::popen(("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 '" +
                              dir->File(name) + "'")
                                 .c_str(),
                             "r");
        char text[32]{};
        ASSERT_TRUE(pipe && std::fgets(text, sizeof text, pipe));
        ::pclose(pipe);
        EXPECT_EQ(std::string(text), std::string(codec) + "\n");
        EXPECT_TRUE(std::filesystem::exists(dir->File(name) + ".report.json"));
    }
}

TEST_F(MainFrameTest, AnExportThatCannotBeWrittenSaysSoInsteadOfFinished)
{
    Open();
    frame->RunCommand("segment");
    ASSERT_EQ(engine->ShowPosition(6, true, true), 1);
    frame->RunCommand("segment");
    frame->exportPath = dir->File("full.mpg");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 300 * 1024;  // a disk that fills up during the export
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    frame->RunCommand("output");
    while (frame->Exporter() && frame->Exporter()->IsRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back(), ui::UiString(frame->Texts().Text(20)));
    EXPECT_TRUE(shown.back().contains("incomplete")) << shown.back().toStdString();
    EXPECT_FALSE(engine->exporting.load());
}

// The disk gives out under the export (its image cut short before position
// 4): that second cannot be read, so the export fails, the window says so
// and why, and no file is left; never that it finished.
TEST_F(MainFrameTest, AnExportWhoseDiskGivesOutSaysItFailedInsteadOfFinished)
{
    const std::string cut = dir->File("cut.img");
    std::filesystem::copy_file(dir->File("frame.img"), cut, std::filesystem::copy_options::overwrite_existing);
    platform::SetDriveImages({cut});
    Open();
    frame->RunCommand("segment");
    ASSERT_EQ(engine->ShowPosition(6, true, true), 1);
    frame->RunCommand("segment");
    ASSERT_EQ(engine->ShowPosition(1, true, true), 1);  // marks 0 and 6
    disk::SectorRange fourth;
    ASSERT_TRUE(context->volume.SegmentSectors(4, fourth));
    std::filesystem::resize_file(cut, uint64_t(fourth.first) * 512);
    frame->exportPath = dir->File("cut.mpg");
    frame->RunCommand("output");
    ASSERT_TRUE(frame->Exporter());
    while (frame->Exporter()->IsRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    frame->Exporter()->Wait();
    QCoreApplication::processEvents();
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back(), ui::UiString(frame->Texts().Text(20)));
    EXPECT_TRUE(shown.back().startsWith("The export failed")) << shown.back().toStdString();
    EXPECT_TRUE(shown.back().contains("position 4")) << shown.back().toStdString();
    EXPECT_TRUE(shown.back().contains("No file was left")) << shown.back().toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir->File("cut.mpg")));
    EXPECT_FALSE(std::filesystem::exists(dir->File("cut.mpg.report.json")));
    EXPECT_FALSE(engine->exporting.load());
}

// Each way a run can end, in the window's words: the completion message
// (nothing of its own) only for a run that reached the end mark or was
// stopped; any other end, including one this window does not know by name,
// says why with the run's own reason.
TEST(ExportEndMessageTest, OnlyACompletedOrStoppedRunGetsTheCompletionMessage)
{
    using End = exporter::ExportOutcome::End;
    const auto time = [](int position) { return "T" + std::to_string(position); };
    exporter::ExportOutcome outcome;
    outcome.firstPosition = 2;
    outcome.lastPosition = 4;
    for (const End end : {End::Completed, End::Stopped}) {
        outcome.end = end;
        EXPECT_FALSE(ui::ExportEndMessage(outcome, time, "not closed"));
    }
    outcome.end = End::RecordEnded;
    EXPECT_EQ(ui::ExportEndMessage(outcome, time, "not closed"),
              "The export ended before the end mark: the record ends, or could not be read further.\n"
              "The exported file holds T2 to T4 only.");
    outcome.end = End::NothingRead;
    outcome.error = "position 2: Input/output error";
    EXPECT_EQ(ui::ExportEndMessage(outcome, time, "not closed"),
              "The export could read nothing at the begin mark: position 2: Input/output error.\nNo file was written.");
    outcome.end = End::WriteFailed;
    EXPECT_EQ(ui::ExportEndMessage(outcome, time, "not closed"),
              "position 2: Input/output error\nThe exported file is incomplete.");
    outcome.error.clear();
    EXPECT_EQ(ui::ExportEndMessage(outcome, time, "not closed"), "not closed\nThe exported file is incomplete.");
    outcome.end = static_cast<End>(99);  // an end added later
    outcome.error = "a read failed";
    outcome.firstPosition = outcome.lastPosition = -1;
    EXPECT_EQ(ui::ExportEndMessage(outcome, time, "not closed"),
              "The export ended early: a read failed.\nThe exported file holds no picture. The exported file is "
              "incomplete.");
}

// Pictures read but not decoded are said whatever the end, the first three
// by name, the rest left to the report.
TEST(ExportEndMessageTest, PicturesThatCouldNotBeDecodedAreSaid)
{
    exporter::ExportOutcome outcome;
    EXPECT_FALSE(ui::UndecodedMessage(outcome));
    outcome.undecoded.push_back({-1, 1, 7, 1, "2006/03/15 23:59:37"});
    EXPECT_EQ(ui::UndecodedMessage(outcome),
              "1 picture was read but could not be decoded (damaged frames); the exported file shows no picture in "
              "their place:\ncamera 2 at position 7 (2006/03/15 23:59:37): 1 picture.");
    for (int position = 8; position < 12; ++position)
        outcome.undecoded.push_back({2, 0, position, 2, "T"});
    const auto said = ui::UndecodedMessage(outcome);
    ASSERT_TRUE(said);
    EXPECT_EQ(said->substr(0, 15), "9 pictures were");
    EXPECT_NE(said->find("record 3, camera 1 at position 9 (T): 2 pictures; and 2 more (the export's report"),
              std::string::npos)
        << *said;
}

TEST_F(MainFrameTest, ClosingHaltsCancelsTheTimerAndWaits)
{
    Open();
    frame->show();
    frame->RunCommand("play");
    ASSERT_TRUE(timer->IsRunning());
    const auto start = std::chrono::steady_clock::now();
    frame->RunCommand("exit");
    EXPECT_TRUE(frame->isVisible()) << "exit posts the close request";
    QCoreApplication::processEvents();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_FALSE(frame->isVisible());
    EXPECT_FALSE(engine->IsPlaying());
    EXPECT_FALSE(timer->IsRunning());
    EXPECT_EQ(engine->TimerPeriod(), 0u);
}

TEST_F(MainFrameTest, VersionMessage)
{
    QString text, caption;
    int icon = -1;
    QTimer::singleShot(0, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                text = box->text();
                caption = box->windowTitle();
                icon = box->icon();
                EXPECT_EQ(box->parentWidget(), frame.get());
                box->accept();
            }
    });
    frame->ShowVersion();
    EXPECT_EQ(text, "Torvane Version 1.5.0012");
    EXPECT_EQ(caption, "Quillon PlayBack");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_FALSE(frame->HotKeyRegistered()) << "no X11 here: no hot key";
}

}  // namespace
