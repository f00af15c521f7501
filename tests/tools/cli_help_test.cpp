// quillon-cli's --help of each command, and the progress bars of its long
// commands: drawn on a terminal (a pseudo-terminal from script(1)), never
// into a file or pipe.
#include <gtest/gtest.h>

#include <algorithm>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using testing_support::RunTool;
using testing_support::ToolRun;

const std::string kCli = std::string(QUILLON_BIN_DIR) + "/quillon-cli";

// The usage lines of `quillon-cli --help`, without the program name.
std::vector<std::string> UsageLines(const std::string& help)
{
    std::vector<std::string> usages;
    std::stringstream s(help);
    for (std::string line; std::getline(s, line);)
        if (line.starts_with("  quillon-cli "))
            usages.push_back(line.substr(14));
    return usages;
}

std::set<std::string> OptionNames(const std::string& text)
{
    std::set<std::string> names;
    const std::regex option(R"((^|[\s\[|])(--?[a-z][a-z0-9-]*))");
    for (std::sregex_iterator i(text.begin(), text.end(), option), end; i != end; ++i)
        names.insert((*i)[2]);
    return names;
}

class CliHelpTest : public ::testing::Test {
protected:
    testing_support::TempDir dir;
    ToolRun Cli(const std::string& args) { return RunTool(kCli + " " + args, dir.File("stderr.txt")); }
    // The command on a pseudo-terminal: what a user at a terminal sees on
    // stdout and stderr together.
    ToolRun OnTerminal(const std::string& args)
    {
        return RunTool("script -qec \"" + kCli + " " + args + "\" /dev/null", dir.File("stderr.txt"));
    }
};

TEST_F(CliHelpTest, EachCommandsHelpGivesItsUsageAndExplainsEveryOption)
{
    const ToolRun list = Cli("--help");
    ASSERT_EQ(list.status, 0);
    const std::vector<std::string> usages = UsageLines(list.out);
    ASSERT_GE(usages.size(), 12u) << list.out;
    for (const std::string& usage : usages) {
        // The command's name: its leading words in lower case ("records",
        // "case create"), before the arguments and options.
        std::string name;
        std::istringstream words(usage);
        for (std::string word;
             words >> word &&
             std::all_of(word.begin(), word.end(), [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; }) &&
             word[0] != '-';)
            name += (name.empty() ? "" : " ") + word;
        for (const char* flag : {" --help", " -h", " DISK --help"}) {
            const ToolRun run = Cli(name + flag);
            EXPECT_EQ(run.status, 0) << name << flag << ": " << run.err;
            EXPECT_TRUE(run.err.empty()) << name << flag;
            const std::string head = "usage: quillon-cli " + usage + "\n\n";
            ASSERT_TRUE(run.out.starts_with(head)) << name << flag << ":\n" << run.out;
            const std::string body = run.out.substr(head.size());
            EXPECT_GT(body.size(), 40u) << name << " has no help text of its own";
            for (const std::string& option : OptionNames(usage))
                EXPECT_NE(body.find("  " + option + " "), std::string::npos)
                    << name << " --help does not explain " << option;
        }
    }
    EXPECT_EQ(Cli("").status, 1) << "no command: the usage on stderr, status 1";
    EXPECT_EQ(Cli("no-such-command --help").status, 1);
}

TEST_F(CliHelpTest, LongCommandsShowABarWithTheTimeLeftOnATerminalOnly)
{
    const std::string disk = dir.File("demo.img");
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::DemoPlan(), disk)));
    const std::string movie = dir.File("cut.avi");
    ASSERT_EQ(Cli("export " + disk + " --record 1 --from 0 --to 1 -o " + movie).status, 0);

    struct Case {
        std::string label;
        std::string args;
    };
    const std::vector<Case> cases = {
        {"hash", "hash " + disk + " --md5"},
        {"verify", "verify " + movie + ".report.json"},
        {"frames", "frames " + disk + " --record 2 --dump " + dir.File("dump") + " > " + dir.File("frames.txt")},
        {"export", "export " + disk + " --record 1 --from 2 --to 4 -o " + dir.File("more.avi")},
    };
    for (const Case& c : cases) {
        const ToolRun terminal = OnTerminal(c.args);
        EXPECT_EQ(terminal.status, 0) << c.args << ": " << terminal.out;
        EXPECT_NE(terminal.out.find(c.label + " [##############################] 100 %  0:00 left"), std::string::npos)
            << c.label << " on a terminal:\n"
            << terminal.out;
    }
    // Into files and pipes: nothing but the results.
    for (const Case& c : cases) {
        std::string args = c.args;
        if (c.label == "export")
            args = "export " + disk + " --record 1 --from 2 --to 4 -o " + dir.File("quiet.avi");
        const ToolRun quiet = Cli(args);
        EXPECT_EQ(quiet.status, 0) << args;
        EXPECT_TRUE(quiet.err.empty()) << c.label << " wrote to a pipe's stderr: " << quiet.err;
    }
    // Verify's check lines stay whole: the bar is taken off before each.
    const ToolRun verify = OnTerminal("verify " + movie + ".report.json");
    EXPECT_NE(verify.out.find("\r\x1b[Krecord table\tok\t"), std::string::npos) << verify.out;
}

}  // namespace
