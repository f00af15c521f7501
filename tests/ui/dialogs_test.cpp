// The disk selection and record list dialogs, headless, over disks written
// by the project's disk writer.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "platform/window_surface.h"
#include "playback/playback_engine.h"
#include "playback/video_decoder.h"
#include "support/event_wait.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_plan.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/frame_code.h"
#include "tools/mkdisk/volume_writer.h"
#include "ui/disk_select_dialog.h"
#include "ui/message_box.h"
#include "ui/record_list_dialog.h"

namespace {

// One offscreen application for the binary, gone before static destruction.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        static int argc = 1;
        static char name[] = "dialogs_test";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app.reset(); }

private:
    std::unique_ptr<QApplication> app;
};

const ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(std::make_unique<QtEnvironment>().release());

struct Shown {
    ui::MessageKind kind;
    QWidget* owner;
    std::string text;
};

// Message boxes remembered instead of shown.
class MessageLog {
public:
    MessageLog()
    {
        ui::SetMessagePresenter([this](ui::MessageKind kind, QWidget* owner, const QString& text) {
            shown.push_back({kind, owner, text.toStdString()});
        });
    }
    ~MessageLog() { ui::SetMessagePresenter({}); }
    std::vector<Shown> shown;
};

QPushButton* Button(QWidget& dialog, const char* text)
{
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->text() == QLatin1String(text))
            return b;
    return nullptr;
}

// The user moves the list's mark, as a click or an arrow key does.
void MarkRow(ui::ReportList& list, int row) { list.setCurrentIndex(list.model()->index(row, 0)); }

std::string Header(ui::ReportList& list, int column)
{
    return list.model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString().toStdString();
}

// A borderless main window somewhere on the screen.
struct MainWindow {
    MainWindow(int x, int y)
    {
        widget.setWindowFlags(Qt::FramelessWindowHint);
        widget.setGeometry(x, y, 925, 640);
        widget.show();
    }
    QWidget widget;
};

void WriteOrFail(const mkdisk::DiskPlan& plan, const std::string& path)
{
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, path)));
}

mkdisk::RecordPlan Record(mkdisk::RecordTime begin, uint32_t seconds, mkdisk::RecordKind kind, uint8_t cameras = 0x0F)
{
    mkdisk::RecordPlan r;
    r.begin = begin;
    r.seconds = seconds;
    r.kind = kind;
    r.videoCameras = cameras;
    r.audioCameras = 0;
    return r;
}

// ---------------------------------------------------------------- disk list

TEST(DiskSelectDialog, ListsOnlySignedDrivesSizedByTheirGeometry)
{
    testing_support::TempDir dir;
    const std::string junk = dir.File("junk.img");
    const std::string small = dir.File("small.img");
    const std::string big = dir.File("big.img");
    std::ofstream(junk, std::ios::binary) << std::string(64 * 1024, '\0');
    mkdisk::DiskPlan plan;
    plan.records = {Record({2006, 3, 7, 9, 5, 0}, 1, mkdisk::RecordKind::A)};
    WriteOrFail(plan, small);
    // 312,581,808 sectors (sparse): 19,457 cylinders of 255 × 63 sectors
    // make 149 GBytes, where the sector count would make 149.05.
    std::filesystem::copy_file(small, big);
    std::filesystem::resize_file(big, 312581808ull * 512);
    platform::SetDriveImages({junk, small, big});

    MainWindow main(100, 200);
    ui::DiskSelectDialog dialog(&main.widget);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Disk Select");
    EXPECT_EQ(dialog.pos(), QPoint(250, 350));

    ui::ReportList& list = dialog.List();
    ASSERT_EQ(list.model()->columnCount(), 3);
    EXPECT_EQ(Header(list, 0), "HDD");
    EXPECT_EQ(Header(list, 1), "Size");
    EXPECT_EQ(Header(list, 2), "Name");
    EXPECT_EQ(list.columnWidth(0), 38);
    EXPECT_EQ(list.columnWidth(1), 89);
    EXPECT_EQ(list.columnWidth(2), 200);

    // The unsigned image is left out; rows are numbered from 0 whatever
    // their drive numbers.
    ASSERT_EQ(dialog.RowCount(), 2);
    EXPECT_EQ(list.Text(0, 0).toStdString(), "0");
    EXPECT_EQ(list.Text(0, 1).toStdString(), "0 GBytes");
    EXPECT_EQ(list.Text(0, 2).toStdString(), small);
    EXPECT_EQ(dialog.RowDrive(0), 1);
    EXPECT_EQ(list.Text(1, 0).toStdString(), "1");
    EXPECT_EQ(list.Text(1, 1).toStdString(), "149 GBytes");
    EXPECT_EQ(list.Text(1, 2).toStdString(), big);
    EXPECT_EQ(dialog.RowDrive(1), 2);

    EXPECT_EQ(dialog.SelectedDrive(), 1) << "the first row is marked at the start";
    EXPECT_EQ(list.SelectionMark(), 0);
    MarkRow(list, 1);
    EXPECT_EQ(dialog.SelectedDrive(), 2);
    Button(dialog, "OK")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedDrive(), 2);
}

TEST(DiskSelectDialog, WithoutARecorderDiskOkGivesNoDrive)
{
    testing_support::TempDir dir;
    const std::string junk = dir.File("junk.img");
    std::ofstream(junk, std::ios::binary) << std::string(4096, 'x');
    platform::SetDriveImages({junk});

    ui::DiskSelectDialog dialog(nullptr);
    dialog.show();
    EXPECT_EQ(dialog.RowCount(), 0);
    EXPECT_EQ(dialog.List().SelectionMark(), -1);
    Button(dialog, "OK")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedDrive(), -1);
}

// Whole-disk block devices in a directory of their own, as /sys/block and
// /dev show them: the node of each is a symbolic link to what stands for
// the disk (a dangling link stands for one that cannot be opened, even by root).
class FakeDevices {
public:
    explicit FakeDevices(testing_support::TempDir& dir) : sys(dir.File("sys-block")), dev(dir.File("dev"))
    {
        std::filesystem::create_directory(sys);
        std::filesystem::create_directory(dev);
        platform::SetDeviceDirectories(sys, dev);
    }
    ~FakeDevices() { platform::SetDeviceDirectories("/sys/block", "/dev"); }

    void Plug(const std::string& name, const std::string& target)
    {
        std::filesystem::create_directory(sys + "/" + name);
        std::ofstream(sys + "/" + name + "/size") << "2048\n";
        std::filesystem::create_symlink(target, dev + "/" + name);
    }

    const std::string sys, dev;
};

mkdisk::DiskPlan RecordsPlan(int records)
{
    mkdisk::DiskPlan plan;
    for (int i = 0; i < records; ++i)
        plan.records.push_back(Record({2006, 3, 7, 9, 5, 0}, 1, mkdisk::RecordKind::A));
    return plan;
}

TEST(DiskSelectDialog, TheChosenRowLoadsTheDiskShownThoughAnotherWasPluggedInMeanwhile)
{
    testing_support::TempDir dir;
    WriteOrFail(RecordsPlan(3), dir.File("three.img"));
    WriteOrFail(RecordsPlan(1), dir.File("one.img"));
    platform::SetDriveImages({});
    FakeDevices devices(dir);
    devices.Plug("sdb", dir.File("three.img"));

    ui::DiskSelectDialog dialog(nullptr);
    dialog.show();
    ASSERT_EQ(dialog.RowCount(), 1);
    EXPECT_EQ(dialog.List().Text(0, 2).toStdString(), "sdb");
    // Named before it: a fresh table would give it sdb's number.
    devices.Plug("sda", dir.File("one.img"));
    Button(dialog, "OK")->click();
    ASSERT_EQ(dialog.SelectedDrive(), 0);
    EXPECT_EQ(platform::DrivePath(0), devices.dev + "/sdb");
    disk::RecorderVolume volume;
    ASSERT_TRUE(volume.Load(dialog.SelectedDrive()));
    EXPECT_EQ(volume.RecordCount(), 3u) << "the disk the user saw";
    EXPECT_TRUE(dialog.Notice().isEmpty());

    // The next run of the dialog takes the table afresh.
    ui::DiskSelectDialog again(nullptr);
    ASSERT_EQ(again.RowCount(), 2);
    EXPECT_EQ(again.List().Text(0, 2).toStdString(), "sda");
    EXPECT_EQ(again.RowDrive(0), 0);
    ASSERT_TRUE(volume.Load(0));
    EXPECT_EQ(volume.RecordCount(), 1u);
}

TEST(DiskSelectDialog, DrivesThatCannotBeOpenedAreNamedWithWhatToDo)
{
    testing_support::TempDir dir;
    WriteOrFail(RecordsPlan(1), dir.File("good.img"));
    platform::SetDriveImages({dir.File("gone.img"), dir.File("good.img")});
    FakeDevices devices(dir);
    devices.Plug("sdq", dir.File("no-such-node"));
    devices.Plug("sdr", dir.File("good.img"));

    ui::DiskSelectDialog dialog(nullptr);
    dialog.show();
    EXPECT_EQ(dialog.RowCount(), 2) << "what opens is listed as ever";
    const std::string notice = dialog.Notice().toStdString();
    EXPECT_NE(notice.find("Some disks could not be opened (sdq): run as root or join the 'disk' group."),
              std::string::npos)
        << notice;
    EXPECT_NE(notice.find("Some images could not be opened (gone.img)."), std::string::npos) << notice;
    EXPECT_EQ(notice.find("sdr"), std::string::npos);
    QLabel* line = dialog.findChild<QLabel*>();
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->text().toStdString(), notice);
    EXPECT_LE(line->geometry().bottom(), dialog.height()) << "inside the dialog";
    const int withNotice = dialog.height();

    // Only devices that open: no line, and the dialog keeps its size.
    platform::SetDriveImages({dir.File("good.img")});
    std::filesystem::remove(devices.dev + "/sdq");
    std::filesystem::remove_all(devices.sys + "/sdq");
    ui::DiskSelectDialog quiet(nullptr);
    quiet.show();
    EXPECT_EQ(quiet.RowCount(), 2);
    EXPECT_TRUE(quiet.Notice().isEmpty());
    EXPECT_FALSE(quiet.findChild<QLabel*>()->isVisible());
    EXPECT_LT(quiet.height(), withNotice);
}

// -------------------------------------------------------------- record list

class RecordListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan;
        plan.audioAreas = false;
        plan.records = {
            Record({2006, 12, 31, 23, 59, 30}, 31, mkdisk::RecordKind::S),
            Record({2006, 3, 7, 9, 5, 0}, 2, mkdisk::RecordKind::B, 0x05),  // cameras 1 and 3 only
            Record({2007, 1, 2, 3, 4, 5}, 0, mkdisk::RecordKind::M),
            Record({2008, 2, 29, 12, 0, 0}, 1, mkdisk::RecordKind::A),
        };
        WriteOrFail(plan, dir->File("records.img"));
        std::ofstream texts(dir->File("Tooltip.ini"), std::ios::binary);
        for (int i = 1; i <= 28; ++i)
            texts << "line " << i << "\r\n";
    }
    static void TearDownTestSuite() { dir.reset(); }

    void SetUp() override
    {
        platform::SetDriveImages({dir->File("records.img")});
        ASSERT_TRUE(volume.Load(0));
        ASSERT_TRUE(decoder.IsLoaded());
    }

    std::unique_ptr<ui::RecordListDialog> Open(int drive = 0, playback::PlaybackEngine* engine = nullptr,
                                               playback::PositionSlider* slider = nullptr,
                                               platform::WindowSurface* surface = nullptr)
    {
        auto dialog =
            std::make_unique<ui::RecordListDialog>(&main.widget, volume, drive, decoder, engine, slider, surface);
        dialog->SetUiTextPath(dir->File("Tooltip.ini"));
        dialog->show();
        QApplication::processEvents();  // the first record is marked once on screen
        return dialog;
    }

    // The frame code in camera's quarter of the preview.
    static std::optional<mkdisk::FrameCode> PreviewCode(ui::RecordListDialog& dialog, int camera)
    {
        const playback::CellRect r = dialog.PreviewEngine().Cells()[camera];
        const QImage image = dialog.PreviewSurface().Copy();
        const uint8_t* at = image.constBits() + r.top * image.bytesPerLine() + r.left * 4;
        return mkdisk::DecodeFrameCodeRgb(at, r.Width(), r.Height(), size_t(image.bytesPerLine()), 4);
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    MainWindow main{300, 100};
    disk::RecorderVolume volume;
    playback::VideoDecoder decoder{std::string(QUILLON_BIN_DIR) + "/libquillon_decode.so"};
    MessageLog messages;
};

TEST_F(RecordListTest, ListsEveryRecordWithKindAndTimes)
{
    auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle().toStdString(), "File Select");
    EXPECT_EQ(dialog->pos(), QPoint(220, 153)) << "80 left of and 53 below the main window";

    ui::ReportList& list = dialog->List();
    const char* titles[] = {"No.", "Record", "Begin Time", "End Time"};
    const int widths[] = {39, 55, 136, 136};
    ASSERT_EQ(list.model()->columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(Header(list, c), titles[c]);
        EXPECT_EQ(list.columnWidth(c), widths[c]);
    }
    const std::vector<std::vector<std::string>> rows = {
        // 31 one-second segments: the last begins 30 seconds later, in the next year.
        {"1", "S", "2006/12/31 23:59:30", "2007/01/01 00:00:00"},
        {"2", "B", "2006/03/07 09:05:00", "2006/03/07 09:05:01"},
        // No segments: it ends where it begins, not a second before.
        {"3", "M", "2007/01/02 03:04:05", "2007/01/02 03:04:05"},
        {"4", "A", "2008/02/29 12:00:00", "2008/02/29 12:00:00"},
    };
    ASSERT_EQ(list.Rows(), 4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(list.Text(r, c).toStdString(), rows[size_t(r)][size_t(c)]) << "row " << r << " column " << c;
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RecordListTest, PreviewShowsTheMarkedRecordsCameras)
{
    auto dialog = Open();
    ASSERT_TRUE(dialog->PreviewLoaded());
    EXPECT_EQ(dialog->SelectedRecord(), 0);
    EXPECT_EQ(dialog->List().SelectionMark(), 0);
    for (int camera = 0; camera < 4; ++camera) {
        const auto code = PreviewCode(*dialog, camera);
        ASSERT_TRUE(code) << "camera " << camera;
        EXPECT_EQ(*code, (mkdisk::FrameCode{camera, 0, 0}));
    }

    MarkRow(dialog->List(), 1);
    EXPECT_EQ(dialog->SelectedRecord(), 1);
    EXPECT_EQ(PreviewCode(*dialog, 0), (mkdisk::FrameCode{0, 0, 0}));
    EXPECT_EQ(PreviewCode(*dialog, 2), (mkdisk::FrameCode{2, 0, 0}));
    EXPECT_FALSE(PreviewCode(*dialog, 1)) << "a camera without video leaves its quarter empty";
    EXPECT_FALSE(PreviewCode(*dialog, 3));

    Button(*dialog, "OK")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->SelectedRecord(), 1);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RecordListTest, RecordWithoutSegmentsCannotBeConfirmed)
{
    auto dialog = Open();
    MarkRow(dialog->List(), 2);
    EXPECT_EQ(dialog->SelectedRecord(), 2);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, ui::MessageKind::Application);
    EXPECT_EQ(messages.shown[0].text, "line 23");
    EXPECT_FALSE(PreviewCode(*dialog, 0)) << "the last record's picture does not stand for this one";

    Button(*dialog, "OK")->click();
    EXPECT_TRUE(dialog->isVisible()) << "OK is refused";
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "line 23");

    MarkRow(dialog->List(), 3);
    EXPECT_EQ(PreviewCode(*dialog, 3), (mkdisk::FrameCode{3, 0, 0}));
    Button(*dialog, "OK")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->SelectedRecord(), 3);
    EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(RecordListTest, MissingTextFileIsSaidFirstInABoxOwnedByTheDialog)
{
    auto dialog = Open();
    dialog->SetUiTextPath(dir->File("gone/Tooltip.ini"));
    MarkRow(dialog->List(), 2);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].kind, ui::MessageKind::Window);
    EXPECT_EQ(messages.shown[0].owner, dialog.get());
    EXPECT_EQ(messages.shown[0].text, "Can't Open Setting file");
    EXPECT_EQ(messages.shown[1].kind, ui::MessageKind::Application);
    EXPECT_EQ(messages.shown[1].text, "");
}

TEST_F(RecordListTest, WithoutPreviewEveryRecordIsRefusedWithItsMessage)
{
    auto dialog = Open(7);  // no such drive
    EXPECT_FALSE(dialog->PreviewLoaded());
    EXPECT_EQ(dialog->List().Rows(), 4) << "the list stays usable";
    EXPECT_EQ(dialog->SelectedRecord(), 0);
    EXPECT_TRUE(messages.shown.empty());
    Button(*dialog, "OK")->click();
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    // Read for the purpose, not an empty box.
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "line 23");
}

// A stand-in for the skin's position slider.
class Slider final : public playback::PositionSlider {
public:
    int TrackLength() const override { return 300; }
    bool DrawPosition(int offset) override
    {
        if (offset >= 0)
            thumb = offset;
        return true;
    }
    int PositionOffset() const override { return thumb; }
    void SetBeginMark(int offset) override { begin = offset; }
    void SetEndMark(int offset) override { end = offset; }
    void ClearMarks() override { begin = end = -1; }
    int thumb = 0, begin = -1, end = -1;
};

TEST_F(RecordListTest, CancelPutsTheMainPlaybackBackWhereItWas)
{
    Slider slider;
    platform::WindowSurface mainSurface(925, 640);
    platform::WindowSurface video(352, 240);
    playback::PlaybackEngine engine(decoder);
    engine.SetHosts(&slider, nullptr, &mainSurface);
    ASSERT_EQ(engine.Attach(&video, &volume, 0, 0), 1);
    ASSERT_EQ(engine.GotoStart(), 1);
    ASSERT_EQ(engine.ShowPosition(6, true, true), 1);
    engine.ToggleMark();
    ASSERT_EQ(slider.thumb, 60);
    ASSERT_EQ(slider.begin, 60);

    auto dialog = Open(0, &engine, &slider, &mainSurface);
    EXPECT_EQ(slider.thumb, 0) << "the preview moves the main thumb";
    MarkRow(dialog->List(), 1);
    Button(*dialog, "Cancel")->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);

    EXPECT_EQ(engine.Position(), 6);
    EXPECT_EQ(slider.thumb, 60);
    EXPECT_EQ(slider.begin, 60) << "the main engine's mark stays on the slider";
    EXPECT_EQ(engine.MarkBegin(), 6);
    const QImage picture = video.Copy();
    const playback::CellRect r = engine.Cells()[1];
    const auto code = mkdisk::DecodeFrameCodeRgb(picture.constBits() + r.top * picture.bytesPerLine() + r.left * 4,
                                                 r.Width(), r.Height(), size_t(picture.bytesPerLine()), 4);
    EXPECT_EQ(code, (mkdisk::FrameCode{1, 6, 0}));
}

TEST_F(RecordListTest, ClosingTheWindowCancels)
{
    auto dialog = Open();
    EXPECT_FALSE(dialog->TimelineAsked());
    dialog->close();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->TimelineAsked());

    // Ctrl+T cancels the list for the timeline window.
    auto another = Open();
    for (QAction* action : another->actions())
        if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_T))
            action->trigger();
    EXPECT_EQ(another->result(), QDialog::Rejected);
    EXPECT_TRUE(another->TimelineAsked());
}

// The recordings the disk search found follow the listed records in a colour
// of their own, with their ids, their recorded times or "unknown", and a
// mark where a second is lost; each previews like a record.
TEST_F(RecordListTest, TheDiskSearchsRecordingsFollowTheListedOnesAndPreviewLikeRecords)
{
    testing_support::TempDir dir;
    WriteOrFail(mkdisk::RecoverDemoPlan(), dir.File("recover.img"));
    platform::SetDriveImages({dir.File("recover.img")});
    disk::RecorderVolume disk;
    ASSERT_TRUE(disk.Load(0));
    ui::DiskRecovery search(playback::JobRunner::Priority::Normal);
    search.Start(disk.Shared());

    ui::RecordListDialog dialog(nullptr, disk, 0, decoder, nullptr, nullptr, nullptr, &search);
    dialog.SetUiTextPath(dir.File("none.ini"));
    dialog.show();
    // Open while the search runs: the listed records only, and its progress.
    ui::ReportList& list = dialog.List();
    EXPECT_EQ(dialog.ListedRows(), 2);
    EXPECT_EQ(list.Rows(), 2);
    EXPECT_TRUE(dialog.SearchStatus().startsWith("Searching the disk: ")) << dialog.SearchStatus().toStdString();

    ASSERT_TRUE(testing_support::ProcessEventsUntil(
        [&] { return search.CurrentState() != ui::DiskRecovery::State::Scanning; }));
    ASSERT_EQ(search.CurrentState(), ui::DiskRecovery::State::Done) << search.StatusText();
    EXPECT_EQ(dialog.SearchStatus().toStdString(), "5 unlisted recordings found");
    const std::vector<std::vector<std::string>> rows = {
        {"1", "A", "2024/06/01 08:20:00", "2024/06/01 08:20:03"},
        {"2", "S", "2024/06/01 08:40:00", "2024/06/01 08:40:02"},
        {"u1", "A", "2024/06/01 08:00:00", "2024/06/01 08:00:02"},
        {"u2", "A !", "2024/06/01 08:10:00", "2024/06/01 08:10:03"},  // two seconds overwritten
        {"u3", "B", "2024/06/01 08:30:00", "2024/06/01 08:30:02"},
        {"i1", "-", "unknown", "unknown"},
        {"c1", "-", "unknown", "unknown"},
    };
    ASSERT_EQ(list.Rows(), int(rows.size()));
    for (int r = 0; r < list.Rows(); ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(list.Text(r, c).toStdString(), rows[size_t(r)][size_t(c)]) << "row " << r << " column " << c;
    const QColor recovered = list.RowColour(2);
    EXPECT_TRUE(recovered.isValid());
    EXPECT_NE(recovered, list.palette().color(QPalette::Text));
    for (int r = 0; r < list.Rows(); ++r)
        EXPECT_EQ(list.RowColour(r), r < 2 ? QColor() : recovered) << "row " << r;
    const QString tip = list.model()->data(list.model()->index(3, 0), Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains("table slot 2") && tip.contains("2 intact, 2 overwritten")) << tip.toStdString();
    EXPECT_TRUE(list.model()->data(list.model()->index(6, 2), Qt::ToolTipRole).toString().contains("not recorded"));

    // The carved run: its row is its number, its three seconds preview from
    // its own first frame, and OK takes it.
    MarkRow(list, 6);
    EXPECT_EQ(dialog.SelectedRecord(), 6);
    EXPECT_EQ(dialog.PreviewEngine().Length(), 3);
    EXPECT_EQ(PreviewCode(dialog, 0), (mkdisk::FrameCode{0, 0, 0}));
    EXPECT_EQ(dialog.PreviewEngine().CurrentStamp().Text(disk::StampStyle::Panel), "c1 +00:00:00");
    // Back to a listed record: read through the same volume, numbered alike.
    MarkRow(list, 1);
    EXPECT_EQ(dialog.PreviewEngine().Length(), 3);
    EXPECT_EQ(dialog.PreviewEngine().CurrentStamp().Text(disk::StampStyle::List), "2024/06/01 08:40:00");
    MarkRow(list, 3);
    Button(dialog, "OK")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedRecord(), 3);
    EXPECT_TRUE(messages.shown.empty());
}

// A record whose index lies beyond the disk can't be opened; the record
// opened before must not be confirmed in its name.
TEST(RecordListDialog, RecordThatCannotBeOpenedIsRefused)
{
    testing_support::TempDir dir;
    mkdisk::RawVolume raw;
    mkdisk::RawRecord good;
    good.segments = {std::vector<uint8_t>(512, 0)};
    mkdisk::RawRecord broken = good;
    broken.header.indexOffsetField = 0x7FFFFFF0u;
    raw.records = {good, broken};
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteRawVolume(raw, dir.File("raw.img"))));
    platform::SetDriveImages({dir.File("raw.img")});
    disk::RecorderVolume volume;
    ASSERT_TRUE(volume.Load(0));
    playback::VideoDecoder decoder(std::string(QUILLON_BIN_DIR) + "/libquillon_decode.so");
    MessageLog messages;

    ui::RecordListDialog dialog(nullptr, volume, 0, decoder, nullptr, nullptr, nullptr);
    dialog.SetUiTextPath(dir.File("none.ini"));
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.SelectedRecord(), 0);
    EXPECT_TRUE(messages.shown.empty());
    MarkRow(dialog.List(), 1);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "Can't Open Setting file");
    Button(dialog, "OK")->click();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
}

TEST(RecordListDialog, ADamagedRecordIsMarkedAndOpensWithWhatCanBeRead)
{
    // Record 1's count runs on over record 2's index: marked, and the
    // preview opens its own one second.
    testing_support::TempDir dir;
    mkdisk::RawVolume raw;
    mkdisk::RawRecord good;
    good.segments = {std::vector<uint8_t>(512, 0)};
    mkdisk::RawRecord runaway = good;
    runaway.header.segmentCountField = 65300;
    raw.records = {runaway, good};
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteRawVolume(raw, dir.File("raw.img"))));
    platform::SetDriveImages({dir.File("raw.img")});
    disk::RecorderVolume volume;
    ASSERT_TRUE(volume.Load(0));
    playback::VideoDecoder decoder(std::string(QUILLON_BIN_DIR) + "/libquillon_decode.so");
    MessageLog messages;

    ui::RecordListDialog dialog(nullptr, volume, 0, decoder, nullptr, nullptr, nullptr);
    dialog.SetUiTextPath(dir.File("none.ini"));
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.List().Text(0, 1).toStdString(), "B !");
    EXPECT_EQ(dialog.List().Text(1, 1).toStdString(), "B");
    EXPECT_EQ(dialog.PreviewEngine().Length(), 2) << "its second and the empty one up to record 2's entry";
}

}  // namespace
