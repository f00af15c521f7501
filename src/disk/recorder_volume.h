#pragma once
// The playback engine's view of a recorder disk: a shared, immutable Volume
// (header, record table, the disk's own structures) and this object's own
// RecordReader over it (open record, stream cursor, frame assembly, audio),
// plus the record table's iteration. Another consumer (the record list's
// preview, the export) takes Shared() and reads through a reader of its own.
//
// No lock of its own. One thread at a time: the UI thread while playback is
// stopped, otherwise whoever holds the playback engine's stream lock (an
// export reads through readers of its own). The Volume behind it needs no
// lock: it never changes.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "disk/index_check.h"
#include "disk/load_failure.h"
#include "disk/record_entry.h"
#include "disk/record_reader.h"
#include "disk/record_time.h"
#include "disk/volume.h"

namespace disk {

class RecorderVolume : public RecordReader {
public:
    RecorderVolume() = default;

    // --- volume and record table ---
    // Drive number 0..9 of the process-wide drive table (the window's).
    bool Load(int driveNumber);
    // Drive number 0..9 of the table given (the command line's).
    bool Load(const platform::DriveTable& table, int driveNumber);
    // Reads a volume loaded elsewhere (null: none, as after Close).
    void Attach(std::shared_ptr<const Volume> loaded);
    // Why the last Load failed (None after a success); for CannotOpen the
    // system's reason is in LastOpenError.
    LoadFailure LastLoadFailure() const { return loadFailure; }
    const std::string& LastOpenError() const { return openError; }
    void Close() { Attach(nullptr); }
    bool IsLoaded() const { return Shared() != nullptr; }
    // The drive table's number the volume was loaded from; -1 when none.
    int LoadedDrive() const { return IsLoaded() ? Shared()->DriveNumber() : -1; }
    const VolumeHeader& Header() const;
    uint32_t RecordCount() const { return Header().recordCount; }
    bool FirstRecord(RecordTime& beginTime, uint32_t& segmentCount);
    bool NextRecord(RecordTime& beginTime, uint32_t& segmentCount);
    // Out-of-range indexes get an all-zero entry rather than stray memory.
    const RecordEntry& Record(uint32_t index) const;
    int32_t RecordWidth(uint32_t index) const { return Record(index).width; }
    int32_t RecordHeight(uint32_t index) const { return Record(index).height; }
    bool HasAudioArea() const { return IsLoaded() && Shared()->HasAudioArea(); }
    uint32_t DataStartSector() const { return IsLoaded() ? Shared()->DataStartSector() : 0; }
    bool CheckRecordIndex(uint32_t recordNumber, IndexCheck& check) const
    {
        return IsLoaded() && Shared()->CheckRecordIndex(recordNumber, check);
    }
    bool RecordTableSectors(SectorRange& range) const { return IsLoaded() && Shared()->RecordTableSectors(range); }
    bool IndexSectors(uint32_t recordNumber, SectorRange& range) const
    {
        return IsLoaded() && Shared()->IndexSectors(recordNumber, range);
    }
    // Reads sectors of the loaded disk as the volume reads them (reports
    // hash the volume's own structures through this).
    uint32_t ReadDiskSectors(uint32_t firstSector, uint32_t count, std::span<uint8_t> destination) const
    {
        return IsLoaded() ? Shared()->ReadDiskSectors(firstSector, count, destination) : 0;
    }
    uint64_t DiskSectorCount() const { return IsLoaded() ? Shared()->DiskSectorCount() : 0; }
    // The loaded disk as it was opened: its path and what stood behind it
    // then (kept with the open drive, never looked up again by number).
    const platform::DriveIdentity& DiskIdentity() const;

private:
    LoadFailure loadFailure = LoadFailure::None;
    std::string openError;
    uint32_t iteration = 0;
};

}  // namespace disk
