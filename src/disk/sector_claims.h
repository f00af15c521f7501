#pragma once
// Which recording a sector was first given to: disjoint runs of sectors,
// each with the owner that claimed it first. The recovery scan claims the
// listed records' sectors first and then the recovered recordings' from the
// last found to the first, so an earlier recording meeting a claimed run
// learns which one overwrote it. Memory grows with runs, never with sectors.
#include <cstdint>
#include <map>
#include <optional>

namespace disk {

class SectorClaims {
public:
    struct Claim {
        uint64_t first = 0;
        uint64_t end = 0;  // one past the last sector
        uint32_t owner = 0;
    };

    // The lowest claimed part of [first, end), clipped to it; none when the
    // whole range is unclaimed.
    std::optional<Claim> FirstOverlap(uint64_t first, uint64_t end) const;
    // Gives the unclaimed parts of [first, end) to owner; claimed parts keep
    // their owner.
    void Add(uint64_t first, uint64_t end, uint32_t owner);
    // The first unclaimed sector at or after from, and where that unclaimed
    // stretch ends (limit at most); false when none lies below limit.
    bool NextUnclaimed(uint64_t from, uint64_t limit, uint64_t& first, uint64_t& end) const;

    size_t RunCount() const { return runs.size(); }

private:
    struct Run {
        uint64_t end = 0;
        uint32_t owner = 0;
    };
    void Insert(uint64_t first, uint64_t end, uint32_t owner);

    std::map<uint64_t, Run> runs;  // by first sector; disjoint
};

}  // namespace disk
