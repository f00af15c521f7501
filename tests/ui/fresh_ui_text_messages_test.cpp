// The engine's "segment too short" message: UI text 21 read from the file as
// it is at that moment, after the missing-file message when it is gone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QString>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"
#include "ui/fresh_ui_text_messages.h"
#include "ui/message_box.h"

namespace {

struct Shown {
    ui::MessageKind kind;
    std::string text;
};

TEST(FreshUiTextMessages, ReadsTheFileEachTime)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    std::vector<Shown> shown;
    ui::SetMessagePresenter([&](ui::MessageKind kind, QWidget*, const QString& text) {
        shown.push_back({kind, text.toStdString()});
    });

    testing_support::TempDir dir;
    const std::string path = dir.File("Tooltip.ini");
    auto write = [&](const std::string& line21) {
        std::ofstream out(path, std::ios::binary);
        for (int i = 1; i <= 28; ++i)
            out << (i == 21 ? line21 : "line " + std::to_string(i)) << "\r\n";
    };
    ui::FreshUiTextMessages messages(path);
    write("The segment must be longer than three seconds.");
    messages.ShowFreshUiText(21);
    write("Edited while the program runs.");
    messages.ShowFreshUiText(21);
    std::filesystem::remove(path);
    messages.ShowFreshUiText(21);

    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].text, "The segment must be longer than three seconds.");
    EXPECT_EQ(shown[0].kind, ui::MessageKind::Application);
    EXPECT_EQ(shown[1].text, "Edited while the program runs.");
    EXPECT_EQ(shown[2].text, "Can't Open Setting file");
    EXPECT_EQ(shown[3].text, "") << "the second box is empty";
    ui::SetMessagePresenter({});
}

}  // namespace
