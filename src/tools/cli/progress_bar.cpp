#include "tools/cli/progress_bar.h"

#include <unistd.h>

#include <algorithm>

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
        std::fprintf(stderr, "\r%s [%s] %3d %%  %ld:%02ld left ", label.c_str(), bar.c_str(), percent,
                     secondsLeft / 60, secondsLeft % 60);
    else
        std::fprintf(stderr, "\r%s [%s] %3d %%             ", label.c_str(), bar.c_str(), percent);
    std::fflush(stderr);
    drawn = true;
}

void ProgressBar::Done()
{
    if (visible && drawn)
        std::fputc('\n', stderr);
    drawn = false;
}

}  // namespace cli
