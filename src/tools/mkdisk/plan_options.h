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

bool ParseCommandLine(const std::vector<std::string_view>& args, CommandLine& out, std::string& error);
// One --record value: comma-separated key=value pairs.
bool ParseRecordSpec(std::string_view text, RecordPlan& record, std::string& error);

extern const char* const kUsage;

}  // namespace mkdisk
