#include "tools/cli/options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace cli {
namespace {

const Option* Declared(const Command& command, std::string_view name)
{
    for (const Option& option : command.options)
        if (option.name == name)
            return &option;
    return nullptr;
}

}  // namespace

bool Options::Parse(const Command& command, const Args& args)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const Option* option = Declared(command, arg);
        if (!option) {
            if (arg.size() > 1 && arg[0] == '-') {
                error = "unknown option " + std::string(arg);
                return false;
            }
            positional.emplace_back(arg);
            continue;
        }
        const std::string name(arg);
        if (!option->repeatable && Has(name)) {
            error = name + " is given twice";
            return false;
        }
        if (option->IsFlag()) {
            flags.insert(name);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return false;
        }
        values[name].emplace_back(args[++i]);
    }

    const std::string usage = "usage: quillon-cli " + Usage(command);
    size_t least = 0;
    bool unbounded = false;
    for (const Argument& a : command.arguments) {
        least += a.optional ? 0 : 1;
        unbounded = unbounded || a.repeatable;
    }
    if (positional.size() < least || (!unbounded && positional.size() > command.arguments.size())) {
        error = usage;
        return false;
    }
    for (const Option& o : command.options)
        if ((o.required && o.whenMissing.empty() && !Has(o.name)) ||
            (!o.needs.empty() && Has(o.name) && !Has(o.needs))) {
            error = usage;
            return false;
        }
    for (const Option& o : command.options)
        if (o.required && !Has(o.name)) {
            error = std::string(o.whenMissing);
            return false;
        }
    return true;
}

std::optional<std::string> Options::Value(std::string_view name) const
{
    const auto it = values.find(std::string(name));
    if (it == values.end() || it->second.empty())
        return std::nullopt;
    return it->second.back();
}

std::vector<std::string> Options::Values(std::string_view name) const
{
    const auto it = values.find(std::string(name));
    return it == values.end() ? std::vector<std::string>() : it->second;
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
