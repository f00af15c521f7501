#pragma once
// The options of one quillon-cli command as parsed against its declaration
// (command.h): --name VALUE, flags and positional arguments, with checked
// numbers. Parsing changes nothing outside the value it fills.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cli/command.h"

namespace cli {

class Options {
public:
    // Refused (false, error set) for an option the command does not declare
    // (named), an option without its value or given twice when not
    // repeatable, an option without the one it needs, a missing required
    // option, or the wrong number of positional arguments. Every refusal
    // but the first three and a required option's own whenMissing text is
    // the usage line "usage: quillon-cli USAGE".
    bool Parse(const Command& command, const Args& args);

    bool Has(std::string_view name) const { return values.count(std::string(name)) || flags.count(std::string(name)); }
    // The value (the last one of a repeatable option); none when absent.
    std::optional<std::string> Value(std::string_view name) const;
    // Every value of the option, in the order given.
    std::vector<std::string> Values(std::string_view name) const;
    // A whole decimal number in [min, max]; absent gives fallback.
    bool Number(std::string_view name, int64_t min, int64_t max, int64_t fallback, int64_t& out);

    std::vector<std::string> positional;
    std::string error;  // set when Parse or Number fails

private:
    std::map<std::string, std::vector<std::string>> values;
    std::set<std::string> flags;
};

// Prints "quillon-cli: MESSAGE" on stderr and returns exit status 1.
int Fail(const std::string& message);

}  // namespace cli
