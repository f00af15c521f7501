#pragma once
// A loaded recorder disk: what never changes once it is loaded. The opened
// drive, the header, the record table (every slot parsed at load), whether
// segments carry an audio area, where the data area begins, every record's
// index offset in order, and the reads of the disk's own structures.
//
// Immutable after its factory returns and without a lock: any number of
// threads may use one Volume at once (shared as std::shared_ptr<const
// Volume>), each through a RecordReader of its own. Its disk reads are safe
// concurrently (platform::DiskSource::ReadAt).
//
// Recordings are numbered from 0: the listed records first (0 ..
// RecordCount() - 1), then, for a volume made WithRecovery, the recordings
// a recovery scan found (RecordingCount() counts both). A volume with
// recovery shares the open drive and everything loaded with the volume it
// was made from; either may outlive the other.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk/index_check.h"
#include "disk/load_failure.h"
#include "disk/raw_disk.h"
#include "disk/record_entry.h"
#include "disk/recovered_recording.h"

namespace disk {

// A run of whole sectors on the disk.
struct SectorRange {
    uint32_t first = 0;
    uint32_t count = 0;
};

struct VolumeHeader {
    uint32_t recordTableSector = 0;
    uint32_t indexAreaSector = 0;
    uint32_t valueA = 0;
    uint32_t recordCount = 0;
    uint32_t valueB = 0;
    uint32_t valueC = 0;
    uint32_t valueD = 0;
    uint32_t firstEntryPosition = 0;
};

class Volume;

// What a load gives: the volume, or why there is none (and for CannotOpen
// the system's reason) in the same value.
struct VolumeLoad {
    std::shared_ptr<const Volume> volume;
    LoadFailure failure = LoadFailure::None;
    std::string openError;
};

class Volume {
    struct Key {};  // only the factories construct

public:
    static constexpr uint32_t kRecordSlots = 8192;
    // Longest record whose index we agree to hold (about 194 days).
    static constexpr uint32_t kMaxSegments = 1u << 24;

    // Drive number 0..9 of the process drive table (the window's).
    static VolumeLoad Load(int driveNumber);
    // Drive number 0..9 of the table given (the command line's).
    static VolumeLoad Load(const platform::DriveTable& table, int driveNumber);
    // A drive the caller opened; driveNumber is what LoadedDrive says (-1:
    // none of the table's).
    static VolumeLoad FromDrive(platform::DriveHandle drive, int driveNumber = -1);
    // Bytes in memory, read through a memory source: the caller keeps them
    // alive and unchanged while the volume lives.
    static VolumeLoad FromBytes(std::span<const uint8_t> bytes);

    // The listed volume with the recordings of a recovery numbered after
    // its records (a null recovery: a copy without any).
    static std::shared_ptr<const Volume> WithRecovery(const std::shared_ptr<const Volume>& listed,
                                                      std::shared_ptr<const Recovery> recovery);

    Volume(Key, platform::DriveHandle drive, int driveNumber);
    Volume(Key, const Volume& listed, std::shared_ptr<const Recovery> recovery);
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;

    int DriveNumber() const { return driveNumber; }
    const VolumeHeader& Header() const { return header; }
    uint32_t RecordCount() const { return header.recordCount; }
    // The listed records and the recovered recordings.
    uint32_t RecordingCount() const;
    // The recovered recording numbered recordNumber; null for a listed
    // record or a number past the last.
    const RecoveredRecording* Recovered(uint32_t recordNumber) const;
    // The recovery this volume numbers (null: none).
    const std::shared_ptr<const Recovery>& RecoveryFound() const { return recovery; }
    // A listed record's entry, or a recovered recording's. Out-of-range
    // indexes get an all-zero entry rather than stray memory.
    const RecordEntry& Record(uint32_t index) const;
    // The name people see: a listed record's number from 1 ("3"), a
    // recovered recording's id ("u2"); "?" past the last.
    std::string RecordingName(uint32_t recordNumber) const;
    // The reverse: "3" (a listed record, from 1) or a recovered id such as
    // "u2" to the recording's number; false when none is so named.
    bool FindRecording(std::string_view name, uint32_t& recordNumber) const;
    // Whether the recording's begin time was recorded (every listed
    // record's was; a recovered one says).
    bool TimeRecorded(uint32_t recordNumber) const;
    // Segments begin with the 16,384-byte audio area (taken from the last
    // entry the load parsed: a property of the whole volume).
    bool HasAudioArea() const { return audioArea; }
    // The lowest sector a record's first segment begins at (the disk's end
    // when none does): index entries stored from there on are not an index.
    uint32_t DataStartSector() const { return dataStart; }

    // Reads the record's entries o .. o + c, stopping at the first
    // implausible one and where the data area begins. False when nothing
    // can be read. pastDiskEnd, when given, gets the entry past the disk's
    // end that cut the index (0: none).
    bool ReadIndex(uint32_t recordNumber, std::vector<uint32_t>& entries, IndexCheck& check,
                   uint32_t* pastDiskEnd = nullptr) const;
    // Reads a record's index as a reader opening it would and says whether
    // it is plausible; false when it cannot be read at all.
    bool CheckRecordIndex(uint32_t recordNumber, IndexCheck& check) const;
    // The sectors the load read the record table from, and those holding a
    // record's index entries; false when they do not lie on the disk.
    bool RecordTableSectors(SectorRange& range) const;
    bool IndexSectors(uint32_t recordNumber, SectorRange& range) const;

private:
    const RecordEntry* IndexedEntry(uint32_t recordNumber) const;
    bool ReadRecoveredIndex(const RecoveredRecording& found, std::vector<uint32_t>& entries, IndexCheck& check) const;

public:
    // Reads sectors of the disk (see RawDisk::ReadSectors).
    uint32_t ReadDiskSectors(uint32_t firstSector, uint32_t count, std::span<uint8_t> destination) const
    {
        return disk->ReadSectors(firstSector, count, destination);
    }
    uint64_t DiskSectorCount() const { return disk->SectorCount(); }
    // The disk as it was opened: its path and what stood behind it then.
    const platform::DriveIdentity& DiskIdentity() const { return disk->Drive().Identity(); }
    const RawDisk& Disk() const { return *disk; }

private:
    static VolumeLoad Finish(std::shared_ptr<Volume> volume);
    LoadFailure Parse();
    LoadFailure ReadTable();
    void FindDataStart();

    // Shared with every volume made from this one WithRecovery; never
    // changed after the factory adopted the drive.
    std::shared_ptr<const RawDisk> disk;
    const int driveNumber;
    VolumeHeader header;
    std::vector<RecordEntry> records;  // header.recordCount of them
    bool audioArea = false;
    uint32_t dataStart = 0;
    std::vector<uint32_t> sortedOffsets;  // every record's index offset, ascending
    std::shared_ptr<const Recovery> recovery;
};

}  // namespace disk
