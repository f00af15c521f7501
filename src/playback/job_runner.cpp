#include "playback/job_runner.h"

#include <algorithm>
#include <exception>
#include <system_error>

#include "platform/thread_priority.h"

namespace playback {

std::string_view JobStatusText(JobOutcome::Status status)
{
    switch (status) {
    case JobOutcome::Status::Done: return "done";
    case JobOutcome::Status::Cancelled: return "cancelled";
    case JobOutcome::Status::Failed: break;
    }
    return "failed";
}

void JobControl::Report(double fraction, std::string text)
{
    if (sink)
        sink(JobProgress{std::clamp(fraction, 0.0, 1.0), std::move(text)});
}

// One job. The job's thread writes `outcome` and then sets `ended`; the
// owner's thread reads the outcome only after `ended` or the thread's join.
// `endDelivered` is the owner's thread's alone (the end call runs there).
struct JobRunner::JobState {
    JobState(JobId jobId, std::string jobName, std::shared_ptr<const JobCallbacks> jobCallbacks,
             JobControl::ProgressSink sink)
        : id(jobId), name(std::move(jobName)), callbacks(std::move(jobCallbacks)), control(std::move(sink))
    {
    }

    const JobId id;
    const std::string name;
    const std::shared_ptr<const JobCallbacks> callbacks;
    JobControl control;
    JobOutcome outcome;
    std::atomic<bool> ended{false};
    bool endDelivered = false;
};

JobRunner::JobRunner(Deliver deliverCall, Priority jobPriority) : deliver(std::move(deliverCall)), priority(jobPriority)
{
}

JobRunner::~JobRunner()
{
    CancelAll();
    for (Entry& entry : jobs)
        if (entry.thread.joinable())
            entry.thread.join();
}

void JobRunner::Post(Call call, JobId endOf)
{
    if (deliver) {
        deliver(std::move(call));
        return;
    }
    {
        std::lock_guard guard(mailLock);
        mailbox.push_back(Mail{std::move(call), endOf});
    }
    mailArrived.notify_all();
}

void JobRunner::RunJob(const std::shared_ptr<JobState>& state, const JobFunction& job)
{
    if (priority == Priority::Background) {
        // A job at normal priority is still a job done.
        [[maybe_unused]] const auto lowered = platform::LowerThisThreadPriority();
    }
    JobOutcome outcome;
    try {
        outcome = job(state->control);
    } catch (const std::exception& e) {
        outcome = JobOutcome::Failed(state->name + ": " + e.what());
    } catch (...) {
        outcome = JobOutcome::Failed(state->name + ": stopped by an unknown error");
    }
    state->outcome = outcome;
    // The end call holds the state, never the runner.
    Post(
        [state, outcome = std::move(outcome)] {
            state->endDelivered = true;
            if (state->callbacks->finished)
                state->callbacks->finished(outcome);
        },
        state->id);
    state->ended.store(true, std::memory_order_release);
}

JobId JobRunner::Start(std::string name, JobFunction job, JobCallbacks callbacks)
{
    Reap();
    const JobId id = ++lastId;
    const auto shared = std::make_shared<const JobCallbacks>(std::move(callbacks));
    auto sink = [this, shared](JobProgress progress) {
        Post(
            [shared, progress = std::move(progress)] {
                if (shared->progress)
                    shared->progress(progress);
            },
            0);
    };
    auto state = std::make_shared<JobState>(id, std::move(name), shared, std::move(sink));
    Entry entry{state, {}};
    try {
        entry.thread = std::thread([this, state, job = std::move(job)] { RunJob(state, job); });
    } catch (const std::system_error& e) {
        if (state->callbacks->finished)
            state->callbacks->finished(JobOutcome::Failed(state->name + ": no thread for it: " + e.what()));
        return 0;
    }
    jobs.push_back(std::move(entry));
    return id;
}

std::list<JobRunner::Entry>::iterator JobRunner::Find(JobId id)
{
    return std::find_if(jobs.begin(), jobs.end(), [id](const Entry& e) { return e.state->id == id; });
}

bool JobRunner::Cancel(JobId id)
{
    const auto it = Find(id);
    if (it == jobs.end() || it->state->ended.load(std::memory_order_acquire))
        return false;
    it->state->control.RequestStop();
    return true;
}

void JobRunner::CancelAll()
{
    for (Entry& entry : jobs)
        entry.state->control.RequestStop();
}

JobOutcome JobRunner::Wait(JobId id)
{
    const auto it = Find(id);
    if (it == jobs.end())
        return JobOutcome::Failed("no job " + std::to_string(id) + " is running or waiting to be delivered");
    if (!deliver) {
        while (!it->state->endDelivered) {
            Mail mail;
            {
                std::unique_lock guard(mailLock);
                mailArrived.wait(guard, [&] { return !mailbox.empty(); });
                mail = std::move(mailbox.front());
                mailbox.pop_front();
            }
            mail.call();
        }
    }
    if (it->thread.joinable())
        it->thread.join();
    JobOutcome outcome = it->state->outcome;
    jobs.erase(it);
    return outcome;
}

int JobRunner::DeliverPending()
{
    if (deliver)
        return 0;
    std::deque<Mail> pending;
    {
        std::lock_guard guard(mailLock);
        pending.swap(mailbox);
    }
    for (Mail& mail : pending)
        mail.call();
    return static_cast<int>(pending.size());
}

int JobRunner::Running() const
{
    return static_cast<int>(std::count_if(
        jobs.begin(), jobs.end(), [](const Entry& e) { return !e.state->ended.load(std::memory_order_acquire); }));
}

void JobRunner::Reap()
{
    for (auto it = jobs.begin(); it != jobs.end();) {
        // In mailbox mode the end counts once delivered; with a Deliver
        // function once the job has ended (its call may still be queued,
        // and holds the state itself).
        const bool done = deliver ? it->state->ended.load(std::memory_order_acquire) : it->state->endDelivered;
        if (done) {
            if (it->thread.joinable())
                it->thread.join();
            it = jobs.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace playback
