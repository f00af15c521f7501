#pragma once
// A progress bar with the time left on stderr, drawn only when stderr is a
// terminal: a command whose output goes to a file or pipe stays quiet.
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
    // Ends the bar's line.
    void Done();

private:
    std::string label;
    bool visible = false;
    bool drawn = false;
};

}  // namespace cli
