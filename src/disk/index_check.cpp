#include "disk/index_check.h"

namespace disk {

bool IndexChecker::Take(uint32_t entry)
{
    if (check.Damaged())
        return false;
    if (entry > diskSectors)
        check.damage = IndexDamage::LeavesDisk;
    else if (taken > 0 && entry < last)
        check.damage = IndexDamage::RunsBackwards;
    if (check.Damaged())
        return false;
    last = entry;
    ++taken;
    return true;
}

IndexCheck IndexChecker::Result() const
{
    IndexCheck result = check;
    const uint64_t wanted = uint64_t(check.recordedSegments) + 1;
    if (!result.Damaged() && taken < wanted)
        result.damage = IndexDamage::RunsIntoData;
    // Segment j needs entries j and j + 1.
    const uint64_t good = taken < wanted ? taken : wanted;
    result.readableSegments = good == 0 ? 0 : static_cast<uint32_t>(good - 1);
    return result;
}

IndexCheck CheckSectorIndex(std::span<const uint32_t> entries, uint32_t recordedSegments, uint64_t diskSectors)
{
    IndexChecker checker(recordedSegments, diskSectors);
    const uint64_t wanted = uint64_t(recordedSegments) + 1;
    for (size_t j = 0; j < entries.size() && j < wanted && checker.Take(entries[j]); ++j) {
    }
    return checker.Result();
}

std::string IndexDamageText(IndexDamage damage)
{
    switch (damage) {
    case IndexDamage::None: return "is sound";
    case IndexDamage::LeavesDisk: return "points past the end of the disk";
    case IndexDamage::RunsBackwards: return "runs backwards";
    case IndexDamage::RunsIntoData: return "runs into the data area";
    case IndexDamage::RunsIntoRecord: return "runs into the next record's index";
    }
    return "is damaged";
}

std::string IndexCheckText(uint32_t recordNumber, const IndexCheck& check)
{
    return IndexCheckText(std::to_string(uint64_t(recordNumber) + 1), check);
}

std::string IndexCheckText(const std::string& name, const IndexCheck& check)
{
    std::string text = "record " + name + " is damaged: its index " + IndexDamageText(check.damage) + ": ";
    if (check.readableSegments == 0)
        return text + "none of its " + std::to_string(check.recordedSegments) + " segments can be read";
    return text + "only segments 0 to " + std::to_string(check.readableSegments - 1) + " of " +
           std::to_string(check.recordedSegments) + " can be read";
}

}  // namespace disk
