#pragma once
// A progress bar with the time left on stderr, drawn only when stderr is a
// terminal: a command whose output goes to a file or pipe stays quiet.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace cli {

class ProgressBar {
public:
    explicit ProgressBar(std::string label);
    ~ProgressBar();
    bool Visible() const { return visible; }
    // percent 0..100; secondsLeft < 0 when not known yet.
    void Draw(int percent, long secondsLeft);
    // done of total units of work: the bar with the time left from the pace
    // since the bar was made, redrawn only when the percentage changes.
    void Update(uint64_t done, uint64_t total);
    // Takes the bar off its line, so that a line of output can be printed
    // there; the next Update draws it again below.
    void Clear();
    // Ends the bar's line.
    void Done();

private:
    std::string label;
    bool visible = false;
    bool drawn = false;
    int lastPercent = -1;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

}  // namespace cli
