#include "playback/job_volume.h"

namespace playback {

platform::Result<std::unique_ptr<disk::RecordReader>> OpenJobReader(std::shared_ptr<const disk::Volume> volume,
                                                                    uint32_t record)
{
    using platform::Error;
    using platform::ErrorKind;
    if (!volume)
        return Error{ErrorKind::NotFound, "no disk is loaded"};
    const uint32_t records = volume->RecordingCount();
    if (record >= records)
        return Error{ErrorKind::NotFound, "record " + std::to_string(uint64_t(record) + 1) + " is not on the disk (" +
                                              std::to_string(volume->RecordCount()) + " records)"};
    const std::string name = volume->RecordingName(record);
    auto reader = std::make_unique<disk::RecordReader>(std::move(volume));
    if (!reader->OpenRecord(record))
        return Error{ErrorKind::ReadFailed, "cannot read the index of record " + name};
    return reader;
}

}  // namespace playback
