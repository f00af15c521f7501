#pragma once
// The windowing system the program's windows live on. On X11 (Xwayland
// included) the program places its window, finds its running copy and grabs
// the hot key itself; a native Wayland session lets no client do any of that,
// so there the window's moves are handed to the compositor.
#include <span>

class QWindow;

namespace platform {

// Call before the application object exists. When an X display is there and
// neither QT_QPA_PLATFORM nor a -platform argument names a platform, asks Qt
// for X11 first, Wayland as the fallback. True when it did.
bool PreferX11(std::span<char* const> arguments);

// Whether the program has a display to open: DISPLAY or WAYLAND_DISPLAY set,
// or a platform chosen by QT_QPA_PLATFORM or a -platform argument (offscreen
// included). Without one Qt would abort inside the application's construction.
bool HasDisplay(std::span<char* const> arguments);

// True when the windowing system places windows itself, so that moving a
// window by its position has no effect (Wayland).
bool SystemPlacesWindows();

// Hands the move of window with the pointer to the windowing system, which
// keeps the pointer until the button goes up. False when it can't.
bool StartSystemMove(QWindow* window);

}  // namespace platform
