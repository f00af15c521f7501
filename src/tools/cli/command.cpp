#include "tools/cli/command.h"

#include <algorithm>

namespace cli {
namespace {

// Labels longer than this put their help on the line below, so that one
// long value name does not push every other option's help to the right.
constexpr size_t kWidestLabel = 22;

std::string Label(const Option& option)
{
    return std::string(option.name) + (option.IsFlag() ? "" : " " + std::string(option.value));
}

std::string Label(const Argument& argument) { return std::string(argument.name) + (argument.repeatable ? "..." : ""); }

void AddEntry(std::string& text, const std::string& label, std::string_view help, size_t column)
{
    text += "  " + label;
    if (help.empty()) {
        text += '\n';
        return;
    }
    size_t at = 2 + label.size();
    if (label.size() > kWidestLabel) {
        text += '\n';
        at = 0;
    }
    while (!help.empty()) {
        const size_t end = help.find('\n');
        const std::string_view line = help.substr(0, end);
        text += std::string(column > at ? column - at : 1, ' ');
        text += line;
        text += '\n';
        help = end == std::string_view::npos ? std::string_view() : help.substr(end + 1);
        at = 0;
    }
}

}  // namespace

std::string Usage(const Command& command)
{
    std::string usage(command.name);
    for (const Argument& a : command.arguments)
        usage += " " + (a.optional ? "[" + Label(a) + "]" : Label(a));
    for (const Option& o : command.options) {
        if (!o.needs.empty())
            continue;
        std::string shown = Label(o);
        std::string inner;
        for (const Option& d : command.options)
            if (d.needs == o.name)
                inner += (inner.empty() ? "" : " ") + Label(d);
        if (!inner.empty())
            shown += " [" + inner + "]";
        usage += " " + (o.required ? shown : "[" + shown + "]");
    }
    return usage;
}

std::string HelpText(const Command& command)
{
    std::string text = "usage: quillon-cli " + Usage(command) + "\n\n" + std::string(command.description);
    size_t widest = 0;
    bool entries = false;
    for (const Argument& a : command.arguments)
        if (!a.help.empty()) {
            entries = true;
            if (Label(a).size() <= kWidestLabel)
                widest = std::max(widest, Label(a).size());
        }
    for (const Option& o : command.options) {
        entries = true;
        if (Label(o).size() <= kWidestLabel)
            widest = std::max(widest, Label(o).size());
    }
    if (!entries)
        return text;
    const size_t column = 2 + widest + 4;
    text += '\n';
    for (const Argument& a : command.arguments)
        if (!a.help.empty())
            AddEntry(text, Label(a), a.help, column);
    for (const Option& o : command.options)
        AddEntry(text, Label(o), o.help, column);
    return text;
}

}  // namespace cli
