// Going to a time: the dialog's live results and its layout, and the main
// window opening the chosen record at the chosen position (Ctrl+G), over a
// real engine and a written disk. Headless (offscreen).
#include <QAction>
#include <QTimer>

#include <filesystem>

#include "disk/timeline.h"
#include "frame_harness.h"
#include "playback/engine_harness.h"
#include "support/succeeded.h"
#include "ui/app_context.h"
#include "ui/goto_time_dialog.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"
#include "ui/video_view.h"
#include "ui_test_support.h"

namespace {

using playback::PlaybackEngine;

disk::ClockSeconds At(const char* text) { return disk::ParseClockTime(text).value_or(disk::ClockSeconds{}); }

// The frame with a scripted go-to-time choice (unless `real`).
class GotoFrame : public ui::CMainFrame {
public:
    using CMainFrame::CMainFrame;
    bool real = false;
    int record = 0, position = 0, dialogs = 0;

protected:
    int RunDiskSelectDialog() override { return 0; }
    int RunRecordListDialog() override { return 0; }
    bool RunGotoTimeDialog(int& r, int& p) override
    {
        ++dialogs;
        if (real)
            return CMainFrame::RunGotoTimeDialog(r, p);
        r = record, p = position;
        return true;
    }
};

class GotoTimeTest : public ::testing::Test, protected ui_test::FrameHarness<GotoFrame> {
protected:
    static void SetUpTestSuite()
    {
        ui_test::App();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        dir = std::make_unique<testing_support::TempDir>();
        // Record 1 at 10:00:00 for 6 s; record 2 right after it (4 s, 720 x 288);
        // record 3 overlapping record 2 by two seconds.
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan first, second, third;
        first.begin = {2024, 2, 29, 10, 0, 0};
        first.seconds = 6;
        second.begin = {2024, 2, 29, 10, 0, 6};
        second.seconds = 4;
        second.format = mkdisk::PictureFormat::k720x288;
        third.begin = {2024, 2, 29, 10, 0, 8};
        third.seconds = 3;
        plan.records = {first, second, third};
        for (auto& r : plan.records)
            r.qscale = 31;
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("goto.img"))));
        const std::string app = dir->File("app");
        ui_test::MakeAppDirectory(app);
    }
    static void TearDownTestSuite() { dir.reset(); }

    void SetUp() override { Start(dir->File("goto.img"), dir->File("app")); }
    void TearDown() override { Stop(); }
    // The shown frame code of camera 1 (the quad's top-left cell).
    std::optional<mkdisk::FrameCode> TopLeftCode() const
    {
        const QImage image = frame->View().Surface().Copy();
        return mkdisk::DecodeFrameCodeRgb(image.constBits(), 320, 240, size_t(image.bytesPerLine()), 4);
    }
    QAction* GotoAction() const
    {
        for (QAction* action : frame->actions())
            if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_G))
                return action;
        return nullptr;
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
};

std::vector<disk::PlacedRecord> Records()
{
    return {{0, At("2024-02-29 10:00:00"), 6, 1},
            {1, At("2024-02-29 10:00:06"), 4, 0},
            {2, At("2024-02-29 10:00:08"), 3, 2},
            {3, At("2024-02-29 11:00:00"), 2, 3}};
}

TEST_F(GotoTimeTest, DialogShowsWhatLocateFindsAsTheTextChanges)
{
    ui::GotoTimeDialog dialog(frame.get(), Records(), At("2024-02-29 10:00:03"));
    EXPECT_EQ(dialog.TimeEdit().text(), "2024-02-29 10:00:03");
    ASSERT_EQ(dialog.Results().count(), 1);
    EXPECT_EQ(dialog.Results().item(0)->text().toStdString(), "Recorded in record 1 (A), position 3");
    ASSERT_TRUE(dialog.Chosen());
    EXPECT_EQ(dialog.Chosen()->record, 0u);
    EXPECT_EQ(dialog.Chosen()->position, 3u);

    dialog.TimeEdit().setText("2024-02-29 10:00:09");  // two records overlap here
    ASSERT_EQ(dialog.Results().count(), 2);
    EXPECT_EQ(dialog.Results().item(1)->text().toStdString(), "Recorded in record 3 (S), position 1");
    EXPECT_EQ(dialog.Chosen()->record, 1u) << "the first holder is marked";
    dialog.Results().setCurrentRow(1);
    EXPECT_EQ(dialog.Chosen()->record, 2u);
    EXPECT_EQ(dialog.Chosen()->position, 1u);

    dialog.TimeEdit().setText("2024-02-29 10:40:00");  // in the gap: 39 min 50 s after record 3, 20 min before record 4
    ASSERT_EQ(dialog.Results().count(), 3);
    EXPECT_FALSE(dialog.Results().item(0)->flags() & Qt::ItemIsSelectable) << "the heading is no place to go";
    EXPECT_EQ(dialog.Results().item(1)->text().toStdString(),
              "2390 s before: 2024/02/29 10:00:10, record 3 (S), position 2");
    EXPECT_EQ(dialog.Results().item(2)->text().toStdString(),
              "1200 s after: 2024/02/29 11:00:00, record 4 (M), position 0");
    EXPECT_EQ(dialog.Chosen()->record, 3u) << "the nearer side is marked";
    EXPECT_TRUE(dialog.OkButton().isEnabled());
    dialog.Results().setCurrentRow(0);
    EXPECT_FALSE(dialog.Chosen());

    for (const char* bad : {"2024-02-30 10:00:00", "10:00", ""}) {
        dialog.TimeEdit().setText(bad);
        EXPECT_EQ(dialog.Results().count(), 1) << bad;
        EXPECT_FALSE(dialog.Chosen()) << bad;
        EXPECT_FALSE(dialog.OkButton().isEnabled()) << bad;
    }
    ui::GotoTimeDialog empty(frame.get(), {}, At("2024-02-29 10:00:03"));
    EXPECT_FALSE(empty.Chosen());
    EXPECT_EQ(empty.Results().item(0)->text().toStdString(), "No record of this disk holds any second");

    // Every control inside the dialog, none on top of another.
    const std::vector<QWidget*> controls = {&dialog.TimeEdit(), &dialog.Results(), &dialog.OkButton()};
    for (size_t i = 0; i < controls.size(); ++i) {
        EXPECT_TRUE(dialog.rect().contains(controls[i]->geometry())) << i;
        for (size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry())) << i << " " << j;
    }
}

TEST_F(GotoTimeTest, CtrlGOpensTheRecordAtThePositionOnlyWithADisk)
{
    QAction* key = GotoAction();
    ASSERT_TRUE(key) << "Ctrl+G is bound on the main window";
    key->trigger();
    EXPECT_EQ(frame->dialogs, 0) << "no disk yet: the no-drive message instead";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], ui::UiString(frame->Texts().Text(17)));

    frame->RunCommand("hdd");
    ASSERT_TRUE(engine->IsReady());
    EXPECT_EQ(engine->Position(), 0);
    frame->RunCommand("ch2");  // a new record opens in the quad view, as from the record list
    frame->record = 1, frame->position = 3;
    key->trigger();
    EXPECT_EQ(context->volume.OpenRecordNumber(), 1);
    EXPECT_EQ(context->currentRecord, 1);
    EXPECT_EQ(engine->Position(), 3);
    EXPECT_EQ(engine->ViewMode(), PlaybackEngine::kQuadView);
    EXPECT_EQ(engine->Length(), 4);
    const auto code = TopLeftCode();
    ASSERT_TRUE(code);
    EXPECT_EQ(code->second, 3u);
    EXPECT_EQ(code->frame, 0);

    // Within the open record nothing is reloaded: its marks stay.
    frame->RunCommand("segment");
    ASSERT_EQ(engine->MarkBegin(), 3);
    frame->record = 1, frame->position = 1;
    key->trigger();
    EXPECT_EQ(engine->Position(), 1);
    EXPECT_EQ(engine->MarkBegin(), 3);
    EXPECT_EQ(TopLeftCode()->second, 1u);
    frame->RunCommand("play");
    ASSERT_TRUE(engine->IsPlaying());
    EXPECT_TRUE(engine->TimerRunning()) << "play starts the timer the dialog stopped";
    frame->record = 0, frame->position = 5;
    key->trigger();
    EXPECT_FALSE(engine->IsPlaying()) << "ready to play, not playing";
    EXPECT_EQ(context->volume.OpenRecordNumber(), 0);
    EXPECT_EQ(engine->Position(), 5);
    EXPECT_EQ(engine->MarkBegin(), -1) << "another record: the marks went";

    engine->exporting = true;
    const int before = frame->dialogs;
    frame->record = 1, frame->position = 0;
    key->trigger();
    EXPECT_EQ(frame->dialogs, before) << "nothing while an export runs";
    EXPECT_EQ(context->volume.OpenRecordNumber(), 0);
    engine->exporting = false;
}

// The real dialog from the main window: it starts at the second on screen,
// and its OK goes where its marked line says.
TEST_F(GotoTimeTest, TheDialogStartsAtTheShownSecondAndItsOkOpensTheMarkedLine)
{
    frame->RunCommand("hdd");
    ASSERT_TRUE(engine->ShowPosition(4, true, true));
    frame->real = true;
    QString initial;
    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<ui::GotoTimeDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        initial = dialog->TimeEdit().text();
        dialog->TimeEdit().setText("2024-02-29 10:00:09");
        dialog->Results().setCurrentRow(1);  // record 3, position 1
        dialog->OkButton().click();
    });
    frame->GoToTime();
    EXPECT_EQ(initial, "2024-02-29 10:00:04");
    EXPECT_EQ(context->volume.OpenRecordNumber(), 2);
    EXPECT_EQ(engine->Position(), 1);

    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<ui::GotoTimeDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        dialog->TimeEdit().setText("2024-02-29 10:00:00");
        dialog->reject();
    });
    frame->GoToTime();
    EXPECT_EQ(context->volume.OpenRecordNumber(), 2) << "Cancel changes nothing";
    EXPECT_EQ(engine->Position(), 1);
}

}  // namespace
