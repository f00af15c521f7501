#include "disk/sector_claims.h"

#include <algorithm>
#include <iterator>

namespace disk {

std::optional<SectorClaims::Claim> SectorClaims::FirstOverlap(uint64_t first, uint64_t end) const
{
    if (first >= end)
        return std::nullopt;
    auto it = runs.upper_bound(first);
    if (it != runs.begin()) {
        const auto before = std::prev(it);
        if (before->second.end > first)
            return Claim{first, std::min(end, before->second.end), before->second.owner};
    }
    if (it != runs.end() && it->first < end)
        return Claim{it->first, std::min(end, it->second.end), it->second.owner};
    return std::nullopt;
}

void SectorClaims::Add(uint64_t first, uint64_t end, uint32_t owner)
{
    uint64_t at = first;
    while (at < end) {
        const std::optional<Claim> claimed = FirstOverlap(at, end);
        if (!claimed) {
            Insert(at, end, owner);
            return;
        }
        if (claimed->first > at)
            Insert(at, claimed->first, owner);
        at = claimed->end;
    }
}

// [first, end) is unclaimed; joined with a neighbour of the same owner that
// touches it.
void SectorClaims::Insert(uint64_t first, uint64_t end, uint32_t owner)
{
    auto next = runs.lower_bound(first);
    if (next != runs.begin()) {
        const auto before = std::prev(next);
        if (before->second.end == first && before->second.owner == owner) {
            before->second.end = end;
            if (next != runs.end() && next->first == end && next->second.owner == owner) {
                before->second.end = next->second.end;
                runs.erase(next);
            }
            return;
        }
    }
    if (next != runs.end() && next->first == end && next->second.owner == owner) {
        const Run joined{next->second.end, owner};
        runs.erase(next);
        runs.emplace(first, joined);
        return;
    }
    runs.emplace(first, Run{end, owner});
}

bool SectorClaims::NextUnclaimed(uint64_t from, uint64_t limit, uint64_t& first, uint64_t& end) const
{
    uint64_t at = from;
    auto it = runs.upper_bound(at);
    if (it != runs.begin()) {
        const auto before = std::prev(it);
        at = std::max(at, before->second.end);
    }
    // Runs that touch one another leave no gap between them.
    while (it != runs.end() && it->first <= at) {
        at = std::max(at, it->second.end);
        ++it;
    }
    if (at >= limit)
        return false;
    first = at;
    end = it == runs.end() ? limit : std::min(limit, it->first);
    return true;
}

}  // namespace disk
