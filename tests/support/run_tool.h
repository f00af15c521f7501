#pragma once
// Runs a command as a script would: its stdout, its stderr and its exit status.
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/file_bytes.h"

namespace testing_support {

// Text split at newlines, without them.
inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);)
        lines.push_back(line);
    return lines;
}

// A command prefix that makes an AddressSanitizer build take allocation
// stacks with the slow unwinder, for a tool run that provokes the Qt leak in
// scripts/lsan-suppressions.txt: only then does the stack reach the Qt frame
// the suppression names. Other builds ignore the variable.
inline std::string SlowUnwind() { return "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0\" "; }

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// command runs under /bin/sh; its stderr goes through errFile, which is read back.
inline ToolRun RunTool(const std::string& command, const std::string& errFile)
{
    ToolRun run;
    std::FILE* pipe = ::popen((command + " 2>'" + errFile + "'").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadText(errFile);
    return run;
}

}  // namespace testing_support
