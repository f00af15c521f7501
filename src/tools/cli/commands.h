#pragma once
// quillon-cli: one function per command. Each gets the arguments after the
// command name and returns the process exit status.
#include <string_view>
#include <vector>

namespace cli {

using Args = std::vector<std::string_view>;

struct Command {
    std::string_view name;
    std::string_view usage;
    int (*run)(const Args& args);
    // What `quillon-cli NAME --help` prints below the usage line: what the
    // command does and each of its options.
    std::string_view help = {};
};

// Defined in main.cpp: every command of the program, in the order --help lists them.
const std::vector<Command>& Commands();

int RunDisks(const Args& args);
int RunRecords(const Args& args);
int RunTimeline(const Args& args);
int RunLocate(const Args& args);
int RunAudio(const Args& args);
int RunFrames(const Args& args);
int RunPlay(const Args& args);
int RunStill(const Args& args);
int RunSnapshot(const Args& args);
int RunExport(const Args& args);
int RunVerify(const Args& args);
int RunHash(const Args& args);
int RunConvert(const Args& args);
int RunSkinPreview(const Args& args);

}  // namespace cli
