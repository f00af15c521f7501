// Tooltip.ini as the text table reads it, and the tooltip popup's placement.
#include <gtest/gtest.h>

#include <QString>

#include <fstream>
#include <string>

#include "support/temp_dir.h"
#include "ui/message_box.h"
#include "ui/tooltip_window.h"
#include "ui/ui_text_table.h"
#include "ui_test_support.h"

namespace {

using testing_support::TempDir;

std::string WriteFile(const TempDir& dir, const std::string& text)
{
    const std::string path = dir.File("Tooltip.ini");
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string Lines(int count, const char* ending)
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += "text " + std::to_string(i) + ending;
    return text;
}

TEST(UiTextTable, CrLfLinesComeWithoutLineEnds)
{
    TempDir dir;
    ui::UiTextTable table;
    ASSERT_TRUE(table.Load(WriteFile(dir, Lines(28, "\r\n"))));
    for (int n = 1; n <= 28; ++n)
        EXPECT_EQ(table.Text(n), "text " + std::to_string(n));
    // A CR inside a line is the line's own; only the one before LF goes.
    ASSERT_TRUE(table.Load(WriteFile(dir, "a\rb\r\nlast without end\r")));
    EXPECT_EQ(table.Text(1), "a\rb");
    EXPECT_EQ(table.Text(2), "last without end");
}

TEST(UiTextTable, ShortAndLongFiles)
{
    TempDir dir;
    ui::UiTextTable table;
    ASSERT_TRUE(table.Load(WriteFile(dir, Lines(10, "\n"))));
    EXPECT_EQ(table.Text(10), "text 10");
    for (int n = 11; n <= 28; ++n)
        EXPECT_EQ(table.Text(n), "") << n;

    ASSERT_TRUE(table.Load(WriteFile(dir, Lines(30, "\n"))));
    EXPECT_EQ(table.Text(28), "text 28");
    EXPECT_EQ(table.Text(29), "");
    EXPECT_EQ(table.Text(0), "");

    // A later load empties what an earlier one read.
    ASSERT_TRUE(table.Load(WriteFile(dir, "only\n")));
    EXPECT_EQ(table.Text(1), "only");
    EXPECT_EQ(table.Text(2), "");
}

TEST(UiTextTable, OverlongLineIsCutAndTheNextLineStillRead)
{
    TempDir dir;
    ui::UiTextTable table;
    const std::string huge(ui::UiTextTable::kMaxEntryBytes * 3, 'x');
    ASSERT_TRUE(table.Load(WriteFile(dir, huge + "\r\nsecond\r\n")));
    EXPECT_EQ(table.Text(1).size(), ui::UiTextTable::kMaxEntryBytes);
    EXPECT_EQ(table.Text(2), "second");
}

TEST(UiTextTable, MissingFileSaysSoOnceAndLeavesEntriesEmpty)
{
    ui_test::App();
    TempDir dir;
    std::vector<std::pair<ui::MessageKind, QString>> shown;
    ui::SetMessagePresenter(
        [&](ui::MessageKind kind, QWidget*, const QString& text) { shown.emplace_back(kind, text); });
    ui::UiTextTable table;
    ASSERT_TRUE(table.Load(WriteFile(dir, "stale\n")));
    EXPECT_FALSE(ui::LoadUiTexts(table, dir.File("missing.ini"), nullptr));
    EXPECT_EQ(table.Text(1), "");
    QWidget owner;
    EXPECT_FALSE(ui::LoadUiTexts(table, dir.File("missing.ini"), &owner));
    ui::SetMessagePresenter({});
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].first, ui::MessageKind::Application);
    EXPECT_EQ(shown[1].first, ui::MessageKind::Window);
    EXPECT_EQ(shown[0].second, QStringLiteral("Can't Open Setting file"));
}

TEST(UiTextTable, SingleByteTextsShowAsLatin1AndUtf8AsItself)
{
    EXPECT_EQ(ui::UiString("caf\xE9"), QString::fromUtf8("caf\xC3\xA9"));
    EXPECT_EQ(ui::UiString("caf\xC3\xA9"), QString::fromUtf8("caf\xC3\xA9"));
}

TEST(ToolTipWindow, PlacementIsThirtyPixelsOffAndNeverNegative)
{
    EXPECT_EQ(ui::TooltipPlacement(697, 17, QPoint(145, 40)), QPoint(872, 87));
    EXPECT_EQ(ui::TooltipPlacement(5, 3, QPoint(-100, -60)), QPoint(0, 0));
    EXPECT_EQ(ui::TooltipPlacement(5, 3, QPoint(-100, 10)), QPoint(0, 43));
}

TEST(ToolTipWindow, ShowsItsTextSizedAndPlacedThenHides)
{
    ui_test::App();
    QWidget owner;
    auto tooltip = ui::ToolTipWindow::Create(&owner);
    ASSERT_NE(tooltip, nullptr);
    EXPECT_FALSE(tooltip->isVisible());
    EXPECT_EQ(ui::ToolTipWindow::Create(nullptr), nullptr);

    tooltip->SetText("Play");
    tooltip->SetPosition(300, 200);
    tooltip->Show();
    EXPECT_TRUE(tooltip->isVisible());
    EXPECT_EQ(tooltip->geometry().topLeft(), QPoint(300, 200));
    EXPECT_EQ(tooltip->size(), tooltip->SizeForText());
    EXPECT_GT(tooltip->width(), 8);

    // The frame is drawn in RGB(5, 5, 5) and the text box is white.
    const QImage picture = tooltip->grab().toImage();
    EXPECT_EQ(picture.pixel(0, 0) | 0xFF000000, qRgb(5, 5, 5));
    EXPECT_EQ(picture.pixel(picture.width() - 1, picture.height() / 2) | 0xFF000000, qRgb(5, 5, 5));
    tooltip->Hide();
    EXPECT_FALSE(tooltip->isVisible());
}

TEST(ToolTipWindow, TextIsCutAtItsBufferWithoutSplittingACharacter)
{
    ui_test::App();
    QWidget owner;
    auto tooltip = ui::ToolTipWindow::Create(&owner);
    ASSERT_NE(tooltip, nullptr);
    // 510 ASCII bytes, then a two-byte character that would end at byte 512.
    std::string text(510, 'a');
    text += "\xC3\xA9tail";
    tooltip->SetText(text);
    EXPECT_EQ(tooltip->Text(), QString(510, QChar('a')));
}

}  // namespace
