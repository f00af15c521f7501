#pragma once
// Why RecorderVolume::Load refused a disk, kept beside its bool so that
// callers can say so without opening the disk again.
#include <string_view>

namespace disk {

enum class LoadFailure {
    None,
    CannotOpen,        // the drive or image did not open (RawDisk's reason kept beside)
    NotRecorderDisk,   // no signature in sector 0
    CannotRead,        // sector 0 or the record table could not be read
    NoRecords,         // record count 0
    TooManyRecords,    // more than the 8,192 slots
    BadFirstEntry,     // first entry position 0: record 0 before the table
    TableOutsideDisk,  // the record table's sectors leave the disk
    OutOfMemory,
};

// One line, lower case, no full stop: "not a recorder volume (...)" and so on.
std::string_view LoadFailureText(LoadFailure failure);

}  // namespace disk
