#pragma once
// What an export shows while it runs, and its stop flag: the progress dialog
// in the program, a progress bar on a terminal for the command line.
//
// Threads: the export worker calls Show, Hide and SetProgress (an
// implementation forwards them to its own thread as needed); the stop flag
// is set on the window's thread (or by the worker on a read failure) and read
// by the worker once per iteration.
#include <atomic>
#include <string>

namespace exporter {

class ExportProgress {
public:
    virtual ~ExportProgress() = default;

    // Placed beside the main window and shown with the bar at 0.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // The bar at percent, the percent text and the seconds left.
    virtual void SetProgress(int percent, const std::string& percentText, const std::string& timeLeftText) = 0;

    void ClearStop() { stop = false; }
    void RequestStop() { stop = true; }
    bool StopRequested() const { return stop.load(); }

private:
    std::atomic<bool> stop{false};
};

// Nothing shown; only the stop flag.
class SilentProgress : public ExportProgress {
public:
    void Show() override {}
    void Hide() override {}
    void SetProgress(int, const std::string&, const std::string&) override {}
};

}  // namespace exporter
