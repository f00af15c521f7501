#pragma once
// What one quillon-cli command declares about itself: its name, a one-line
// summary, what it does, its positional arguments and its options with their
// help. The parser, the usage line, `quillon-cli --help` and `quillon-cli
// COMMAND --help` are all made from this, so a command is added by writing
// its file (one declaration and its run function) and naming it in the
// table (commands.cpp).
#include <string>
#include <string_view>
#include <vector>

namespace cli {

using Args = std::vector<std::string_view>;

class Options;

// A positional argument: "DISK", "IMAGE" (repeatable and optional shows as
// "[IMAGE...]"), or any text such as "\"YYYY-MM-DD HH:MM:SS\"".
struct Argument {
    std::string_view name;
    std::string_view help = {};
    bool optional = false;
    bool repeatable = false;
};

// An option with its dashes ("--record", "-o"). An empty value name makes it
// a flag; otherwise the next argument is its value ("--record N").
struct Option {
    std::string_view name;
    std::string_view value = {};
    // One line or more ('\n' between them), shown beside the name.
    std::string_view help = {};
    bool required = false;
    // Given more than once: every value kept. Otherwise a second one is refused.
    bool repeatable = false;
    // Only together with this other option: shown inside its brackets
    // ("[--record N [--from B --to E]]") and refused without it.
    std::string_view needs = {};
    // What a missing required option is refused with; empty: the usage line.
    std::string_view whenMissing = {};

    bool IsFlag() const { return value.empty(); }
};

struct Command {
    std::string_view name;
    std::string_view summary;
    // What `quillon-cli NAME --help` prints below the usage line, before the
    // arguments and options; lines end in '\n'.
    std::string_view description;
    std::vector<Argument> arguments = {};
    std::vector<Option> options = {};
    // Gets the options as parsed and checked against the declaration;
    // returns the process exit status.
    int (*run)(Options& options) = nullptr;
};

// "audio DISK --record N --camera C [--from S] [--seconds K] -o OUT.wav":
// the name, the arguments, then the options in their declared order.
std::string Usage(const Command& command);

// All of `quillon-cli NAME --help`: the usage line, the description, then
// one line (or more) per argument with help and per option.
std::string HelpText(const Command& command);

}  // namespace cli
