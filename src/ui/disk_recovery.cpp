#include "ui/disk_recovery.h"

#include <any>
#include <cmath>
#include <utility>

#include "disk/recovered_recording.h"
#include "playback/recovery_scan_job.h"
#include "ui/qt_job_delivery.h"

namespace ui {

DiskRecovery::DiskRecovery(playback::JobRunner::Priority priority) : runner(QtJobDelivery(receiver), priority) {}

DiskRecovery::~DiskRecovery() = default;

void DiskRecovery::Start(std::shared_ptr<const disk::Volume> volume)
{
    if (!volume) {
        Stop();
        return;
    }
    if (volume == listed && state != State::None)
        return;
    Stop();
    listed = std::move(volume);
    const uint64_t scan = ++generation;
    state = State::Scanning;
    fraction = 0;
    status = "Searching the disk: 0 %";
    playback::JobCallbacks callbacks;
    callbacks.progress = [this, scan](const playback::JobProgress& p) { Progress(scan, p.fraction, p.text); };
    callbacks.finished = [this, scan](const playback::JobOutcome& outcome) { Finished(scan, outcome); };
    job = runner.Start("the disk search", playback::RecoveryScanJob(listed), std::move(callbacks));
    Notify();
}

void DiskRecovery::Stop()
{
    if (job != 0)
        runner.Cancel(job);
    job = 0;
    ++generation;  // whatever the stopped scan still delivers is dropped
    listed.reset();
    withRecovery.reset();
    const bool wasShown = state != State::None;
    state = State::None;
    fraction = 0;
    status.clear();
    if (wasShown)
        Notify();
}

void DiskRecovery::Progress(uint64_t scan, double now, const std::string&)
{
    if (scan != generation || state != State::Scanning)
        return;
    const int before = static_cast<int>(std::floor(fraction * 100));
    fraction = now;
    const int percent = static_cast<int>(std::floor(now * 100));
    if (percent == before)
        return;
    status = "Searching the disk: " + std::to_string(percent) + " %";
    Notify();
}

void DiskRecovery::Finished(uint64_t scan, const playback::JobOutcome& outcome)
{
    if (scan != generation)
        return;
    job = 0;
    fraction = 1;
    using Status = playback::JobOutcome::Status;
    const auto* found = std::any_cast<std::shared_ptr<const disk::Recovery>>(&outcome.value);
    if (outcome.status == Status::Done && found && *found) {
        withRecovery = disk::Volume::WithRecovery(listed, *found);
        state = State::Done;
        const size_t n = (*found)->recordings.size();
        status = n == 0   ? std::string("No unlisted recording found")
                 : n == 1 ? std::string("1 unlisted recording found")
                          : std::to_string(n) + " unlisted recordings found";
    } else if (outcome.status == Status::Cancelled) {
        state = State::None;
        status.clear();
    } else {
        state = State::Failed;
        status = "The disk search failed: " + outcome.text;
    }
    Notify();
}

std::shared_ptr<const disk::Volume> DiskRecovery::VolumeFor(const std::shared_ptr<const disk::Volume>& shown) const
{
    if (!shown || !withRecovery)
        return nullptr;
    return shown == listed || shown == withRecovery ? withRecovery : nullptr;
}

void DiskRecovery::Notify()
{
    if (changed)
        changed();
}

}  // namespace ui
