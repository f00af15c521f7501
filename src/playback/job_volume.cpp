#include "playback/job_volume.h"

namespace playback {

std::unique_ptr<disk::RecorderVolume> OpenJobVolume(int driveNumber, uint32_t record, std::string& error)
{
    auto volume = std::make_unique<disk::RecorderVolume>();
    if (!volume->Load(driveNumber)) {
        error = "drive " + std::to_string(driveNumber) + ": " +
                std::string(disk::LoadFailureText(volume->LastLoadFailure()));
        if (!volume->LastOpenError().empty())
            error += " (" + volume->LastOpenError() + ")";
        return nullptr;
    }
    if (record >= volume->RecordCount()) {
        error = "record " + std::to_string(record + 1) + " is not on the disk (" +
                std::to_string(volume->RecordCount()) + " records)";
        return nullptr;
    }
    if (!volume->OpenRecord(record)) {
        error = "cannot read the index of record " + std::to_string(record + 1);
        return nullptr;
    }
    return volume;
}

}  // namespace playback
