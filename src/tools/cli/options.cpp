#include "tools/cli/options.h"

#include <charconv>
#include <cstdio>

namespace cli {

bool Options::Parse(const Args& args, std::set<std::string_view> valueNames, std::set<std::string_view> flagNames)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (valueNames.count(arg)) {
            if (i + 1 >= args.size()) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            values[std::string(arg)] = std::string(args[++i]);
        } else if (flagNames.count(arg)) {
            flags.insert(std::string(arg));
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + std::string(arg);
            return false;
        } else {
            positional.emplace_back(arg);
        }
    }
    return true;
}

std::optional<std::string> Options::Value(std::string_view name) const
{
    const auto it = values.find(std::string(name));
    if (it == values.end())
        return std::nullopt;
    return it->second;
}

bool Options::Number(std::string_view name, int64_t min, int64_t max, int64_t fallback, int64_t& out)
{
    const auto text = Value(name);
    if (!text) {
        out = fallback;
        return true;
    }
    int64_t value = 0;
    const char* end = text->data() + text->size();
    const auto [ptr, ec] = std::from_chars(text->data(), end, value);
    if (ec != std::errc() || ptr != end || value < min || value > max) {
        error = std::string(name) + " must be a number from " + std::to_string(min) + " to " + std::to_string(max);
        return false;
    }
    out = value;
    return true;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "quillon-cli: %s\n", message.c_str());
    return 1;
}

}  // namespace cli
