#include "platform/periodic_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using platform::PeriodicTimer;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The period is in milliseconds: a 25 ms timer gives about 40 ticks a second,
// and no two ticks come closer than the period allows. The bounds are loose
// (a loaded machine delays ticks) but catch a wrong unit or a busy loop.
TEST(PeriodicTimer, TicksAtItsPeriod)
{
    std::mutex m;
    std::vector<Clock::time_point> ticks;
    PeriodicTimer timer;
    const auto start = Clock::now();
    ASSERT_TRUE(timer.Start(25, [&] {
        std::lock_guard lock(m);
        ticks.push_back(Clock::now());
    }));
    std::this_thread::sleep_for(milliseconds(500));
    timer.Kill();
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
    std::lock_guard lock(m);
    ASSERT_GE(ticks.size(), 8u);
    EXPECT_LE(static_cast<long>(ticks.size()), elapsed / 25 + 1);
    EXPECT_GE(ticks.front() - start, milliseconds(24));
}

// A tick longer than the period: ticks still come one at a time, never two
// at once, and the ones that fell due meanwhile are not made up in a burst.
TEST(PeriodicTimer, OneTickAtATime)
{
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::atomic<int> count{0};
    PeriodicTimer timer;
    timer.Start(5, [&] {
        const int now = ++inside;
        most = std::max(most.load(), now);
        std::this_thread::sleep_for(milliseconds(30));
        ++count;
        --inside;
    });
    std::this_thread::sleep_for(milliseconds(400));
    timer.Kill();
    EXPECT_EQ(most.load(), 1);
    EXPECT_GE(count.load(), 3);
    EXPECT_LE(count.load(), 400 / 30 + 1);
}

// Killing waits for a running tick to end; nothing ticks afterwards.
TEST(PeriodicTimer, KillWaitsForTheRunningTick)
{
    std::atomic<bool> inTick{false};
    std::atomic<bool> tickEnded{false};
    std::atomic<int> count{0};
    PeriodicTimer timer;
    timer.Start(10, [&] {
        ++count;
        inTick = true;
        std::this_thread::sleep_for(milliseconds(150));
        tickEnded = true;
    });
    while (!inTick)
        std::this_thread::sleep_for(milliseconds(1));
    timer.Kill();
    EXPECT_TRUE(tickEnded.load());
    EXPECT_FALSE(timer.IsRunning());
    const int after = count.load();
    std::this_thread::sleep_for(milliseconds(60));
    EXPECT_EQ(count.load(), after);
}

// A new period replaces the running timer; the old one ticks no more.
TEST(PeriodicTimer, RestartReplacesTheRunningTimer)
{
    std::atomic<int> first{0};
    std::atomic<int> second{0};
    PeriodicTimer timer;
    timer.Start(5, [&] { ++first; });
    std::this_thread::sleep_for(milliseconds(30));
    ASSERT_TRUE(timer.Start(5, [&] { ++second; }));
    EXPECT_EQ(timer.PeriodMs(), 5u);
    const int firstAtRestart = first.load();
    std::this_thread::sleep_for(milliseconds(50));
    timer.Kill();
    EXPECT_EQ(first.load(), firstAtRestart);
    EXPECT_GT(second.load(), 0);
}

TEST(PeriodicTimer, KillFromInsideATickAndEdgeCases)
{
    PeriodicTimer timer;
    EXPECT_FALSE(timer.Start(0, [] {}));
    EXPECT_FALSE(timer.Start(10, nullptr));
    timer.Kill();  // not running: nothing happens

    std::atomic<int> count{0};
    std::atomic<bool> startRefused{false};
    timer.Start(5, [&] {
        if (++count == 2) {
            startRefused = !timer.Start(5, [] {});
            timer.Kill();
        }
    });
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(count.load(), 2);
    EXPECT_TRUE(startRefused.load());
    EXPECT_FALSE(timer.IsRunning());
    // It can be started again afterwards.
    std::atomic<int> again{0};
    EXPECT_TRUE(timer.Start(5, [&] { ++again; }));
    std::this_thread::sleep_for(milliseconds(40));
    timer.Kill();
    EXPECT_GT(again.load(), 0);
}

TEST(PeriodicTimer, DestructorStopsTheTimer)
{
    std::atomic<int> count{0};
    {
        PeriodicTimer timer;
        timer.Start(2, [&] { ++count; });
        std::this_thread::sleep_for(milliseconds(20));
    }
    const int after = count.load();
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(count.load(), after);
}
