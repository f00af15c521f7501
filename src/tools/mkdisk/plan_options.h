#pragma once
// The command line of quillon-mkdisk, parsed into a disk plan.
#include <string>
#include <string_view>
#include <vector>

#include "tools/mkdisk/disk_plan.h"

namespace mkdisk {

struct CommandLine {
    DiskPlan plan;
    std::string output;
    std::string manifest;
    bool help = false;
};

platform::Result<void> ParseCommandLine(const std::vector<std::string_view>& args, CommandLine& out);
// One --record value: comma-separated key=value pairs.
platform::Result<void> ParseRecordSpec(std::string_view text, RecordPlan& record);

extern const char* const kUsage;

}  // namespace mkdisk
