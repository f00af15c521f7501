#include "platform/window_system.h"

#include <QGuiApplication>
#include <QWindow>

#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

bool Set(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

bool NamesPlatform(std::span<char* const> arguments)
{
    for (const char* argument : arguments)
        if (argument && (std::strcmp(argument, "-platform") == 0 || std::strcmp(argument, "--platform") == 0))
            return true;
    return false;
}

}  // namespace

bool PreferX11(std::span<char* const> arguments)
{
    if (!Set("DISPLAY") || Set("QT_QPA_PLATFORM") || NamesPlatform(arguments))
        return false;
    // Wayland stays as the fallback for a missing xcb plugin or a dead display.
    return setenv("QT_QPA_PLATFORM", "xcb;wayland", 1) == 0;
}

bool HasDisplay(std::span<char* const> arguments)
{
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM") || NamesPlatform(arguments);
}

bool SystemPlacesWindows() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

bool StartSystemMove(QWindow* window) { return window && window->startSystemMove(); }

}  // namespace platform
