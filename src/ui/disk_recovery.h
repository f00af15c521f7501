#pragma once
// The recovery of the loaded disk in the program: the scan for the
// recordings the record table no longer lists runs as a background job
// (playback::RecoveryScanJob) at background priority while the user goes
// on playing; its progress and end reach the window thread through Qt's
// event loop. When it is done, Volume() is the loaded volume with the
// recordings found numbered after its records (their numbers are the
// record list's rows below the listed ones).
//
// Window thread only: the job's thread touches nothing here, the runner
// hands its calls to `receiver`'s thread. A scan of a volume that is no
// longer the one loaded never delivers (its calls carry their generation).
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "disk/volume.h"
#include "playback/job_runner.h"

namespace ui {

class DiskRecovery {
public:
    enum class State { None, Scanning, Done, Failed };

    // priority: Background in the program; tests may run it Normal.
    explicit DiskRecovery(playback::JobRunner::Priority priority = playback::JobRunner::Priority::Background);
    ~DiskRecovery();
    DiskRecovery(const DiskRecovery&) = delete;
    DiskRecovery& operator=(const DiskRecovery&) = delete;

    // Scans `listed` (a volume as loaded, without recovery), stopping a scan
    // of another volume. A scan of this very volume, running or done, goes
    // on. Null: as Stop.
    void Start(std::shared_ptr<const disk::Volume> listed);
    // Stops the scan; nothing is found.
    void Stop();

    State CurrentState() const { return state; }
    // 0..1 while scanning.
    double Fraction() const { return fraction; }
    // One line for people: "Searching the disk: 35 %", "2 unlisted
    // recordings found", "No unlisted recording found", "The disk search
    // failed: <reason>"; empty before any scan.
    const std::string& StatusText() const { return status; }

    // The volume with the recordings found, when `shown` is the volume
    // scanned or that volume with them; null otherwise (another disk, or
    // the scan is not done).
    std::shared_ptr<const disk::Volume> VolumeFor(const std::shared_ptr<const disk::Volume>& shown) const;
    // The volume scanned (null: none).
    const std::shared_ptr<const disk::Volume>& Scanned() const { return listed; }

    // Called on the window thread after every change of state, fraction or
    // text (one listener; empty to stop listening).
    void OnChange(std::function<void()> listener) { changed = std::move(listener); }

private:
    void Progress(uint64_t generation, double fraction, const std::string& text);
    void Finished(uint64_t generation, const playback::JobOutcome& outcome);
    void Notify();

    // Declared before the runner: the runner's calls are queued on it, and
    // the runner (destroyed first) joins its job before it goes.
    QObject receiver;
    playback::JobRunner runner;
    playback::JobId job = 0;
    uint64_t generation = 0;

    std::shared_ptr<const disk::Volume> listed;
    std::shared_ptr<const disk::Volume> withRecovery;
    State state = State::None;
    double fraction = 0;
    std::string status;
    std::function<void()> changed;
};

}  // namespace ui
