#pragma once
// Where a file a command writes may go: never into the device directory, and
// never over a file that must be kept (the disk, the case), whatever name
// leads there.
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace cli {

struct KeptFile {
    std::string path;  // empty: nothing to keep
    std::string name;  // as the refusal says it: "the case file"
};

// what: the file written as the refusal names it ("report", "document").
platform::Result<void> CheckWriteTarget(const std::string& target, std::string_view what,
                                        std::initializer_list<KeptFile> kept);

}  // namespace cli
