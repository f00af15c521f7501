// The choice of windowing system before the application starts: X11 when an
// X display is there and nobody chose otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/window_system.h"

namespace {

// Sets or clears the variables for one case and puts them back afterwards.
class Environment {
public:
    Environment(std::optional<std::string> display, std::optional<std::string> platform)
    {
        Put("DISPLAY", display);
        Put("QT_QPA_PLATFORM", platform);
    }
    ~Environment()
    {
        for (const auto& [name, value] : saved)
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
    static std::optional<std::string> Get(const char* name)
    {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }

private:
    void Put(const char* name, const std::optional<std::string>& value)
    {
        saved.emplace_back(name, Get(name));
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

bool Prefer(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (auto& a : arguments)
        argv.push_back(a.data());
    return platform::PreferX11(argv);
}

TEST(PreferX11, AnXDisplayWinsWhenNobodyChose)
{
    {
        // A Wayland session with Xwayland: X11 first, Wayland behind it.
        Environment env(":0", std::nullopt);
        EXPECT_TRUE(Prefer({"quillon", "disk.img"}));
        EXPECT_EQ(Environment::Get("QT_QPA_PLATFORM"), "xcb;wayland");
    }
    {
        Environment env(":0", "");
        EXPECT_TRUE(Prefer({"quillon"})) << "an empty choice is none";
        EXPECT_EQ(Environment::Get("QT_QPA_PLATFORM"), "xcb;wayland");
    }
}

TEST(PreferX11, TheUsersChoiceAndAMissingDisplayLeaveQtAlone)
{
    {
        Environment env(":0", "offscreen");
        EXPECT_FALSE(Prefer({"quillon"}));
        EXPECT_EQ(Environment::Get("QT_QPA_PLATFORM"), "offscreen");
    }
    for (const char* option : {"-platform", "--platform"}) {
        Environment env(":0", std::nullopt);
        EXPECT_FALSE(Prefer({"quillon", option, "wayland", "disk.img"})) << option;
        EXPECT_EQ(Environment::Get("QT_QPA_PLATFORM"), std::nullopt);
    }
    {
        // Wayland alone: nothing to prefer.
        Environment env(std::nullopt, std::nullopt);
        EXPECT_FALSE(Prefer({"quillon"}));
        EXPECT_EQ(Environment::Get("QT_QPA_PLATFORM"), std::nullopt);
    }
}

// Without any display Qt would abort while the application is made: the
// program must be able to tell first.
TEST(HasDisplay, AnyDisplayOrChosenPlatformCountsAndNothingElse)
{
    const std::string wayland = Environment::Get("WAYLAND_DISPLAY").value_or("");
    unsetenv("WAYLAND_DISPLAY");
    char name[] = "quillon";
    char option[] = "-platform";
    char offscreen[] = "offscreen";
    char* plain[] = {name};
    char* chosen[] = {name, option, offscreen};
    {
        Environment env(std::nullopt, std::nullopt);
        EXPECT_FALSE(platform::HasDisplay(plain));
        EXPECT_TRUE(platform::HasDisplay(chosen));
        setenv("WAYLAND_DISPLAY", "wayland-0", 1);
        EXPECT_TRUE(platform::HasDisplay(plain));
        unsetenv("WAYLAND_DISPLAY");
    }
    {
        Environment env(":0", std::nullopt);
        EXPECT_TRUE(platform::HasDisplay(plain));
    }
    {
        Environment env(std::nullopt, "offscreen");
        EXPECT_TRUE(platform::HasDisplay(plain));
    }
    if (!wayland.empty())
        setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
}

}  // namespace
