#pragma once
// Where a record of a plan stands on the disk: listed by the record table, or
// one of the ways a recorder leaves footage behind that the table no longer
// lists. The segments are written the same way in every case; only the table
// slot and the index entries differ.
#include <cstdint>
#include <optional>
#include <string_view>

namespace mkdisk {

enum class Placement : uint8_t {
    Listed,     // its entry within the header's first entry position and record count
    Dropped,    // its entry in a slot before the first entry position
    Deleted,    // its entry in a slot after the listed records (beyond the record count)
    IndexOnly,  // its index entries and segments written, its slot zeroed
    Unindexed,  // its segments written, its slot and its index entries zeroed
};

// "listed", "dropped", "deleted", "index-only", "unindexed".
const char* PlacementName(Placement p);
std::optional<Placement> ParsePlacement(std::string_view text);

// Whether the record's table slot holds its entry, and whether its index entries are written.
inline bool EntryWritten(Placement p)
{
    return p == Placement::Listed || p == Placement::Dropped || p == Placement::Deleted;
}
inline bool IndexWritten(Placement p) { return p != Placement::Unindexed; }

}  // namespace mkdisk
