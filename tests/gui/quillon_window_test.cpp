// The quillon program on a virtual X display: open a record through the disk
// and record dialogs, play, pause and pick a camera with the mouse, and read
// the cameras' frame codes back from screenshots. Also the hot key, the
// single running copy, and the window on a desktop with a window manager:
// placement, icon and dragging.
#include <gtest/gtest.h>

#include <QImage>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "support/temp_dir.h"
#include "support/x_display.h"
#include "tools/mkdisk/frame_code.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// The main window's place on the screen and its video view inside it.
constexpr int kWindowX = 145, kWindowY = 40;
constexpr int kViewX = kWindowX + 8, kViewY = kWindowY + 31;

pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

// Exit status when the process ends within the time, else nullopt.
std::optional<int> WaitFor(pid_t pid, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(20ms);
    }
    return std::nullopt;
}

void Stop(pid_t& pid)
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        if (!WaitFor(pid, 3s)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    pid = -1;
}

int Sh(const std::string& command) { return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()); }

class QuillonWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Sh("command -v Xvfb && command -v xdotool && command -v import") != 0)
            GTEST_SKIP() << "Xvfb, xdotool or ImageMagick missing";
        for (int n = 71; n < 90 && xvfb < 0; ++n) {
            if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
                std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock"))
                continue;
            const std::string name = ":" + std::to_string(n);
            pid_t pid = Spawn({"Xvfb", name, "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
            for (int i = 0; i < 100 && pid > 0; ++i) {
                if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)))
                    break;
                if (WaitFor(pid, 50ms))
                    pid = -1;  // died: the display was taken after all
            }
            // ctest runs tests side by side: the socket may be another test's
            // server that took the number first, and this one then ends.
            if (pid > 0 && WaitFor(pid, 300ms))
                pid = -1;
            if (pid > 0 && std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
                testing_support::HoldsDisplay(pid, n)) {
                xvfb = pid;
                display = name;
            } else {
                Stop(pid);
            }
        }
        if (xvfb < 0)
            GTEST_SKIP() << "Xvfb could not start";
        setenv("DISPLAY", display.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        image = dir.File("gui.img");
        ASSERT_EQ(Sh(std::string(QUILLON_BIN_DIR) + "/quillon-mkdisk -o " + image +
                     " --record seconds=6 --record format=720x288,seconds=3"),
                  0);
    }
    void TearDown() override
    {
        Stop(quillon);
        Stop(windowManager);
        Stop(xvfb);
    }

    // A small window manager of the kind desktops run: it reparents the
    // window and moves it on the server's time, not the program's.
    bool StartWindowManager()
    {
        windowManager = Spawn({"sh", "-c", "exec openbox --sm-disable >/dev/null 2>&1"});
        for (int i = 0; i < 100 && windowManager > 0; ++i) {
            if (Sh("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'") == 0)
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    // Output of a shell command, or nothing when it fails.
    std::optional<std::string> Output(const std::string& command)
    {
        const std::string path = dir.File("output.txt");
        if (std::system(("{ " + command + "; } >" + path + " 2>/dev/null").c_str()) != 0)
            return std::nullopt;
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The main window's top-left corner on the screen, as the X server has it.
    std::optional<std::pair<int, int>> WindowPosition()
    {
        const auto shell = Output("xdotool getwindowgeometry --shell $(xdotool search --onlyvisible --name "
                                  "'^Quillon$' | head -1)");
        if (!shell)
            return std::nullopt;
        int x = 0, y = 0;
        const auto xAt = shell->find("X="), yAt = shell->find("Y=");
        if (xAt == std::string::npos || yAt == std::string::npos ||
            std::sscanf(shell->c_str() + xAt, "X=%d", &x) != 1 || std::sscanf(shell->c_str() + yAt, "Y=%d", &y) != 1)
            return std::nullopt;
        return std::pair(x, y);
    }
    // Once the window has stopped moving; (-1, -1) when it never does.
    std::pair<int, int> SettledPosition()
    {
        std::pair<int, int> last(-1, -1);
        for (int i = 0; i < 20; ++i) {
            const auto now = WindowPosition();
            if (now && *now == last)
                return last;
            if (now)
                last = *now;
            std::this_thread::sleep_for(150ms);
        }
        return {-1, -1};
    }

    pid_t Start() { return Spawn({std::string(QUILLON_BIN_DIR) + "/quillon", image}); }

    // Waits until a visible window titled exactly `title` exists.
    bool WaitForWindow(const std::string& title, std::chrono::milliseconds limit = 10s)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (Sh("xdotool search --onlyvisible --name '^" + title + "$'") == 0)
                return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
    // OK on a dialog: focus it and press Return.
    bool Confirm(const std::string& title)
    {
        if (!WaitForWindow(title))
            return false;
        std::this_thread::sleep_for(300ms);
        return Sh("w=$(xdotool search --onlyvisible --name '^" + title +
                  "$' | head -1) && xdotool windowfocus --sync $w && xdotool key Return") == 0;
    }
    void Click(int windowX, int windowY)
    {
        Sh("xdotool mousemove " + std::to_string(kWindowX + windowX) + " " + std::to_string(kWindowY + windowY) +
           " click 1");
        std::this_thread::sleep_for(300ms);
    }
    // Begin mark at 0, four seconds of play, end mark; then the mouse away,
    // since the mark button's tooltip would take the next click.
    void MarkFourSeconds()
    {
        Click(719, 207);            // "segment"
        Click(365 + 20, 554 + 20);  // "play"
        std::this_thread::sleep_for(4500ms);
        Click(312 + 22, 549 + 22);  // "pause"
        Click(719, 207);            // "segment"
        Sh("xdotool mousemove 600 760");
        std::this_thread::sleep_for(500ms);
    }
    QImage Screenshot(const std::string& name)
    {
        const std::string path = dir.File(name);
        Sh("import -window root " + path);
        QImage shot(QString::fromStdString(path));
        return shot.convertToFormat(QImage::Format_RGB32);
    }
    static std::optional<mkdisk::FrameCode> CodeAt(const QImage& shot, int x, int y, int width, int height)
    {
        if (shot.isNull() || x + width > shot.width() || y + height > shot.height())
            return std::nullopt;
        const uint8_t* at = shot.constBits() + y * shot.bytesPerLine() + x * 4;
        return mkdisk::DecodeFrameCodeRgb(at, width, height, size_t(shot.bytesPerLine()), 4);
    }

    testing_support::TempDir dir;
    std::string image;
    std::string display;
    pid_t xvfb = -1;
    pid_t windowManager = -1;
    pid_t quillon = -1;
};

TEST_F(QuillonWindowTest, OpensPlaysAndShowsOneCamera)
{
    quillon = Start();
    ASSERT_GT(quillon, 0);
    ASSERT_TRUE(WaitForWindow("Quillon"));
    std::this_thread::sleep_for(500ms);
    const QImage idle = Screenshot("idle.png");
    ASSERT_FALSE(idle.isNull());
    EXPECT_EQ(idle.pixel(kViewX + 320, kViewY + 240) & 0xFFFFFF, 0x1E0000u) << "no record yet: dark red";
    // The view's sunken edge: two rings outside the pictures' place, each
    // darker above and left than below and right.
    auto grey = [&](int x, int y) { return qGray(idle.pixel(x, y)); };
    for (int ring = 1; ring <= 2; ++ring) {
        EXPECT_EQ(idle.pixel(kViewX, kViewY) & 0xFFFFFF, 0x1E0000u) << "the pictures start at (8, 31)";
        EXPECT_EQ(idle.pixel(kViewX + 639, kViewY + 479) & 0xFFFFFF, 0x1E0000u);
        const int top = grey(kViewX + 320, kViewY - ring), left = grey(kViewX - ring, kViewY + 240);
        const int bottom = grey(kViewX + 320, kViewY + 479 + ring), right = grey(kViewX + 639 + ring, kViewY + 240);
        EXPECT_EQ(top, left) << "ring " << ring;
        EXPECT_EQ(bottom, right) << "ring " << ring;
        EXPECT_GT(bottom, top + 40) << "ring " << ring << " is sunken";
    }

    Click(716 + 24, 294 + 25);  // "hdd"
    ASSERT_TRUE(Confirm("Disk Select"));
    ASSERT_TRUE(Confirm("File Select"));
    std::this_thread::sleep_for(800ms);
    const QImage opened = Screenshot("opened.png");
    for (int camera = 0; camera < 4; ++camera) {
        const auto code = CodeAt(opened, kViewX + camera % 2 * 320, kViewY + camera / 2 * 240, 320, 240);
        ASSERT_TRUE(code) << "camera " << camera;
        EXPECT_EQ(code->camera, unsigned(camera));
        EXPECT_EQ(code->second, 0u);
    }

    Click(365 + 20, 554 + 20);  // "play"
    std::this_thread::sleep_for(2500ms);
    Click(312 + 22, 549 + 22);  // "pause"
    std::this_thread::sleep_for(400ms);
    const QImage paused = Screenshot("paused.png");
    const auto first = CodeAt(paused, kViewX, kViewY, 320, 240);
    ASSERT_TRUE(first);
    EXPECT_GE(first->second, 1u) << "about two seconds were played";
    std::this_thread::sleep_for(600ms);
    const auto still = CodeAt(Screenshot("still.png"), kViewX, kViewY, 320, 240);
    ASSERT_TRUE(still);
    EXPECT_EQ(still->second, first->second) << "paused";
    EXPECT_EQ(still->frame, first->frame);

    Click(647 + 25, 397 + 15);  // "ch2"
    std::this_thread::sleep_for(500ms);
    const auto whole = CodeAt(Screenshot("ch2.png"), kViewX, kViewY, 640, 480);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->camera, 1u);
    EXPECT_EQ(whole->second, first->second);

    Click(697 + 10, 17 + 8);  // "exit"
    const auto status = WaitFor(quillon, 10s);
    ASSERT_TRUE(status) << "exit closes the program";
    EXPECT_EQ(*status, 0);
    quillon = -1;
}

// Mark, mark, export: the save dialog, the progress dialog while it runs, the
// completion message, and a file that ffprobe reads as the marked seconds.
TEST_F(QuillonWindowTest, MarksASegmentAndExportsIt)
{
    quillon = Start();
    ASSERT_GT(quillon, 0);
    ASSERT_TRUE(WaitForWindow("Quillon", 20s));
    Click(716 + 24, 294 + 25);  // "hdd"
    ASSERT_TRUE(Confirm("Disk Select"));
    ASSERT_TRUE(Confirm("File Select"));
    std::this_thread::sleep_for(800ms);
    MarkFourSeconds();
    Click(719, 230);  // "output"
    ASSERT_TRUE(WaitForWindow("Save As")) << "the save dialog";
    std::this_thread::sleep_for(500ms);
    const std::string out = dir.File("segment.mpg");
    Screenshot("export-save.png");
    ASSERT_EQ(Sh("xdotool key ctrl+a && xdotool type --delay 5 '" + out + "' && xdotool key Return"), 0);
    ASSERT_TRUE(WaitForWindow("Output File", 5s)) << "the progress dialog";
    const QImage during = Screenshot("export-progress.png");
    // Below the progress dialog, which stands over the view's middle.
    EXPECT_EQ(during.pixel(kViewX + 100, kViewY + 420) & 0xFFFFFF, 0x1E0000u) << "the view shows it is exporting";

    // The completion message comes when the dialog has gone.
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (Sh("xdotool search --onlyvisible --name '^Output File$'") == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(100ms);
    std::this_thread::sleep_for(700ms);
    Screenshot("export-done.png");
    EXPECT_EQ(Sh("test $(xdotool search --onlyvisible --name '^Quillon$' | wc -l) -ge 2"), 0)
        << "the completion message beside the main window";
    Sh("xdotool key Return");
    std::this_thread::sleep_for(300ms);

    const std::string frames = dir.File("frames.txt");
    ASSERT_EQ(
        Sh("ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 '" +
           out + "' > " + frames),
        0);
    std::ifstream in(frames);
    int count = 0;
    in >> count;
    EXPECT_GE(count, 30 * 5) << "the marked seconds and the one after them";
    EXPECT_EQ(count % 30, 0);
    if (const char* keep = std::getenv("QUILLON_GUI_SHOTS"))
        Sh(std::string("cp ") + dir.File("export-*.png") + " " + keep);
}

// No display at all: one line that says so, exit status 1, not an abort inside Qt.
TEST(QuillonWithoutDisplay, SaysItNeedsOneAndEnds)
{
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(QUILLON_BIN_DIR) +
                                "/quillon 2>&1 >/dev/null; echo status $?";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_TRUE(pipe);
    std::string out;
    char buffer[512];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    ::pclose(pipe);
    EXPECT_EQ(out, "quillon: needs a display (X11 or Wayland); quillon-cli works without one\nstatus 1\n");
}

TEST_F(QuillonWindowTest, HotKeyAndASingleCopy)
{
    quillon = Start();
    ASSERT_GT(quillon, 0);
    ASSERT_TRUE(WaitForWindow("Quillon"));
    // Another window has the focus: the key still reaches the program.
    Sh("xdotool search --onlyvisible --name '^Quillon$' windowunmap --sync");
    Sh("xdotool key ctrl+alt+v");
    EXPECT_TRUE(WaitForWindow("Quillon PlayBack", 5s)) << "the version message";
    Confirm("Quillon PlayBack");

    // A second start brings the first copy back and ends at once.
    const pid_t second = Start();
    ASSERT_GT(second, 0);
    const auto status = WaitFor(second, 10s);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0);
    EXPECT_TRUE(WaitForWindow("Quillon", 3s)) << "the first copy is shown again";
    EXPECT_FALSE(WaitFor(quillon, 100ms)) << "the first copy runs on";
}

// On a desktop: a window manager runs, and the session says Wayland while X
// (Xwayland here: Xvfb) is there. The program picks X11 itself, keeps its
// place and shows its icon; fast drags by the background land exactly where
// the mouse went, whatever the window manager's delays.
TEST_F(QuillonWindowTest, OnADesktopDragsExactlyWithTheMouse)
{
    if (Sh("command -v openbox && command -v xprop") != 0)
        GTEST_SKIP() << "openbox or xprop missing";
    ASSERT_TRUE(StartWindowManager());
    unsetenv("QT_QPA_PLATFORM");
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    setenv("WAYLAND_DISPLAY", "quillon-test-no-compositor", 1);
    quillon = Start();
    unsetenv("XDG_SESSION_TYPE");
    unsetenv("WAYLAND_DISPLAY");
    ASSERT_GT(quillon, 0);
    ASSERT_TRUE(WaitForWindow("Quillon", 20s));
    EXPECT_EQ(SettledPosition(), std::pair(kWindowX, kWindowY)) << "placed at (145, 40)";
    const auto icon = Output("xprop -id $(xdotool search --onlyvisible --name '^Quillon$' | head -1) _NET_WM_ICON");
    ASSERT_TRUE(icon);
    EXPECT_NE(icon->find("Icon (128 x 128)"), std::string::npos) << *icon;

    // Grab the title strip, clear of the logo and the buttons, and go 20
    // steps of (10, 5) with no pause between them; then back up and left.
    auto drag = [&](int fromX, int fromY, int dx, int dy) {
        std::string steps = "xdotool mousemove " + std::to_string(fromX) + " " + std::to_string(fromY) + " mousedown 1";
        for (int i = 1; i <= 20; ++i)
            steps += " mousemove " + std::to_string(fromX + i * dx) + " " + std::to_string(fromY + i * dy);
        EXPECT_EQ(Sh(steps), 0);
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(Sh("xdotool mouseup 1"), 0);
    };
    drag(kWindowX + 400, kWindowY + 14, 10, 5);
    EXPECT_EQ(SettledPosition(), std::pair(kWindowX + 200, kWindowY + 100));
    drag(kWindowX + 600, kWindowY + 114, -7, -4);
    EXPECT_EQ(SettledPosition(), std::pair(kWindowX + 60, kWindowY + 20));

    // The whole window came along: the view, in its edge, at its new place.
    const QImage moved = Screenshot("moved.png");
    EXPECT_EQ(moved.pixel(kViewX + 60, kViewY + 20) & 0xFFFFFF, 0x1E0000u);
    EXPECT_EQ(moved.pixel(kViewX + 60 + 639, kViewY + 20 + 479) & 0xFFFFFF, 0x1E0000u);
    EXPECT_NE(moved.pixel(kViewX + 60 + 640, kViewY + 20 + 240) & 0xFFFFFF, 0x1E0000u);
    // Released: the mouse moves on alone.
    Sh("xdotool mousemove 1000 700");
    EXPECT_EQ(SettledPosition(), std::pair(kWindowX + 60, kWindowY + 20));
    if (const char* keep = std::getenv("QUILLON_GUI_SHOTS"))
        Sh(std::string("cp ") + dir.File("moved.png") + " " + keep);
}

}  // namespace

namespace {

// The evidence untouched by a whole session: the image's files mode 0444,
// open, play, snapshot, mark, export and exit; every descriptor the program
// holds on them open for reading only; their SHA-256 the same afterwards.
class ReadOnlySessionTest : public QuillonWindowTest {
protected:
    // files: the image's files in dir, as a shell pattern.
    void RunSession(const std::string& files)
    {
        const std::string in = "cd '" + dir.Path().string() + "' && ";
        ASSERT_EQ(Sh(in + "chmod 0444 " + files), 0);
        const auto before = Output(in + "sha256sum " + files);
        ASSERT_TRUE(before);
        quillon = Start();
        ASSERT_GT(quillon, 0);
        ASSERT_TRUE(WaitForWindow("Quillon", 20s));
        Click(716 + 24, 294 + 25);  // "hdd"
        ASSERT_TRUE(Confirm("Disk Select"));
        ASSERT_TRUE(Confirm("File Select"));
        std::this_thread::sleep_for(800ms);

        size_t held = 0;
        const std::string proc = "/proc/" + std::to_string(quillon);
        for (const auto& fd : std::filesystem::directory_iterator(proc + "/fd")) {
            std::error_code ec;
            const auto target = std::filesystem::read_symlink(fd.path(), ec);
            if (ec || target.parent_path() != dir.Path() || !target.filename().string().starts_with("gui."))
                continue;
            ++held;
            std::ifstream info(proc + "/fdinfo/" + fd.path().filename().string());
            std::string key, flags;
            while (info >> key && key != "flags:")
                ;
            info >> flags;
            ASSERT_FALSE(flags.empty());
            EXPECT_EQ(std::stoul(flags, nullptr, 8) & O_ACCMODE, unsigned(O_RDONLY)) << target << " flags " << flags;
        }
        EXPECT_GE(held, 1u) << "the open record reads the image";

        MarkFourSeconds();
        Click(665 + 50, 96 + 22);  // "snap"
        ASSERT_TRUE(WaitForWindow("Save As")) << "the snapshot's save dialog";
        std::this_thread::sleep_for(500ms);
        const std::string shot = dir.File("session.bmp");
        ASSERT_EQ(Sh("xdotool key ctrl+a && xdotool type --delay 5 '" + shot + "' && xdotool key Return"), 0);
        std::this_thread::sleep_for(800ms);
        Sh("xdotool mousemove 600 760");
        std::this_thread::sleep_for(300ms);
        Click(719, 230);  // "output"
        ASSERT_TRUE(WaitForWindow("Save As")) << "the export's save dialog";
        std::this_thread::sleep_for(500ms);
        const std::string out = dir.File("session.mpg");
        ASSERT_EQ(Sh("xdotool key ctrl+a && xdotool type --delay 5 '" + out + "' && xdotool key Return"), 0);
        ASSERT_TRUE(WaitForWindow("Output File", 5s)) << "the progress dialog";
        const auto end = std::chrono::steady_clock::now() + 60s;
        while (Sh("xdotool search --onlyvisible --name '^Output File$'") == 0 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(100ms);
        std::this_thread::sleep_for(700ms);
        Sh("xdotool key Return");  // the completion message
        std::this_thread::sleep_for(300ms);
        Click(697 + 10, 17 + 8);  // "exit"
        const auto status = WaitFor(quillon, 10s);
        ASSERT_TRUE(status);
        EXPECT_EQ(*status, 0);
        quillon = -1;

        EXPECT_GT(std::filesystem::file_size(shot), 640u * 480) << "the snapshot was written";
        const auto frames = Output("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                                   "stream=nb_read_frames -of csv=p=0 '" +
                                   out + "'");
        ASSERT_TRUE(frames) << "the export was written";
        EXPECT_GE(std::stoi(*frames), 30 * 5) << "the marked seconds and the one after them";
        EXPECT_EQ(Output(in + "sha256sum " + files), before) << "the image is as it was";
        EXPECT_EQ(Sh(in + "test -z \"$(find " + files + " ! -perm 0444)\""), 0) << "still mode 0444";
    }
};

TEST_F(ReadOnlySessionTest, LeavesAPlainImageAsItWas) { RunSession("gui.img"); }

// The same session on an E01 of the disk, its chunks compressed.
TEST_F(ReadOnlySessionTest, LeavesAnE01ImageAsItWas)
{
    if (Sh("command -v ewfacquire") != 0)
        GTEST_SKIP() << "ewf-tools missing";
    ASSERT_EQ(Sh("cd '" + dir.Path().string() + "' && ewfacquire -u -q -c fast -t gui gui.img && rm gui.img"), 0);
    image = dir.File("gui.E01");
    RunSession("gui.E*");
}

// Ctrl+G in the real window: the go-to-time dialog, a time typed, Return,
// and the second record shown at that second.
TEST_F(QuillonWindowTest, GoesToATypedTime)
{
    quillon = Start();
    ASSERT_GT(quillon, 0);
    ASSERT_TRUE(WaitForWindow("Quillon"));
    std::this_thread::sleep_for(500ms);
    Click(716 + 24, 294 + 25);  // "hdd"
    ASSERT_TRUE(Confirm("Disk Select"));
    ASSERT_TRUE(Confirm("File Select"));
    std::this_thread::sleep_for(800ms);
    ASSERT_EQ(Sh("w=$(xdotool search --onlyvisible --name '^Quillon$' | head -1) && xdotool windowfocus --sync $w && "
                 "xdotool key ctrl+g"),
              0);
    ASSERT_TRUE(WaitForWindow("Go to Time"));
    std::this_thread::sleep_for(300ms);
    // Record 2 begins at 09:31:06, a minute after record 1's six seconds.
    ASSERT_EQ(Sh("xdotool key ctrl+a && xdotool type --delay 5 '2023-05-14 09:31:08'"), 0);
    std::this_thread::sleep_for(300ms);
    Screenshot("goto.png");
    ASSERT_EQ(Sh("xdotool key Return"), 0);
    std::this_thread::sleep_for(800ms);
    EXPECT_NE(Sh("xdotool search --onlyvisible --name '^Go to Time$'"), 0) << "OK closed the dialog";
    const QImage shown = Screenshot("gone.png");
    for (int camera = 0; camera < 4; ++camera) {
        const auto code = CodeAt(shown, kViewX + camera % 2 * 320, kViewY + camera / 2 * 240, 320, 240);
        ASSERT_TRUE(code) << "camera " << camera;
        EXPECT_EQ(code->camera, unsigned(camera));
        EXPECT_EQ(code->second, 2u) << "09:31:08 is second 2 of record 2";
    }
    Click(365 + 20, 554 + 20);  // "play": ready to play from there
    std::this_thread::sleep_for(1500ms);
    Click(312 + 22, 549 + 22);  // "pause"
    std::this_thread::sleep_for(400ms);
    const auto played = CodeAt(Screenshot("played.png"), kViewX, kViewY, 320, 240);
    ASSERT_TRUE(played);
    EXPECT_GE(played->second, 2u);
    if (const char* keep = std::getenv("QUILLON_KEEP_SHOTS"))
        Sh("cp " + dir.File("goto.png") + " " + dir.File("gone.png") + " " + keep);
}

}  // namespace
