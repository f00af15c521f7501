// quillon-cli skin-preview run as a process on a copy of our skin.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;

int Cli(const std::string& args)
{
    const std::string command = std::string(QUILLON_BIN_DIR "/quillon-cli ") + args + " >/dev/null 2>&1";
    return std::system(command.c_str());
}

TEST(SkinPreview, RendersTheStartWindowAndWritesTheOutlineCache)
{
    TempDir dir;
    std::filesystem::copy(QUILLON_SOURCE_DIR "/skin/bmp", dir.File("bmp"));
    std::filesystem::copy_file(QUILLON_SOURCE_DIR "/skin/Tooltip.ini", dir.File("Tooltip.ini"));
    ASSERT_FALSE(std::filesystem::exists(dir.File("bmp/window.rgn")));
    ASSERT_EQ(Cli("skin-preview --skin " + dir.File("bmp") + " -o " + dir.File("out.png") + " --states"), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.File("bmp/window.rgn")));

    const QImage start(QString::fromStdString(dir.File("out.png")));
    const QImage states(QString::fromStdString(dir.File("out-states.png")));
    ASSERT_EQ(start.size(), QSize(925, 640));
    ASSERT_EQ(states.size(), QSize(925, 640));
    EXPECT_TRUE(start.hasAlphaChannel());
    EXPECT_EQ(qAlpha(start.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(start.pixel(900, 320)), 0);
    EXPECT_EQ(qAlpha(start.pixel(400, 300)), 255);
    // The sound button (17, 550) is toggled in the second picture only.
    EXPECT_NE(start.pixel(35, 572), states.pixel(35, 572));
    EXPECT_EQ(start.pixel(100, 100), states.pixel(100, 100));

    // The second run reads the cache it wrote, with the same result.
    ASSERT_EQ(Cli("skin-preview --skin " + dir.File("bmp") + " -o " + dir.File("again.png")), 0);
    EXPECT_EQ(QImage(QString::fromStdString(dir.File("again.png"))), start);
}

TEST(SkinPreview, NamesEveryMissingPictureInOneLine)
{
    TempDir dir;
    std::filesystem::copy(QUILLON_SOURCE_DIR "/skin/bmp", dir.File("bmp"));
    std::filesystem::copy_file(QUILLON_SOURCE_DIR "/skin/Tooltip.ini", dir.File("Tooltip.ini"));
    std::filesystem::remove(dir.File("bmp/ch2-dw.bmp"));
    std::filesystem::remove(dir.File("bmp/Vol-Axis.bmp"));
    std::ofstream(dir.File("bmp/window.rgn")) << "not a region";
    const testing_support::ToolRun run =
        testing_support::RunTool(std::string(QUILLON_BIN_DIR "/quillon-cli skin-preview --skin ") + dir.File("bmp") +
                                     " -o " + dir.File("out.png"),
                                 dir.File("err.txt"));
    EXPECT_EQ(run.status, 0);
    // One line for the damaged outline cache (mended), one for the pictures;
    // Qt may add notes of its own about the environment.
    std::string ours;
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("quillon-cli: ", 0) == 0)
            ours += line + "\n";
    EXPECT_EQ(ours, "quillon-cli: " + dir.File("bmp/window.rgn") +
                        " refused (damaged): rewritten from backgr.bmp\n"
                        "quillon-cli: Skin pictures missing or unreadable in " +
                        dir.File("bmp") + ": ch2-dw.bmp, Vol-Axis.bmp\n");
    EXPECT_TRUE(std::filesystem::exists(dir.File("out.png")));
}

TEST(SkinPreview, RefusesWhatItCannotDo)
{
    TempDir dir;
    EXPECT_NE(Cli("skin-preview --skin " + dir.File("absent") + " -o " + dir.File("out.png")), 0);
    EXPECT_NE(Cli("skin-preview"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.png")));
}

}  // namespace

namespace {

// The committed pictures are what the committed generator draws.
TEST(SkinGenerator, RedrawsTheCommittedSkinByteForByte)
{
    TempDir dir;
    const std::string command = std::string(QUILLON_BIN_DIR "/quillon-skingen ") + dir.File("bmp") + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QUILLON_SOURCE_DIR "/skin/bmp")) {
        ++count;
        const std::string name = entry.path().filename().string();
        std::ifstream committed(entry.path(), std::ios::binary);
        std::ifstream drawn(dir.File("bmp/" + name), std::ios::binary);
        ASSERT_TRUE(drawn) << name;
        EXPECT_TRUE(
            std::equal(std::istreambuf_iterator<char>(committed), {}, std::istreambuf_iterator<char>(drawn), {}))
            << name;
    }
    EXPECT_EQ(count, 94u);
}

}  // namespace
