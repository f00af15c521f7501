// quillon: the program. Disk image paths given as arguments become drives
// 0, 1, ... ahead of the machine's own disks.
#include <QApplication>
#include <QIcon>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "casefile/case_disk_image.h"
#include "platform/app_directory.h"
#include "platform/drive_table.h"
#include "platform/window_system.h"
#include "platform/x11_window_search.h"
#include "playback/playback_engine.h"
#include "ui/app_context.h"
#include "ui/main_frame.h"

// The package's version, set with the install rules (packaging/CMakeLists.txt).
#ifndef QUILLON_VERSION
#define QUILLON_VERSION "unknown"
#endif

namespace {

const char* const kUsage = "usage: quillon [--case CASE] [IMAGE...] [Qt options such as -platform NAME]\n"
                           "Plays and exports what a four-camera video recorder wrote on its hard disk.\n"
                           "The disk image files given come first in the drive table (drives 0, 1, ...),\n"
                           "then the machine's whole disks. Everything is opened read-only.\n"
                           "\n"
                           "  --case CASE   work in the case file CASE (quillon-cli case create makes one):\n"
                           "                B bookmarks the picture shown, Ctrl+B lists the bookmarks, and\n"
                           "                exports are added to it; its disk image is offered among the\n"
                           "                disks when it is still where the case says\n"
                           "  -h, --help    this text\n"
                           "  --version     the program's version\n"
                           "\n"
                           "The keys and the headless commands: man quillon, quillon-cli --help.\n";

// --help and --version answer without a display, before Qt starts.
bool AnswerInfoOption(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (a == "--version") {
            std::printf("quillon %s\n", QUILLON_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (AnswerInfoOption(argc, argv))
        return 0;
    if (!platform::HasDisplay(std::span<char* const>(argv, static_cast<std::size_t>(argc)))) {
        std::fprintf(stderr, "quillon: needs a display (X11 or Wayland); quillon-cli works without one\n");
        return 1;
    }
    // Process-wide, outliving the application object.
    ui::AppContext context(platform::AppDirectory());
    playback::PlaybackEngine engine(context.decoder);

    // Before the application picks its platform: on a Wayland desktop with
    // Xwayland, X11 keeps placement, the running-copy search and the hot key.
    platform::PreferX11(std::span<char* const>(argv, static_cast<std::size_t>(argc)));
    QApplication app(argc, argv);  // takes Qt's own options out of argv
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillon.png")));
    // Ties the windows to the installed menu entry (Wayland's app id).
    QApplication::setDesktopFileName(QStringLiteral("org.quillon.Quillon"));
    std::vector<std::string> images;
    std::string casePath;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--case" && i + 1 < argc)
            casePath = argv[++i];
        else
            images.emplace_back(argv[i]);
    }
    // The case's own image is offered among the disks unless named already.
    if (!casePath.empty()) {
        const std::string caseImage = casefile::CaseDiskImage(casePath);
        const auto same = [&caseImage](const std::string& image) {
            std::error_code ec;
            return std::filesystem::equivalent(image, caseImage, ec);
        };
        if (!caseImage.empty() && std::none_of(images.begin(), images.end(), same))
            images.push_back(caseImage);
    }
    platform::SetDriveImages(std::move(images));

    // One copy at a time: a second start only brings the first to the front.
    if (platform::ActivateTopLevelWindow("Quillon"))
        return 0;

    ui::CMainFrame frame(context, engine);
    frame.show();
    if (!casePath.empty())
        frame.OpenCase(casePath);
    return app.exec();
}
