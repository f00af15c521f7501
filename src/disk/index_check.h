#pragma once
// Whether a record's sector index is plausible. A damaged record table or
// index can make it run on into bytes that are not an index (another
// record's entries, then sound and video): those bytes must never be
// streamed as the record's segments. The index is cut before its first
// implausible entry; the segments before it are kept.
#include <cstdint>
#include <span>
#include <string>

namespace disk {

enum class IndexDamage {
    None,
    LeavesDisk,      // an entry names a sector past the disk's end
    RunsBackwards,   // an entry below the one before it
    RunsIntoData,    // the index is stored where the segments' data lies
    RunsIntoRecord,  // the index runs on over the next record's entries
};

struct IndexCheck {
    IndexDamage damage = IndexDamage::None;
    uint32_t recordedSegments = 0;  // the record entry's count
    uint32_t readableSegments = 0;  // segments before the first implausible entry
    bool Damaged() const { return damage != IndexDamage::None; }
};

// Takes a record's entries in order and stops at the first implausible one.
// Equal neighbours (an empty second) are plausible.
class IndexChecker {
public:
    IndexChecker(uint32_t recordedSegments, uint64_t diskSectors) : diskSectors(diskSectors)
    {
        check.recordedSegments = recordedSegments;
    }
    // False (and nothing taken) once an entry is implausible.
    bool Take(uint32_t entry);
    // Fewer entries taken than the record's count + 1, with none refused:
    // the rest is stored in the data area.
    IndexCheck Result() const;
    uint64_t Taken() const { return taken; }

private:
    uint64_t diskSectors;
    uint64_t taken = 0;
    uint32_t last = 0;
    IndexCheck check;
};

// The whole check over entries read (possibly fewer than recordedSegments + 1).
IndexCheck CheckSectorIndex(std::span<const uint32_t> entries, uint32_t recordedSegments, uint64_t diskSectors);

// "runs into the data area" and so on.
std::string IndexDamageText(IndexDamage damage);

// One line: "record 3 is damaged: its index runs backwards: only segments 0 to 11 of 20 can be read".
std::string IndexCheckText(uint32_t recordNumber, const IndexCheck& check);
// The same for a recording named as people see it ("3", "u2").
std::string IndexCheckText(const std::string& name, const IndexCheck& check);

}  // namespace disk
