#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

// A periodic timer with a millisecond period whose ticks run one at a time on
// a thread of its own. A tick that falls due while the previous one still
// runs is not queued up: it runs as soon as that one ends, and the schedule
// goes on from there.
//
// Threads: Start, Kill and the destructor belong to the owner's thread (Kill
// may also come from inside a tick); the callback runs on the timer thread.
// `thread` is touched by the owner only; `mutex` guards `stopRequested`;
// `tickThread` (the running timer thread's id) is atomic.
class PeriodicTimer {
public:
    using Callback = std::function<void()>;

    PeriodicTimer() = default;
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    // Starts ticking every periodMs milliseconds, the first tick one period
    // from now. A running timer is killed first. False for a zero period, an
    // empty callback, or a call from inside a tick.
    bool Start(unsigned periodMs, Callback callback);

    // Stops the timer; waits for a tick that is running to end. From inside
    // a tick it only stops further ticks (the thread can't wait for itself).
    void Kill();

    bool IsRunning() const { return running.load(); }
    unsigned PeriodMs() const { return period.load(); }

private:
    void Run(unsigned periodMs, Callback callback);
    bool InsideTick() const;

    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopRequested = false;
    std::atomic<bool> running{false};
    std::atomic<unsigned> period{0};
    std::atomic<std::thread::id> tickThread{};
};

}  // namespace platform
