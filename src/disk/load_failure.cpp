#include "disk/load_failure.h"

namespace disk {

std::string_view LoadFailureText(LoadFailure failure)
{
    switch (failure) {
    case LoadFailure::None: return "loaded";
    case LoadFailure::CannotOpen: return "cannot open for reading";
    case LoadFailure::NotRecorderDisk: return "not a recorder volume (no signature in sector 0)";
    case LoadFailure::CannotRead: return "cannot read the volume header or the record table";
    case LoadFailure::NoRecords: return "the record table is empty (record count 0)";
    case LoadFailure::TooManyRecords: return "damaged volume header: more than 8192 records";
    case LoadFailure::BadFirstEntry: return "damaged volume header: first entry position 0";
    case LoadFailure::TableOutsideDisk: return "damaged volume header: the record table lies outside the disk";
    case LoadFailure::OutOfMemory: return "not enough memory for the record table";
    }
    return "unknown failure";
}

}  // namespace disk
