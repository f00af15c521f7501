// The case in the program over a real engine and a written disk: B
// bookmarks the picture shown (record, second, picture within it, view,
// note), Ctrl+B lists the bookmarks and a double click goes back there, an
// export made with "output" is added with its SHA-256, and a disk that is
// not the case's adds nothing. Headless (offscreen).
#include <QApplication>
#include <QListWidget>

#include <filesystem>

#include "casefile/case_disk_image.h"
#include "casefile/case_file.h"
#include "casefile/disk_identity.h"
#include "evidence/digest.h"
#include "export/segment_exporter.h"
#include "frame_harness.h"
#include "playback/engine_harness.h"
#include "support/succeeded.h"
#include "ui/app_context.h"
#include "ui/bookmarks_window.h"
#include "ui/case_session.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"
#include "ui_test_support.h"

namespace {

using playback::PlaybackEngine;

class CaseFrame : public ui::CMainFrame {
public:
    using CMainFrame::CMainFrame;
    std::optional<std::string> note = std::string("the van enters");
    std::string savePath;
    QString askedWhere;

protected:
    int RunDiskSelectDialog() override { return 0; }
    int RunRecordListDialog() override { return 0; }
    std::optional<std::string> RunBookmarkNoteDialog(const QString& where) override
    {
        askedWhere = where;
        return note;
    }
    std::optional<std::string> RunExportSaveDialog(const std::string&) override { return savePath; }
};

class CaseWindowTest : public ::testing::Test, protected ui_test::FrameHarness<CaseFrame> {
protected:
    static void SetUpTestSuite()
    {
        ui_test::App();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan first, second;
        first.begin = {2024, 2, 29, 10, 0, 0};
        first.seconds = 6;
        second.begin = {2024, 2, 29, 11, 0, 0};
        second.seconds = 3;
        plan.records = {first, second};
        for (auto& r : plan.records)
            r.qscale = 31;
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("case.img"))));
        plan.records.pop_back();
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("other.img"))));
        const std::string app = dir->File("app");
        ui_test::MakeAppDirectory(app);
    }
    static void TearDownTestSuite() { dir.reset(); }

    void SetUp() override { Start(dir->File("case.img"), dir->File("app")); }
    void TearDown() override { Stop(); }
    // A new case for the image at path.
    static std::string MakeCase(const std::string& image, const std::string& name)
    {
        platform::SetDriveImages({image});
        disk::RecorderVolume volume;
        EXPECT_TRUE(volume.Load(0));
        const auto identity = casefile::IdentifyDisk(*volume.Shared(), image);
        EXPECT_TRUE(identity);
        const std::string path = dir->File(name);
        std::filesystem::remove(path);
        EXPECT_TRUE(casefile::CaseFile::Create(path, *identity, {}));
        platform::SetDriveImages({dir->File("case.img")});
        return path;
    }
    static casefile::CaseContents Contents(const std::string& path)
    {
        auto file = casefile::CaseFile::Open(path);
        EXPECT_TRUE(file) << file.Detail();
        auto contents = file->Read();
        EXPECT_TRUE(contents);
        return *contents;
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
};

TEST_F(CaseWindowTest, BMarksThePictureShownAndTheListGoesBackThere)
{
    frame->RunKey(Qt::Key_B, Qt::NoModifier);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].startsWith("No case is open")) << shown[0].toStdString();

    const std::string kase = MakeCase(dir->File("case.img"), "one.case");
    ASSERT_TRUE(frame->OpenCase(kase));
    frame->RunCommand("hdd");
    ASSERT_TRUE(engine->IsReady());
    EXPECT_TRUE(frame->Case().IsActive());
    ASSERT_EQ(engine->ShowPosition(3, true, true), 1);
    frame->RunCommand("ch2");
    ASSERT_EQ(engine->StepForward(), 1);
    ASSERT_EQ(engine->StepForward(), 1);
    ASSERT_EQ(engine->PictureInSecond(), 2);
    frame->RunKey(Qt::Key_B, Qt::NoModifier);
    EXPECT_TRUE(frame->askedWhere.startsWith("Record 1, 2024/02/29 10:00:03, picture 2 (camera 2)"))
        << frame->askedWhere.toStdString();
    frame->note.reset();  // a cancelled note adds nothing
    frame->RunKey(Qt::Key_B, Qt::NoModifier);

    casefile::CaseContents contents = Contents(kase);
    ASSERT_EQ(contents.bookmarks.size(), 1u);
    const casefile::Bookmark& b = contents.bookmarks[0];
    EXPECT_EQ(b.record, "1");
    EXPECT_EQ(b.position, 3u);
    EXPECT_EQ(b.picture, 2u);
    EXPECT_EQ(b.view, "2");
    EXPECT_EQ(b.note, "the van enters");

    // Ctrl+B lists it; a double click goes back from anywhere.
    frame->RunKey(Qt::Key_B, Qt::ControlModifier);
    ASSERT_TRUE(frame->Bookmarks());
    QListWidget& list = frame->Bookmarks()->List();
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.item(0)->text().toStdString().rfind("record 1, second 3, picture 2, camera 2: the van enters", 0),
              0u);
    frame->RunCommand("quad");
    ASSERT_EQ(engine->ShowPosition(0, true, true), 1);
    emit list.itemDoubleClicked(list.item(0));
    EXPECT_EQ(engine->Position(), 3);
    EXPECT_EQ(engine->PictureInSecond(), 2);
    EXPECT_EQ(engine->ViewMode(), PlaybackEngine::kSingleView);
    EXPECT_EQ(engine->SelectedCamera(), 1);
}

TEST_F(CaseWindowTest, AnExportIsAddedWithItsHashAndAnotherDiskAddsNothing)
{
    const std::string kase = MakeCase(dir->File("case.img"), "two.case");
    ASSERT_TRUE(frame->OpenCase(kase));
    frame->RunCommand("hdd");
    ASSERT_TRUE(engine->IsReady());
    frame->RunCommand("segment");
    ASSERT_EQ(engine->ShowPosition(4, true, true), 1);  // a segment is more than three seconds
    frame->RunCommand("segment");
    frame->savePath = dir->File("part.mpg");
    frame->RunCommand("output");
    ASSERT_TRUE(frame->Exporter()) << (shown.empty() ? std::string() : shown.back().toStdString());
    while (frame->Exporter()->IsRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    frame->Exporter()->Wait();
    QCoreApplication::processEvents();
    casefile::CaseContents contents = Contents(kase);
    ASSERT_EQ(contents.exports.size(), 1u);
    EXPECT_EQ(contents.exports[0].path, frame->savePath);
    EXPECT_EQ(contents.exports[0].reportPath, frame->savePath + ".report.json");
    const auto digest = evidence::HashFile(frame->savePath);
    ASSERT_TRUE(digest);
    EXPECT_EQ(contents.exports[0].outputSha256, digest->sha256);

    // The case of another disk: said when the disk loads, nothing added.
    const std::string other = MakeCase(dir->File("other.img"), "other.case");
    shown.clear();
    ASSERT_TRUE(frame->OpenCase(other));
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(shown.back().contains("is not the disk of case")) << shown.back().toStdString();
    EXPECT_FALSE(frame->Case().IsActive());
    frame->RunKey(Qt::Key_B, Qt::NoModifier);
    EXPECT_EQ(shown.back().toStdString(), "This disk is not the case's disk.");
    EXPECT_TRUE(Contents(other).bookmarks.empty());
}

// Started with a case, the program offers the case's image among its disks:
// the image's absolute path, never a moved image or a file that is no case.
TEST_F(CaseWindowTest, TheCaseNamesItsImageForTheDisksOffered)
{
    const std::string image = dir->File("named.img");
    std::filesystem::copy_file(dir->File("case.img"), image, std::filesystem::copy_options::overwrite_existing);
    const std::string kase = MakeCase(image, "named.case");
    EXPECT_EQ(casefile::CaseDiskImage(kase), std::filesystem::absolute(image).lexically_normal().string());
    std::filesystem::rename(image, image + ".moved");
    EXPECT_EQ(casefile::CaseDiskImage(kase), "");
    EXPECT_EQ(casefile::CaseDiskImage(dir->File("case.img")), "");  // no case
    EXPECT_EQ(casefile::CaseDiskImage(dir->File("none.case")), "");
}

}  // namespace
