#pragma once
// Background jobs' progress and ends handed to a window-thread object
// through Qt's event loop: each call becomes a queued call on receiver's
// thread, run in the order the job made them. The receiver must outlive
// the runner (declare it before the runner): the runner's destructor joins
// every job, so none posts to a receiver that is gone, and the calls still
// queued when the receiver goes are dropped with it.
#include <QObject>

#include "playback/job_runner.h"

namespace ui {

playback::JobRunner::Deliver QtJobDelivery(QObject& receiver);

}  // namespace ui
