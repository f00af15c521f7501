#pragma once
// What a background job is and what it sees: the job function runs on a
// thread of its own, reads JobControl's stop flag as often as it can, reports
// its progress through it, and returns its outcome. See JobRunner.
#include <any>
#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace playback {

struct JobProgress {
    double fraction = 0;  // 0..1
    std::string text;     // a short line: "second 12 of 300"
};

struct JobOutcome {
    enum class Status { Done, Cancelled, Failed };
    Status status = Status::Failed;
    // Done: a short summary; Cancelled: how far it came; Failed: the reason.
    std::string text;
    // Done: the job's own result (see the job's header for its type);
    // Cancelled: what it had come to, for a job that says so.
    std::any value;

    static JobOutcome Done(std::string summary, std::any result = {})
    {
        return {Status::Done, std::move(summary), std::move(result)};
    }
    static JobOutcome Cancelled(std::string where, std::any partial = {})
    {
        return {Status::Cancelled, std::move(where), std::move(partial)};
    }
    static JobOutcome Failed(std::string reason) { return {Status::Failed, std::move(reason), {}}; }
};

// "done", "cancelled" or "failed".
std::string_view JobStatusText(JobOutcome::Status status);

// The job's side of a running job.
//
// Threads: the stop flag is set from the runner's owner and read by the job
// (atomic); Report is called by the job's thread only.
class JobControl {
public:
    using ProgressSink = std::function<void(JobProgress)>;

    // sink receives every report, on the job's thread; may be empty.
    explicit JobControl(ProgressSink sink = {}) : sink(std::move(sink)) {}
    JobControl(const JobControl&) = delete;
    JobControl& operator=(const JobControl&) = delete;

    bool StopRequested() const { return stop.load(std::memory_order_relaxed); }
    void RequestStop() { stop.store(true, std::memory_order_relaxed); }
    // fraction is clamped to 0..1.
    void Report(double fraction, std::string text);

private:
    ProgressSink sink;
    std::atomic<bool> stop{false};
};

using JobFunction = std::function<JobOutcome(JobControl&)>;

}  // namespace playback
