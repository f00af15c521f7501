#pragma once
// Finding the running copy of the program: a top-level window with a given
// title on the X11 display Qt is connected to. Needs a QGuiApplication.
#include <string>

namespace platform {

// True when a top-level window titled exactly `title` exists; it is then
// restored if minimised and brought to the front. False without X11.
bool ActivateTopLevelWindow(const std::string& title);

}  // namespace platform
