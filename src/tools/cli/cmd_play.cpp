// quillon-cli play: the real engine and timer, headless; one line
// "elapsed_ms<TAB>position" whenever the position changes.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tools/cli/commands.h"
#include "tools/cli/headless_engine.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"

namespace cli {
namespace {

// "16", "2", "1", "1/2" ... "1/8", or the same as decimals. Read without
// exceptions: any other text is refused, never a crash.
bool ParseSpeed(const std::string& text, float& speed)
{
    float decimal = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, decimal, std::chars_format::fixed);
    const bool isDecimal = text.find('.') != std::string::npos && ec == std::errc() && ptr == end;
    for (float s = 0.125f; s <= 16.0f; s *= 2) {
        const int whole = static_cast<int>(s);
        const std::string name = s >= 1 ? std::to_string(whole) : "1/" + std::to_string(static_cast<int>(1 / s));
        if (text == name || (isDecimal && decimal == s)) {
            speed = s;
            return true;
        }
    }
    return false;
}

int Run(Options& options)
{
    float speed = 1;
    if (!ParseSpeed(options.Value("--speed").value_or("1"), speed))
        return Fail("--speed takes 1/8, 1/4, 1/2, 1, 2, 4, 8 or 16");
    int64_t seconds = 0;
    if (!options.Number("--seconds", 1, 86400, 86400, seconds))
        return Fail(options.error);

    disk::RecorderVolume volume;
    HeadlessEngine player;
    if (const auto opened = player.OpenFromOptions(options, volume, "--from"); !opened)
        return Fail(opened.Detail());
    auto& engine = player.Engine();
    if (options.Has("--sound"))
        engine.ToggleSound();
    while (engine.Speed() < speed)
        engine.Faster();
    while (engine.Speed() > speed)
        engine.Slower();

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto elapsed = [&] { return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(); };
    int shown = engine.Position();
    std::printf("0\t%d\n", shown);
    std::fflush(stdout);
    if (options.Has("--reverse"))
        engine.PlayReverse();
    else
        engine.PlayForward();
    while (engine.IsPlaying() && elapsed() < seconds * 1000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const int now = engine.Position();
        if (now != shown) {
            shown = now;
            std::printf("%lld\t%d\n", static_cast<long long>(elapsed()), now);
            std::fflush(stdout);
        }
    }
    engine.Halt();
    engine.KillTimer();
    return 0;
}

}  // namespace

Command PlayCommand()
{
    return {.name = "play",
            .summary = "plays through the real engine and timer, printing each position reached",
            .description = "Plays through the real playback engine and timer with headless windows, printing\n"
                           "'elapsed_ms<TAB>position' whenever the position changes.\n",
            .arguments = {DeclareDisk()},
            .options = {DeclareRecord(),
                        {"--from", "S", "start at position S (default 0)"},
                        {"--speed", "X", "16, 8, 4, 2, 1 (default), 1/2, 1/4 or 1/8 (or as decimals)"},
                        {"--reverse", "", "play backwards"},
                        DeclareView(),
                        {"--seconds", "T", "stop after T seconds (default: at the record's end)"},
                        {"--sound", "", "open the sound device and play the sound"}},
            .run = Run};
}

}  // namespace cli
