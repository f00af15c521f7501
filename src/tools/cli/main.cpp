#include "tools/cli/commands.h"
#include "tools/cli/options.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdio_ext.h>
#include <string>

// QUILLON_VERSION is the package's version, set with the install rules
// (packaging/CMakeLists.txt).
#ifndef QUILLON_VERSION
#define QUILLON_VERSION "unknown"
#endif

static void PrintUsage(std::FILE* to)
{
    std::fprintf(to, "usage: quillon-cli COMMAND ...\n"
                     "DISK is a recorder disk image path or a drive number (0 to 9).\n"
                     "Record and camera numbers count from 1; positions from 0.\n"
                     "'quillon-cli COMMAND --help' tells more of one command.\n\n");
    for (const cli::Command& c : cli::Commands()) {
        const std::string summary(c.summary);
        std::fprintf(to, "  quillon-cli %s\n      %s\n", cli::Usage(c).c_str(), summary.c_str());
    }
}

// What a command printed reaches its file or pipe only when stdout is
// flushed and closed: a full disk under `quillon-cli hash IMG > file` shows
// then, and is a failure, never status 0 with the lines lost.
static int FinishOutput(int status)
{
    std::cout.flush();
    const bool pending = __fpending(stdout) != 0;
    const bool failed = std::cout.fail() || std::ferror(stdout);
    errno = 0;
    const bool closeFailed = std::fclose(stdout) != 0;
    // A standard output closed by the caller is no failure when nothing was
    // to be written to it.
    if (failed || (closeFailed && (pending || errno != EBADF))) {
        std::fprintf(stderr, "quillon-cli: cannot write the standard output%s%s\n", errno != 0 ? ": " : "",
                     errno != 0 ? std::strerror(errno) : "");
        return 1;
    }
    return status;
}

static bool AsksForHelp(const cli::Args& args)
{
    for (const std::string_view a : args)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

int main(int argc, char** argv)
{
    // A file past the size limit (ulimit -f) is a failed write, reported and
    // cleaned up like a full disk, not a kill that leaves half a file.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc < 2) {
        PrintUsage(stderr);
        return 1;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return FinishOutput(0);
    }
    if (name == "--version") {
        std::printf("quillon-cli %s\n", QUILLON_VERSION);
        return FinishOutput(0);
    }
    // A command's name is one word or two ("case create"): the longest
    // name the words match.
    const cli::Command* command = nullptr;
    int words = 0;
    for (const auto& c : cli::Commands()) {
        const bool two = argc > 2 && c.name == std::string(name) + " " + argv[2];
        if (two || (c.name == name && words < 2)) {
            command = &c;
            words = two ? 2 : 1;
        }
    }
    if (command) {
        const cli::Command& c = *command;
        const cli::Args args(argv + 1 + words, argv + argc);
        if (AsksForHelp(args)) {
            std::fputs(cli::HelpText(c).c_str(), stdout);
            return FinishOutput(0);
        }
        // Parsed against the declaration before the command runs: an
        // option it does not know or a missing argument is refused here.
        cli::Options options;
        if (!options.Parse(c, args))
            return cli::Fail(options.error);
        return FinishOutput(c.run(options));
    }
    // The first word of two-word commands alone: their usages.
    std::string family;
    for (const auto& c : cli::Commands())
        if (c.name.starts_with(std::string(name) + " "))
            family += "\n  quillon-cli " + cli::Usage(c);
    if (!family.empty()) {
        std::fprintf(stderr, "quillon-cli: %s needs one of:%s\n", argv[1], family.c_str());
        return 1;
    }
    std::fprintf(stderr, "quillon-cli: unknown command '%s'\n", argv[1]);
    return 1;
}
