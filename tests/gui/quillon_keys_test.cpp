// The program's keys in the real window on a virtual X display: xdotool
// types them, screenshots show by frame codes which second, picture and view
// the engine shows. Also the keys that open dialogs, that keys do nothing
// while an export runs, and the one-camera view's zoom by wheel and drag.
#include <gtest/gtest.h>

#include <QImage>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "support/temp_dir.h"
#include "support/x_display.h"
#include "tools/mkdisk/frame_code.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using mkdisk::FrameCode;

constexpr int kViewX = 145 + 8, kViewY = 40 + 31;

int Sh(const std::string& command) { return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()); }

pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

void Stop(pid_t& pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 150 && waitpid(pid, nullptr, WNOHANG) != pid; ++i)
        std::this_thread::sleep_for(20ms);
    if (kill(pid, 0) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

class QuillonKeysTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Sh("command -v Xvfb && command -v xdotool && command -v import") != 0)
            GTEST_SKIP() << "Xvfb, xdotool or ImageMagick missing";
        for (int n = 91; n < 110 && xvfb < 0; ++n) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            if (std::filesystem::exists(socket) || std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock"))
                continue;
            xvfb = Spawn({"Xvfb", ":" + std::to_string(n), "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
            // ctest runs tests side by side: one that took the display first
            // makes this server end, and the next number is tried.
            for (int i = 0; i < 100 && xvfb > 0 && !std::filesystem::exists(socket); ++i)
                std::this_thread::sleep_for(50ms);
            std::this_thread::sleep_for(100ms);
            if (xvfb > 0 && waitpid(xvfb, nullptr, WNOHANG) == xvfb)
                xvfb = -1;
            if (xvfb > 0 && std::filesystem::exists(socket) && testing_support::HoldsDisplay(xvfb, n))
                setenv("DISPLAY", (":" + std::to_string(n)).c_str(), 1);
            else
                Stop(xvfb);
        }
        if (xvfb < 0)
            GTEST_SKIP() << "Xvfb could not start";
        unsetenv("WAYLAND_DISPLAY");
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        image = dir.File("keys.img");
        ASSERT_EQ(Sh(std::string(QUILLON_BIN_DIR) + "/quillon-mkdisk -o " + image + " --record seconds=6"), 0);
        quillon = Spawn({std::string(QUILLON_BIN_DIR) + "/quillon", image});
        ASSERT_GT(quillon, 0);
        ASSERT_TRUE(WaitForWindow("Quillon", 20s));
        std::this_thread::sleep_for(500ms);
    }
    void TearDown() override
    {
        Stop(quillon);
        Stop(xvfb);
    }

    bool WaitForWindow(const std::string& title, std::chrono::milliseconds limit = 10s)
    {
        for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(100ms))
            if (Sh("xdotool search --onlyvisible --name '^" + title + "$'") == 0)
                return true;
        return false;
    }
    bool WaitGone(const std::string& title, std::chrono::milliseconds limit)
    {
        for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(100ms))
            if (Sh("xdotool search --onlyvisible --name '^" + title + "$'") != 0)
                return true;
        return false;
    }
    // Keys typed into the window titled `title` (the first one: the main window).
    void Keys(const std::string& keys, const std::string& title = "Quillon")
    {
        Sh("w=$(xdotool search --onlyvisible --name '^" + title + "$' | head -1) && xdotool windowfocus --sync $w" +
           " && xdotool key --delay 80 " + keys);
        std::this_thread::sleep_for(400ms);
    }
    QImage Shot()
    {
        const std::string path = dir.File("shot" + std::to_string(++shots) + ".png");
        Sh("import -window root " + path);
        return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
    }
    static std::optional<FrameCode> Code(const QImage& shot, int x, int y, int w, int h)
    {
        if (shot.isNull())
            return std::nullopt;
        return mkdisk::DecodeFrameCodeRgb(shot.constBits() + (kViewY + y) * shot.bytesPerLine() + (kViewX + x) * 4, w,
                                          h, size_t(shot.bytesPerLine()), 4);
    }
    // Camera c's cell of the quad view, and the whole view.
    std::optional<FrameCode> Cell(int c) { return Code(Shot(), c % 2 * 320, c / 2 * 240, 320, 240); }
    std::optional<FrameCode> Whole() { return Code(Shot(), 0, 0, 640, 480); }

    void OpenByKeys()
    {
        Keys("ctrl+o");
        ASSERT_TRUE(WaitForWindow("Disk Select"));
        Keys("Return", "Disk Select");
        ASSERT_TRUE(WaitForWindow("File Select"));
        Keys("Return", "File Select");
        ASSERT_TRUE(WaitGone("File Select", 5s));
        std::this_thread::sleep_for(500ms);
    }

    testing_support::TempDir dir;
    std::string image;
    pid_t xvfb = -1;
    pid_t quillon = -1;
    int shots = 0;
};

TEST_F(QuillonKeysTest, KeysStepSeekPlayAndPickTheView)
{
    OpenByKeys();
    EXPECT_EQ(Cell(0), (FrameCode{0, 0, 0}));
    Keys("Right Right Right");
    EXPECT_EQ(Cell(3), (FrameCode{3, 0, 3})) << "Right: a picture forward";
    Keys("Left");
    EXPECT_EQ(Cell(2), (FrameCode{2, 0, 2})) << "Left: a picture back";
    Keys("shift+Right");
    EXPECT_EQ(Cell(1), (FrameCode{1, 1, 0})) << "Shift+Right: the next second";
    Keys("Left");
    EXPECT_EQ(Cell(0), (FrameCode{0, 0, 29})) << "Left at a second's start: the previous second's last picture";
    Keys("End");
    EXPECT_EQ(Cell(0), (FrameCode{0, 5, 0})) << "End: the last second";
    Keys("shift+Left");
    EXPECT_EQ(Cell(0), (FrameCode{0, 4, 0})) << "Shift+Left: a second back";
    Keys("Home");
    EXPECT_EQ(Cell(0), (FrameCode{0, 0, 0})) << "Home: the first second";

    Keys("3");
    EXPECT_EQ(Whole(), (FrameCode{2, 0, 0})) << "3: camera 3 over the whole view";
    Keys("q");
    EXPECT_EQ(Cell(1), (FrameCode{1, 0, 0})) << "Q: the quad view";

    Keys("space");
    std::this_thread::sleep_for(1200ms);
    Keys("space");
    const auto paused = Cell(0);
    ASSERT_TRUE(paused);
    // Timings below allow for a loaded machine, where ticks come late.
    EXPECT_GE(paused->second * 30 + paused->frame, 5u) << "Space played, Space paused";
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Cell(0), paused) << "paused";

    Keys("End r");
    std::this_thread::sleep_for(2500ms);
    Keys("space");
    const auto reversed = Cell(0);
    ASSERT_TRUE(reversed);
    EXPECT_LE(reversed->second, 4u) << "R plays in reverse, a second a second";
    EXPECT_EQ(reversed->frame, 0) << "reverse shows each second's first pictures";

    // Up doubles the speed: speed 2 seeks a second each half second and
    // shows each second's first pictures.
    Keys("Home Up space");
    std::this_thread::sleep_for(1800ms);
    Keys("space");
    const auto fast = Cell(0);
    ASSERT_TRUE(fast);
    EXPECT_GE(fast->second, 2u) << "Up: faster";
    EXPECT_EQ(fast->frame, 0) << "Up: a second at a time";
    Keys("Down Home space");
    std::this_thread::sleep_for(1800ms);
    Keys("space");
    const auto normal = Cell(0);
    ASSERT_TRUE(normal);
    EXPECT_LE(normal->second, 2u) << "Down: back to speed 1";
}

TEST_F(QuillonKeysTest, DialogKeysAndNothingWhileExporting)
{
    Keys("ctrl+l");
    ASSERT_TRUE(WaitForWindow("Quillon")) << "Ctrl+L before a disk: the no-drive message";
    EXPECT_EQ(Sh("test $(xdotool search --onlyvisible --name '^Quillon$' | wc -l) -ge 2"), 0);
    Sh("xdotool key Return");  // the box has the focus
    std::this_thread::sleep_for(400ms);
    OpenByKeys();
    Keys("ctrl+l");
    ASSERT_TRUE(WaitForWindow("File Select")) << "Ctrl+L: the record list";
    Keys("Escape", "File Select");
    ASSERT_TRUE(WaitGone("File Select", 5s));

    Keys("s");
    EXPECT_TRUE(WaitForWindow("Save As", 5s)) << "S: the snapshot's save dialog";
    Keys("Escape", "Save As");
    ASSERT_TRUE(WaitGone("Save As", 5s));
    Keys("p");
    EXPECT_TRUE(WaitForWindow("Print", 5s)) << "P: the print dialog";
    Keys("Escape", "Print");
    ASSERT_TRUE(WaitGone("Print", 5s));

    // M, End, M: a segment from 0 to 5; E exports it.
    Keys("m End m e");
    ASSERT_TRUE(WaitForWindow("Save As")) << "E: the export's save dialog";
    std::this_thread::sleep_for(300ms);
    const std::string out = dir.File("keys.mpg");
    Sh("xdotool key ctrl+a && xdotool type --delay 5 '" + out + "' && xdotool key Return");
    ASSERT_TRUE(WaitForWindow("Output File", 5s)) << "the progress dialog";
    Keys("2 Home Right");  // all ignored while the export runs
    ASSERT_TRUE(WaitGone("Output File", 60s));
    std::this_thread::sleep_for(700ms);
    Sh("xdotool key Return");  // the completion message
    std::this_thread::sleep_for(500ms);
    const QImage after = Shot();
    EXPECT_EQ(Code(after, 320, 0, 320, 240), (FrameCode{1, 5, 0})) << "still the quad view at the end mark";
    EXPECT_TRUE(std::filesystem::exists(out));
    Keys("2");
    EXPECT_EQ(Whole(), (FrameCode{1, 5, 0})) << "keys work again once the export is over";
}

// Runs of equal pixels along row y of the view, leaving out the two cut by its edges.
std::vector<int> Runs(const QImage& shot, int y)
{
    std::vector<int> runs;
    int run = 1;
    for (int x = 1; x < 640; ++x, ++run)
        if (shot.pixel(kViewX + x, kViewY + y) != shot.pixel(kViewX + x - 1, kViewY + y)) {
            runs.push_back(run);
            run = 0;
        }
    if (!runs.empty())
        runs.erase(runs.begin());
    return runs;
}

TEST_F(QuillonKeysTest, WheelZoomsDragPansDoubleClickReturns)
{
    OpenByKeys();
    Keys("1");
    ASSERT_EQ(Whole(), (FrameCode{0, 0, 0})) << "camera 1 over the whole view";
    const auto at = [](int x, int y) { return std::to_string(kViewX + x) + " " + std::to_string(kViewY + y); };
    // About the pointer at the picture's noisy corner, top right.
    Sh("xdotool mousemove " + at(610, 30) + " click --repeat 9 --delay 60 4");
    std::this_thread::sleep_for(600ms);
    const QImage zoomed = Shot();
    EXPECT_FALSE(Code(zoomed, 0, 0, 640, 480)) << "8x: the frame code's band is no longer whole";
    // Nearest neighbour: a 352-pixel row over 640 at 8x is 44 picture pixels,
    // blocks of 14 or 15 equal pixels; colours change only between blocks.
    int changes = 0;
    for (int y : {100, 250, 400}) {
        const auto runs = Runs(zoomed, y);
        changes += int(runs.size());
        for (int run : runs)
            EXPECT_GE(run, 14) << "row " << y;
    }
    EXPECT_GT(changes, 6) << "the picture has detail to enlarge";

    // Dragging by 160 pixels moves the picture with the pointer.
    Sh("xdotool mousemove " + at(200, 300) + " mousedown 1 mousemove " + at(280, 300) + " mousemove " + at(360, 300) +
       " sleep 0.2 mouseup 1");
    std::this_thread::sleep_for(600ms);
    const QImage panned = Shot();
    int same = 0, compared = 0;
    for (int y = 0; y < 480; y += 5)
        for (int x = 0; x < 480; x += 3, ++compared)
            same += panned.pixel(kViewX + x + 160, kViewY + y) == zoomed.pixel(kViewX + x, kViewY + y);
    EXPECT_GT(same, compared * 97 / 100) << "the picture follows the pointer";

    // The right button's menu: smoothing. Blends make short runs.
    Sh("xdotool mousemove " + at(320, 240) + " click 3");
    std::this_thread::sleep_for(500ms);
    Sh("xdotool key Down Return");
    std::this_thread::sleep_for(600ms);
    const QImage smooth = Shot();
    int shortRuns = 0;
    for (int run : Runs(smooth, 250))
        shortRuns += run < 14;
    EXPECT_GT(shortRuns, 10) << "smoothed enlargement";

    Sh("xdotool mousemove " + at(320, 240) + " click --repeat 2 --delay 80 1");
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(Whole(), (FrameCode{0, 0, 0})) << "a double click: the whole picture again, camera 1 still";
    Sh("xdotool click 1");
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Cell(3), (FrameCode{3, 0, 0})) << "unzoomed, a click returns to the quad view as before";
    if (const char* keep = std::getenv("QUILLON_GUI_SHOTS"))
        Sh("cp " + dir.File("shot*.png") + " " + keep);
}

}  // namespace
