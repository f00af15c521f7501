#include "tools/cli/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace cli {

ProgressBar::ProgressBar(std::string text) : label(std::move(text)), visible(::isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() { Done(); }

void ProgressBar::Draw(int percent, long secondsLeft)
{
    if (!visible)
        return;
    constexpr int kWidth = 30;
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * kWidth / 100;
    std::string bar(std::size_t(filled), '#');
    bar.append(std::size_t(kWidth - filled), '.');
    if (secondsLeft >= 0)
        std::fprintf(stderr, "\r%s [%s] %3d %%  %ld:%02ld left ", label.c_str(), bar.c_str(), percent, secondsLeft / 60,
                     secondsLeft % 60);
    else
        std::fprintf(stderr, "\r%s [%s] %3d %%             ", label.c_str(), bar.c_str(), percent);
    std::fflush(stderr);
    drawn = true;
}

void ProgressBar::Update(uint64_t done, uint64_t total)
{
    if (!visible)
        return;
    done = std::min(done, total);
    const int percent = total ? static_cast<int>(done * 100 / total) : 100;
    if (percent == lastPercent)
        return;
    lastPercent = percent;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const long left = done ? std::lround(elapsed * double(total - done) / double(done)) : -1;
    Draw(percent, left);
}

void ProgressBar::Clear()
{
    if (!visible || !drawn)
        return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    drawn = false;
    lastPercent = -1;
}

void ProgressBar::Done()
{
    if (visible && drawn)
        std::fputc('\n', stderr);
    drawn = false;
}

}  // namespace cli
