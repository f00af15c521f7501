#include "tools/mkdisk/placement.h"

#include <array>
#include <utility>

namespace mkdisk {
namespace {

constexpr std::array<std::pair<Placement, const char*>, 5> kNames{{
    {Placement::Listed, "listed"},
    {Placement::Dropped, "dropped"},
    {Placement::Deleted, "deleted"},
    {Placement::IndexOnly, "index-only"},
    {Placement::Unindexed, "unindexed"},
}};

}  // namespace

const char* PlacementName(Placement p)
{
    for (const auto& [value, name] : kNames)
        if (value == p)
            return name;
    return "listed";
}

std::optional<Placement> ParsePlacement(std::string_view text)
{
    for (const auto& [value, name] : kNames)
        if (text == name)
            return value;
    return std::nullopt;
}

}  // namespace mkdisk
