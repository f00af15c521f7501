// The background job runner: progress in order on the owner's thread, the
// end with its result, cancel, failure reasons, and a runner destroyed with
// jobs running; delivered through its mailbox (quillon-cli's waiting call)
// and through Qt's event loop (the window's).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/drive_table.h"
#include "platform/thread_priority.h"
#include "playback/decode_record_job.h"
#include "playback/job_runner.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using playback::JobCallbacks;
using playback::JobControl;
using playback::JobOutcome;
using playback::JobProgress;
using playback::JobRunner;
using Status = playback::JobOutcome::Status;

const std::string kLibrary = std::string(QUILLON_BIN_DIR) + "/libquillon_decode.so";

// What reached the owner's thread, and whether it all came there.
struct Delivered {
    std::vector<JobProgress> progress;
    std::vector<JobOutcome> ends;
    bool offThread = false;
    std::thread::id owner = std::this_thread::get_id();

    JobCallbacks Callbacks()
    {
        return {[this](const JobProgress& p) {
                    offThread = offThread || std::this_thread::get_id() != owner;
                    progress.push_back(p);
                },
                [this](const JobOutcome& o) {
                    offThread = offThread || std::this_thread::get_id() != owner;
                    ends.push_back(o);
                }};
    }
};

// Runs until told to stop; says when it has begun.
playback::JobFunction UntilStopped(std::atomic<bool>& begun, std::atomic<int>& spins)
{
    return [&](JobControl& control) {
        control.Report(0, "begun");
        begun = true;
        while (!control.StopRequested()) {
            ++spins;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return JobOutcome::Cancelled("stopped after " + std::to_string(spins.load()) + " rounds");
    };
}

void WaitUntil(const std::atomic<bool>& flag)
{
    while (!flag)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The window's side of delivery: each call posted as an event to an object
// of the window's thread, which runs it there. (An event is made by the job
// thread and deleted by the window's, handed over under the event queue's
// lock; invokeMethod's shared call object would be freed by whichever
// thread lets go last.)
class CallEvent : public QEvent {
public:
    explicit CallEvent(JobRunner::Call c) : QEvent(QEvent::User), call(std::move(c)) {}
    JobRunner::Call call;
};

class CallReceiver : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        static_cast<CallEvent*>(e)->call();
        return true;
    }
};

class JobRunnerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan record;
        record.seconds = 3;
        plan.records = {record};
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("jobs.img"))));
        platform::SetDriveImages({dir->File("jobs.img")});
        disk::VolumeLoad load = disk::Volume::Load(0);
        ASSERT_TRUE(load.volume) << load.openError;
        volume = load.volume;
    }
    static void TearDownTestSuite()
    {
        volume.reset();
        dir.reset();
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    // The loaded disk, as the window holds it; every job reads it through a reader of its own.
    static inline std::shared_ptr<const disk::Volume> volume;
};

// Ten reports, then the end with the job's value: in that order, all on
// the waiting thread, the end once.
TEST_F(JobRunnerTest, ProgressArrivesInOrderThenTheEnd)
{
    JobRunner runner;
    Delivered seen;
    const auto id = runner.Start(
        "count",
        [](JobControl& control) {
            for (int i = 1; i <= 10; ++i)
                control.Report(i / 10.0, "step " + std::to_string(i));
            return JobOutcome::Done("counted", 10);
        },
        seen.Callbacks());
    ASSERT_NE(id, 0u);
    const JobOutcome outcome = runner.Wait(id);
    EXPECT_EQ(outcome.status, Status::Done);
    EXPECT_EQ(std::any_cast<int>(outcome.value), 10);
    ASSERT_EQ(seen.progress.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_DOUBLE_EQ(seen.progress[std::size_t(i)].fraction, (i + 1) / 10.0);
        EXPECT_EQ(seen.progress[std::size_t(i)].text, "step " + std::to_string(i + 1));
    }
    ASSERT_EQ(seen.ends.size(), 1u);
    EXPECT_EQ(seen.ends[0].text, "counted");
    EXPECT_FALSE(seen.offThread);
    EXPECT_EQ(runner.Running(), 0);
    EXPECT_EQ(runner.Wait(id).status, Status::Failed);  // reaped: not waited for twice
}

// A running job stops when cancelled and its end says so; a job that has
// ended cannot be cancelled. The record decoder stops between frames.
TEST_F(JobRunnerTest, CancelStopsAJobAndSaysSo)
{
    JobRunner runner;
    Delivered seen;
    std::atomic<bool> begun{false};
    std::atomic<int> spins{0};
    const auto id = runner.Start("spin", UntilStopped(begun, spins), seen.Callbacks());
    WaitUntil(begun);
    EXPECT_EQ(runner.Running(), 1);
    EXPECT_TRUE(runner.Cancel(id));
    const JobOutcome outcome = runner.Wait(id);
    EXPECT_EQ(outcome.status, Status::Cancelled);
    EXPECT_EQ(outcome.text.rfind("stopped after ", 0), 0u) << outcome.text;
    ASSERT_EQ(seen.ends.size(), 1u);
    EXPECT_EQ(seen.ends[0].status, Status::Cancelled);
    EXPECT_FALSE(runner.Cancel(id));

    // Cancelled at its first report: nothing past the first second decoded.
    JobRunner decodeRunner;
    Delivered decoded;
    playback::JobId decodeId = 0;
    decodeId = decodeRunner.Start("decode", playback::DecodeRecordJob(volume, 0, kLibrary),
                                  {[&](const JobProgress& p) {
                                       decoded.progress.push_back(p);
                                       decodeRunner.Cancel(decodeId);
                                   },
                                   {}});
    const JobOutcome stopped = decodeRunner.Wait(decodeId);
    EXPECT_EQ(stopped.status, Status::Cancelled) << stopped.text;
    EXPECT_EQ(stopped.text.rfind("stopped at second ", 0), 0u) << stopped.text;
    EXPECT_LE(decoded.progress.size(), 2u);
}

// The reason a job gives, one it throws, and the decoder job's own refusals
// reach the owner as they were said.
TEST_F(JobRunnerTest, AFailingJobsReasonArrives)
{
    JobRunner runner;
    Delivered seen;
    const auto said = runner.Start(
        "said", [](JobControl&) { return JobOutcome::Failed("the disk stopped answering"); }, seen.Callbacks());
    const auto threw = runner.Start(
        "hash", [](JobControl&) -> JobOutcome { throw std::runtime_error("read error at sector 12"); },
        seen.Callbacks());
    const auto noRecord = runner.Start("decode", playback::DecodeRecordJob(volume, 5, kLibrary), seen.Callbacks());
    const auto noDrive = runner.Start("decode", playback::DecodeRecordJob(nullptr, 0, kLibrary), seen.Callbacks());
    EXPECT_EQ(runner.Wait(said).text, "the disk stopped answering");
    EXPECT_EQ(runner.Wait(threw).text, "hash: read error at sector 12");
    EXPECT_EQ(runner.Wait(noRecord).text, "record 6 is not on the disk (1 records)");
    const JobOutcome drive = runner.Wait(noDrive);
    EXPECT_EQ(drive.status, Status::Failed);
    EXPECT_EQ(drive.text, "no disk is loaded");
    ASSERT_EQ(seen.ends.size(), 4u);
    for (const JobOutcome& end : seen.ends)
        EXPECT_EQ(end.status, Status::Failed) << end.text;

    // Handed a volume with no record open, the decoding refuses at once.
    disk::RecordReader unopened;
    playback::VideoDecoder decoder(kLibrary);
    JobControl control;
    EXPECT_EQ(playback::DecodeRecordFlatOut(unopened, decoder, control).text, "no record is open");
}

// Background jobs run below the owner's priority, for the CPU and the disk;
// Normal ones as the owner.
TEST_F(JobRunnerTest, BackgroundJobsRunAtALowerPriority)
{
    const auto self = [] { return static_cast<id_t>(::syscall(SYS_gettid)); };
    const auto diskPriority = [&] { return static_cast<int>(::syscall(SYS_ioprio_get, 1, self())); };
    const int owner = getpriority(PRIO_PROCESS, self());
    const int ownerDisk = diskPriority();
    for (const auto priority : {JobRunner::Priority::Background, JobRunner::Priority::Normal}) {
        JobRunner runner({}, priority);
        const auto id =
            runner.Start("nice",
                         [&](JobControl&) {
                             return JobOutcome::Done("", std::pair{getpriority(PRIO_PROCESS, self()), diskPriority()});
                         },
                         {});
        const auto [nice, disk] = std::any_cast<std::pair<int, int>>(runner.Wait(id).value);
        if (priority == JobRunner::Priority::Background) {
            EXPECT_EQ(nice, std::max(owner, 10));
            EXPECT_EQ(disk, 2 << 13 | platform::kBackgroundDiskLevel) << "best effort, lowest level";
        } else {
            EXPECT_EQ(nice, owner);
            EXPECT_EQ(disk, ownerDisk);
        }
    }
}

// The runner's destructor cancels what runs and returns only when each
// job's thread has ended; ends not yet delivered are dropped with it.
TEST_F(JobRunnerTest, DestroyingTheRunnerCancelsAndJoinsItsJobs)
{
    Delivered seen;
    std::atomic<bool> begunA{false}, begunB{false};
    std::atomic<int> spinsA{0}, spinsB{0};
    std::atomic<int> left{0};
    {
        JobRunner runner;
        for (auto* job : {&begunA, &begunB}) {
            auto& spins = job == &begunA ? spinsA : spinsB;
            runner.Start(
                "spin",
                [&left, inner = UntilStopped(*job, spins)](JobControl& control) {
                    JobOutcome outcome = inner(control);
                    std::this_thread::sleep_for(std::chrono::milliseconds(30));
                    ++left;
                    return outcome;
                },
                seen.Callbacks());
        }
        WaitUntil(begunA);
        WaitUntil(begunB);
    }
    EXPECT_EQ(left, 2);
    EXPECT_TRUE(seen.ends.empty());
}

// In the window: progress and the end come through Qt's event loop on the
// main thread while a record is decoded flat out, fractions never going
// back, and the end carries the count.
TEST_F(JobRunnerTest, QtDeliversOnTheWindowThread)
{
    int argc = 1;
    char name[] = "job_runner_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    Delivered seen;
    CallReceiver window;
    JobRunner runner([&window](JobRunner::Call call) {
        QCoreApplication::postEvent(&window, std::make_unique<CallEvent>(std::move(call)).release());
    });
    JobCallbacks callbacks = seen.Callbacks();
    callbacks.finished = [&, inner = callbacks.finished](const JobOutcome& o) {
        inner(o);
        app.quit();
    };
    runner.Start("decode", playback::DecodeRecordJob(volume, 0, kLibrary), callbacks);
    QTimer::singleShot(60000, &app, [&] { app.exit(1); });
    ASSERT_EQ(app.exec(), 0) << "no end delivered";
    ASSERT_EQ(seen.ends.size(), 1u);
    ASSERT_EQ(seen.ends[0].status, Status::Done) << seen.ends[0].text;
    const auto count = std::any_cast<playback::RecordDecodeCount>(seen.ends[0].value);
    EXPECT_EQ(count.pictures, 359u);
    EXPECT_EQ(seen.ends[0].text, "359 pictures from 359 frames in 3 seconds");
    EXPECT_FALSE(seen.offThread);
    ASSERT_GE(seen.progress.size(), 3u);
    for (std::size_t i = 1; i < seen.progress.size(); ++i)
        EXPECT_LE(seen.progress[i - 1].fraction, seen.progress[i].fraction);
    EXPECT_DOUBLE_EQ(seen.progress.back().fraction, 1.0);
    EXPECT_EQ(seen.progress.front().text, "second 1 of 3");
}

}  // namespace
