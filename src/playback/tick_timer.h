#pragma once
// The periodic timer the engine runs its playback loop on. The real one is
// a PeriodicTimer thread; tests drive the loop from their own thread.
#include <functional>
#include <memory>

#include "platform/periodic_timer.h"

namespace playback {

class TickTimer {
public:
    virtual ~TickTimer() = default;
    // Replaces a running timer. False when it could not be started.
    virtual bool Start(unsigned periodMs, std::function<void()> tick) = 0;
    // Stops it; a tick that is running ends first.
    virtual void Kill() = 0;
    virtual bool IsRunning() const = 0;
};

class PeriodicTickTimer final : public TickTimer {
public:
    bool Start(unsigned periodMs, std::function<void()> tick) override
    {
        return timer.Start(periodMs, std::move(tick));
    }
    void Kill() override { timer.Kill(); }
    bool IsRunning() const override { return timer.IsRunning(); }

private:
    platform::PeriodicTimer timer;
};

}  // namespace playback
