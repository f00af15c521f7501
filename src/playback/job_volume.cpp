#include "playback/job_volume.h"

namespace playback {

std::unique_ptr<disk::RecordReader> OpenJobReader(std::shared_ptr<const disk::Volume> volume, uint32_t record,
                                                  std::string& error)
{
    if (!volume) {
        error = "no disk is loaded";
        return nullptr;
    }
    const uint32_t records = volume->RecordCount();
    if (record >= records) {
        error =
            "record " + std::to_string(record + 1) + " is not on the disk (" + std::to_string(records) + " records)";
        return nullptr;
    }
    auto reader = std::make_unique<disk::RecordReader>(std::move(volume));
    if (!reader->OpenRecord(record)) {
        error = "cannot read the index of record " + std::to_string(record + 1);
        return nullptr;
    }
    return reader;
}

}  // namespace playback
