#pragma once
// Command-line options of one quillon-cli command: --name VALUE, flags and
// positional arguments, with checked numbers.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cli/commands.h"

namespace cli {

class Options {
public:
    // Names include their dashes ("--record", "-o").
    bool Parse(const Args& args, std::set<std::string_view> valueNames, std::set<std::string_view> flagNames);

    bool Has(std::string_view name) const { return values.count(std::string(name)) || flags.count(std::string(name)); }
    std::optional<std::string> Value(std::string_view name) const;
    // A whole decimal number in [min, max]; absent gives fallback.
    bool Number(std::string_view name, int64_t min, int64_t max, int64_t fallback, int64_t& out);

    std::vector<std::string> positional;
    std::string error;  // set when Parse or Number fails

private:
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
};

// Prints "quillon-cli: MESSAGE" on stderr and returns exit status 1.
int Fail(const std::string& message);

}  // namespace cli
