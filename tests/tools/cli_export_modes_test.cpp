// quillon-cli export of the master (.mkv) and the working copy (.mp4): the
// output line, the report that verifies, and the MP4 played by a real
// browser (Debian's headless Chromium).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

class CliExportModesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan r;
        r.begin = {2006, 3, 15, 23, 59, 30};
        r.seconds = 3;
        r.audioCameras = 0x3;
        plan.records.push_back(r);
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, Disk())));
    }
    static void TearDownTestSuite() { dir.reset(); }
    static std::string Disk() { return dir->File("disk.img"); }

    static testing_support::ToolRun Run(const std::string& command)
    {
        return testing_support::RunTool(command, dir->File("stderr.txt"));
    }
    static testing_support::ToolRun Cli(const std::string& args)
    {
        return Run(std::string(QUILLON_BIN_DIR) + "/quillon-cli " + args);
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
};

TEST_F(CliExportModesTest, BothModesPrintTheirLineAndLeaveAReportThatVerifies)
{
    struct Case {
        const char* name;
        const char* view;
        const char* frames;  // the master's: every camera's own; the MP4's: 30 a second
        const char* streams;
    };
    const Case cases[] = {
        {"quad.mkv", "quad", "359", "video\nvideo\nvideo\nvideo\naudio\naudio\nsubtitle\n"},
        {"two.mkv", "2", "90", "video\naudio\nsubtitle\n"},
        {"quad.mp4", "quad", "90", "video\naudio\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir->File(c.name);
        const auto run =
            Cli("export '" + Disk() + "' --record 1 --from 0 --to 1 --view " + c.view + " -o '" + out + "'");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, out + "\t" + c.frames + "\t0\t2\tcompleted\n");
        EXPECT_EQ(run.err, "") << "nothing from the libraries on stderr";
        const auto streams = Run("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + out + "'");
        EXPECT_EQ(streams.out, c.streams);
        const auto verify = Cli("verify '" + out + ".report.json'");
        EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
    }
    const auto refused = Cli("export '" + Disk() + "' --record 1 --from 0 --to 1 -o '" + dir->File("x.MKV") + "'");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(".mkv or .mp4"), std::string::npos) << refused.err;
}

// The working copy plays in a browser: Chromium loads it in a <video>
// element and reports its length and picture size.
TEST_F(CliExportModesTest, ChromiumPlaysTheWorkingCopy)
{
    if (Run("command -v chromium").status != 0)
        GTEST_SKIP()
            << "chromium is not installed (scripts/install-deps installs it): the MP4 is not tried in a browser";
    const std::string mp4 = dir->File("browser.mp4");
    ASSERT_EQ(Cli("export '" + Disk() + "' --record 1 --from 0 --to 1 -o '" + mp4 + "'").status, 0);
    const std::string page = dir->File("page.html");
    std::ofstream(page) << "<!doctype html><html><body><video id=\"v\" src=\"browser.mp4\" preload=\"auto\" muted>"
                           "</video><pre id=\"out\">pending</pre><script>\n"
                           "const v = document.getElementById('v'), o = document.getElementById('out');\n"
                           "v.addEventListener('loadedmetadata', () => { o.textContent = 'duration=' + v.duration +"
                           " ' size=' + v.videoWidth + 'x' + v.videoHeight; });\n"
                           "v.addEventListener('error', () => { o.textContent = 'error=' + v.error.code; });\n"
                           "</script></body></html>\n";
    // A profile of its own, so that the test never touches a user's.
    const auto run = Run("timeout 120 chromium --headless=new --no-sandbox --disable-gpu --no-first-run "
                         "--user-data-dir='" +
                         dir->File("profile") +
                         "' "
                         "--autoplay-policy=no-user-gesture-required --virtual-time-budget=10000 --dump-dom "
                         "'file://" +
                         page + "'");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.out, m, std::regex("<pre id=\"out\">([^<]*)<"))) << run.out << run.err;
    const std::string shown = m[1];
    const std::regex facts("duration=([0-9.]+) size=([0-9]+x[0-9]+)");
    ASSERT_TRUE(std::regex_search(shown, m, facts)) << shown;
    EXPECT_NEAR(std::stod(m[1]), 3.0, 0.05) << shown;
    EXPECT_EQ(m[2], "640x480");
}

}  // namespace
