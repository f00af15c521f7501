#include "platform/periodic_timer.h"

#include <chrono>

namespace platform {

PeriodicTimer::~PeriodicTimer() { Kill(); }

bool PeriodicTimer::InsideTick() const { return tickThread.load() == std::this_thread::get_id(); }

bool PeriodicTimer::Start(unsigned periodMs, Callback callback)
{
    if (periodMs == 0 || !callback || InsideTick())
        return false;
    Kill();
    if (thread.joinable())  // stopped from inside a tick earlier
        thread.join();
    {
        std::lock_guard lock(mutex);
        stopRequested = false;
    }
    period = periodMs;
    running = true;
    thread = std::thread(&PeriodicTimer::Run, this, periodMs, std::move(callback));
    return true;
}

void PeriodicTimer::Kill()
{
    {
        std::lock_guard lock(mutex);
        stopRequested = true;
    }
    wake.notify_all();
    running = false;
    if (!InsideTick() && thread.joinable())
        thread.join();
}

void PeriodicTimer::Run(unsigned periodMs, Callback callback)
{
    using Clock = std::chrono::steady_clock;
    const auto step = std::chrono::milliseconds(periodMs);
    auto due = Clock::now() + step;
    tickThread = std::this_thread::get_id();
    std::unique_lock lock(mutex);
    for (;;) {
        if (wake.wait_until(lock, due, [this] { return stopRequested; })) {
            tickThread = std::thread::id();
            return;
        }
        lock.unlock();
        callback();
        lock.lock();
        due += step;
        const auto now = Clock::now();
        if (due < now)
            due = now;
    }
}

}  // namespace platform
