// The export's progress dialog, headless: its controls laid out from dialog
// units, placement beside the main window, updates from the worker's thread,
// and "Stop", a close request and Escape all asking the export to stop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <memory>
#include <thread>

#include "ui/dialog_layout.h"
#include "ui/export_progress_dialog.h"

namespace {

// The application goes at the end of the test run, before the program's
// static objects do: Qt's input devices must not outlive it.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "export_progress_dialog_test";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app.reset(); }

private:
    std::unique_ptr<QApplication> app;
};

::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<QtEnvironment>().release());

class ExportProgressDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main.setGeometry(145, 40, 925, 640);
        main.show();
        QApplication::processEvents();
    }

    QWidget main;
};

TEST_F(ExportProgressDialogTest, StartsHiddenWithTheTemplatesControlsAndEmptyTexts)
{
    ui::ExportProgressDialog dialog(&main);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.windowTitle(), "Output File");
    EXPECT_FALSE(dialog.isModal());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowSystemMenuHint) << "no close box";
    EXPECT_TRUE(dialog.PercentText().text().isEmpty()) << "not the template's \"100 %\"";
    EXPECT_TRUE(dialog.TimeLeftText().text().isEmpty()) << "not the template's \"N\"";
    EXPECT_EQ(dialog.StopButton().text(), "Stop");
    EXPECT_EQ(dialog.Bar().minimum(), 0);
    EXPECT_EQ(dialog.Bar().maximum(), 100);
    const ui::DialogUnits units(dialog.font());
    EXPECT_EQ(dialog.size(), QSize(units.X(251), units.Y(39)));
    EXPECT_EQ(dialog.Bar().geometry(), units.Rect(7, 20, 165, 12));
    EXPECT_EQ(dialog.StopButton().geometry(), units.Rect(202, 19, 42, 12));
    EXPECT_EQ(dialog.PercentText().geometry(), units.Rect(176, 22, 22, 8));
    EXPECT_EQ(dialog.TimeLeftText().geometry(), units.Rect(52, 6, 52, 8));
}

TEST_F(ExportProgressDialogTest, TheWorkersCallsReachTheControlsOnTheWindowsThread)
{
    ui::ExportProgressDialog dialog(&main);
    std::thread worker([&] {
        dialog.Show();
        dialog.SetProgress(37, "37 %", "12 ");
    });
    worker.join();
    QApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.pos(), main.frameGeometry().topLeft() + QPoint(120, 220));
    EXPECT_EQ(dialog.Bar().value(), 37);
    EXPECT_EQ(dialog.PercentText().text(), "37 %");
    EXPECT_EQ(dialog.TimeLeftText().text(), "12 ");

    // A later export starts at 0 on the bar but keeps the texts until the
    // percentage first changes.
    dialog.Hide();
    QApplication::processEvents();
    EXPECT_FALSE(dialog.isVisible());
    dialog.Show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.Bar().value(), 0);
    EXPECT_EQ(dialog.PercentText().text(), "37 %");
}

TEST_F(ExportProgressDialogTest, StopCloseAndEscapeAllAskTheExportToStop)
{
    ui::ExportProgressDialog dialog(&main);
    dialog.Show();
    QApplication::processEvents();
    EXPECT_FALSE(dialog.StopRequested());
    dialog.StopButton().click();
    dialog.StopButton().click();
    EXPECT_TRUE(dialog.StopRequested()) << "twice is harmless";

    dialog.ClearStop();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &escape);
    EXPECT_TRUE(dialog.StopRequested());
    EXPECT_TRUE(dialog.isVisible()) << "the exporter hides it when the file is closed";

    dialog.ClearStop();
    dialog.close();
    EXPECT_TRUE(dialog.StopRequested());
}

}  // namespace
