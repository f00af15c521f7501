#include "playback/recovery_scan_job.h"

#include <string>
#include <utility>

#include "disk/recovery_scan.h"

namespace playback {

JobFunction RecoveryScanJob(std::shared_ptr<const disk::Volume> volume)
{
    return [volume = std::move(volume)](JobControl& control) -> JobOutcome {
        if (!volume)
            return JobOutcome::Failed("no disk is loaded");
        disk::ScanControl scan;
        scan.cancelled = [&control] { return control.StopRequested(); };
        scan.progress = [&control](double fraction, const std::string& what) { control.Report(fraction, what); };
        auto found = disk::ScanForRecordings(*volume, scan);
        if (!found) {
            if (found.Failure().kind == platform::ErrorKind::Cancelled || control.StopRequested())
                return JobOutcome::Cancelled(found.Detail());
            return JobOutcome::Failed(found.Detail());
        }
        auto recovery = std::make_shared<const disk::Recovery>(std::move(*found));
        const size_t n = recovery->recordings.size();
        std::string summary = std::to_string(n) + (n == 1 ? " recording found" : " recordings found");
        return JobOutcome::Done(std::move(summary), std::shared_ptr<const disk::Recovery>(recovery));
    };
}

}  // namespace playback
