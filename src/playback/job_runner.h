#pragma once
// Runs background jobs (recovery scan, search, thumbnails, hashing, decoding
// a record flat out) beside playback, each on a thread of its own: its
// progress and its end are handed to the owner's thread, a job is cancelled
// by its stop flag, and destroying the runner cancels and joins every job
// still running. A job brings its own reader and VideoDecoder (job_volume.h),
// never playback's.
//
// Delivery to the owner's thread: with a Deliver function (the window's:
// QCoreApplication::postEvent of an event carrying the call, to an object
// of the window's thread that runs it) every progress report and end is
// handed to it as a call to run there, in the order the job made them; it
// is called on the job threads, by two jobs at once too. Without one they
// wait in the runner's mailbox until the owner calls DeliverPending or Wait
// (quillon-cli: a plain waiting call). The calls hold no pointer to the
// runner: one that runs after the runner is gone is harmless.
//
// Threads: Start, Cancel, CancelAll, Wait, DeliverPending, Running and the
// destructor belong to the owner's thread, which alone touches `jobs`; the
// callbacks run there too. A job's thread touches its own JobState (stop
// flag and outcome, see there) and posts to the mailbox under `mailLock`,
// taken alone.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "playback/job.h"

namespace playback {

using JobId = uint64_t;

struct JobCallbacks {
    std::function<void(const JobProgress&)> progress;  // may be empty
    std::function<void(const JobOutcome&)> finished;   // may be empty
};

class JobRunner {
public:
    using Call = std::function<void()>;
    using Deliver = std::function<void(Call)>;
    // Background: the job threads run at a lower priority than playback's
    // (platform::LowerThisThreadPriority); a job goes on at Normal when the
    // system refuses. Normal: as the owner's threads.
    enum class Priority { Background, Normal };

    explicit JobRunner(Deliver deliver = {}, Priority priority = Priority::Background);
    // Cancels every job still running and waits for each to end; their ends
    // are not delivered.
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Starts job on a thread of its own; name heads its failure reasons.
    // 0 (and a failed end delivered) when no thread could be started.
    JobId Start(std::string name, JobFunction job, JobCallbacks callbacks);
    // Asks the job to stop; false for a job that is unknown or has ended.
    bool Cancel(JobId id);
    void CancelAll();

    // Waits for the job's end and returns its outcome. Without a Deliver
    // function, delivers the mailbox's calls meanwhile, up to and including
    // the job's end. A job unknown to the runner (or whose end was already
    // delivered and reaped) fails with a reason.
    JobOutcome Wait(JobId id);
    // Without a Deliver function: runs the calls waiting in the mailbox;
    // how many ran.
    int DeliverPending();
    // Jobs started and not yet ended.
    int Running() const;

private:
    struct JobState;
    struct Entry {
        std::shared_ptr<JobState> state;
        std::thread thread;
    };
    struct Mail {
        Call call;
        JobId endOf = 0;  // the job whose end this is, or 0
    };

    // From a job's thread: hands the call to deliver, or to the mailbox.
    void Post(Call call, JobId endOf);
    void RunJob(const std::shared_ptr<JobState>& state, const JobFunction& job);
    // Joins and drops the jobs whose end was delivered.
    void Reap();
    std::list<Entry>::iterator Find(JobId id);

    Deliver deliver;
    Priority priority;
    JobId lastId = 0;
    std::list<Entry> jobs;

    std::mutex mailLock;
    std::condition_variable mailArrived;
    std::deque<Mail> mailbox;
};

}  // namespace playback
