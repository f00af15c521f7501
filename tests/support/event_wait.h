#pragma once
// Runs the Qt event loop of the test's thread until a condition holds (a
// background job's calls are delivered through it), or a time limit passes.
#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>
#include <functional>

namespace testing_support {

// done()'s last answer: false when the limit passed first.
inline bool ProcessEventsUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds limit = std::chrono::seconds(60))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents();
    }
    return true;
}

}  // namespace testing_support
