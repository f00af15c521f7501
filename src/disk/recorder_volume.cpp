#include "disk/recorder_volume.h"

#include <utility>

namespace disk {

bool RecorderVolume::Load(int driveNumber) { return Load(platform::DriveTable::Current(), driveNumber); }

bool RecorderVolume::Load(const platform::DriveTable& table, int driveNumber)
{
    // A failed reload must not leave the volume looking loaded, nor a
    // record open on the old disk's index.
    Attach(nullptr);
    VolumeLoad load = Volume::Load(table, driveNumber);
    loadFailure = load.failure;
    openError = std::move(load.openError);
    if (!load.volume)
        return false;
    AttachVolume(std::move(load.volume));
    return true;
}

void RecorderVolume::Attach(std::shared_ptr<const Volume> loaded)
{
    AttachVolume(std::move(loaded));
    loadFailure = LoadFailure::None;
    openError.clear();
    iteration = 0;
}

const VolumeHeader& RecorderVolume::Header() const
{
    static const VolumeHeader none{};
    return IsLoaded() ? Shared()->Header() : none;
}

const RecordEntry& RecorderVolume::Record(uint32_t index) const
{
    static const RecordEntry empty{};
    return IsLoaded() ? Shared()->Record(index) : empty;
}

const platform::DriveIdentity& RecorderVolume::DiskIdentity() const
{
    static const platform::DriveIdentity none{};
    return IsLoaded() ? Shared()->DiskIdentity() : none;
}

bool RecorderVolume::FirstRecord(RecordTime& beginTime, uint32_t& count)
{
    if (RecordCount() == 0)
        return false;
    iteration = 0;
    const RecordEntry& e = Record(0);
    beginTime = e.beginTime;
    count = e.segmentCount;
    return true;
}

bool RecorderVolume::NextRecord(RecordTime& beginTime, uint32_t& count)
{
    const uint32_t records = RecordCount();
    if (records == 0 || iteration + 1 >= records || iteration + 1 >= kRecordSlots)
        return false;
    ++iteration;
    const RecordEntry& e = Record(iteration);
    beginTime = e.beginTime;
    count = e.segmentCount;
    return true;
}

}  // namespace disk
