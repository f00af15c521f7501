// quillon: the program. Disk image paths given as arguments become drives
// 0, 1, ... ahead of the machine's own disks.
#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "platform/app_directory.h"
#include "platform/drive_table.h"
#include "platform/window_system.h"
#include "platform/x11_window_search.h"
#include "playback/playback_engine.h"
#include "ui/app_context.h"
#include "ui/main_frame.h"

int main(int argc, char* argv[])
{
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
    std::vector<std::string> images;
    for (int i = 1; i < argc; ++i)
        images.emplace_back(argv[i]);
    platform::SetDriveImages(std::move(images));

    // One copy at a time: a second start only brings the first to the front.
    if (platform::ActivateTopLevelWindow("Quillon"))
        return 0;

    ui::CMainFrame frame(context, engine);
    frame.show();
    return app.exec();
}
