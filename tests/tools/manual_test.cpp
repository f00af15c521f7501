// The manuals and the README against the programs' own texts: every command
// of quillon-cli's table with its exact usage, every option of the programs'
// --help, the version, and man pages that groff formats without a warning.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace {

using testing_support::RunTool;
using testing_support::ToolRun;

const std::string kManDir = std::string(QUILLON_SOURCE_DIR) + "/packaging/man/";

using testing_support::Lines;
using testing_support::ReadText;
std::string Trimmed(const std::string& line)
{
    const auto first = line.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : line.substr(first, line.find_last_not_of(' ') - first + 1);
}

std::set<std::string> OptionNames(const std::string& text)
{
    std::set<std::string> names;
    const std::regex option(R"((^|[\s\[|(,])(--?[a-z][a-z0-9-]*))");
    for (std::sregex_iterator i(text.begin(), text.end(), option), end; i != end; ++i)
        names.insert((*i)[2]);
    return names;
}

class ManualTest : public ::testing::Test {
protected:
    testing_support::TempDir dir;
    ToolRun Run(const std::string& command) { return RunTool(command, dir.File("stderr.txt")); }
    // A page as man shows it, on lines long enough that nothing wraps and
    // nothing is hyphenated, in plain ASCII.
    std::string Rendered(const std::string& page)
    {
        const ToolRun run = Run("groff -man -Tascii -rLL=1000n -rHY=0 -P-cbou " + kManDir + page);
        EXPECT_EQ(run.status, 0) << page << ": " << run.err;
        return run.out;
    }
    std::string Program(const std::string& name) { return std::string(QUILLON_BIN_DIR) + "/" + name; }
};

TEST_F(ManualTest, PagesFormatWithoutWarningsAndCarryTheProgramsVersion)
{
    for (const char* page : {"quillon.1", "quillon-cli.1", "quillon-mkdisk.1"}) {
        const ToolRun run = Run("groff -man -Tutf8 -ww -z " + kManDir + page);
        EXPECT_EQ(run.status, 0) << page;
        EXPECT_TRUE(run.err.empty()) << page << ":\n" << run.err;
        EXPECT_NE(ReadText(kManDir + page).find("\"Quillon " QUILLON_VERSION "\""), std::string::npos)
            << page << " names another version than the programs'";
    }
}

TEST_F(ManualTest, EveryCommandIsInTheManPageAndTheReadmeWithItsExactUsage)
{
    const ToolRun help = Run(Program("quillon-cli") + " --help");
    ASSERT_EQ(help.status, 0);
    std::vector<std::string> usages;
    for (const std::string& line : Lines(help.out))
        if (line.starts_with("  quillon-cli "))
            usages.push_back(line.substr(2));
    ASSERT_GE(usages.size(), 12u);

    std::set<std::string> pageLines;
    for (const std::string& line : Lines(Rendered("quillon-cli.1")))
        pageLines.insert(Trimmed(line));
    // The README lists each command indented by four, its words after at
    // least two spaces when they fit on the line.
    std::set<std::string> readmeUsages;
    for (const std::string& line : Lines(ReadText(std::string(QUILLON_SOURCE_DIR) + "/README.md")))
        if (line.starts_with("    quillon-cli "))
            readmeUsages.insert(line.substr(4, line.find("  ", 4) - 4));
    for (const std::string& usage : usages) {
        EXPECT_TRUE(pageLines.count(usage)) << "packaging/man/quillon-cli.1 lacks: " << usage;
        EXPECT_TRUE(readmeUsages.count(usage)) << "README.md's command list lacks: " << usage;
    }
}

// The lists themselves, both ways and in order: a command declared but not
// described, or described but no longer declared, fails here.
TEST_F(ManualTest, TheManPageAndReadmeListTheDeclaredCommandsInTheirOrder)
{
    const ToolRun help = Run(Program("quillon-cli") + " --help");
    ASSERT_EQ(help.status, 0);
    std::vector<std::string> declared;
    for (const std::string& line : Lines(help.out))
        if (line.starts_with("  quillon-cli "))
            declared.push_back(line.substr(2));
    ASSERT_GE(declared.size(), 12u);

    // The man page's COMMANDS section: one tag line per command.
    std::vector<std::string> page;
    bool inCommands = false;
    for (const std::string& line : Lines(Rendered("quillon-cli.1"))) {
        if (!line.empty() && line[0] != ' ')
            inCommands = line == "COMMANDS";
        else if (inCommands && line.starts_with("       quillon-cli "))
            page.push_back(Trimmed(line));
    }
    EXPECT_EQ(page, declared) << "packaging/man/quillon-cli.1's COMMANDS";

    // The README's block of commands under its quillon-cli heading.
    std::vector<std::string> readme;
    bool inSection = false;
    for (const std::string& line : Lines(ReadText(std::string(QUILLON_SOURCE_DIR) + "/README.md"))) {
        if (line.starts_with("## "))
            inSection = line == "## quillon-cli";
        else if (inSection && line.starts_with("    quillon-cli "))
            readme.push_back(line.substr(4, line.find("  ", 4) - 4));
        else if (inSection && !readme.empty())
            break;
    }
    EXPECT_EQ(readme, declared) << "README.md's command list";
}

TEST_F(ManualTest, EveryOptionOfTheProgramsHelpIsInItsManPage)
{
    struct Page {
        std::string program;
        std::string page;
    };
    for (const Page& p : {Page{"quillon", "quillon.1"}, Page{"quillon-mkdisk", "quillon-mkdisk.1"}}) {
        const ToolRun help = Run(Program(p.program) + " --help");
        ASSERT_EQ(help.status, 0) << p.program;
        const std::string page = Rendered(p.page);
        std::set<std::string> options = OptionNames(help.out);
        options.insert("--version");
        for (const std::string& option : options)
            EXPECT_NE(page.find(option), std::string::npos) << p.page << " lacks " << option;
        // quillon-mkdisk's record keys as well ("format=WxH").
        const std::regex key(R"(^\s+([a-z]+)=)");
        for (const std::string& line : Lines(help.out)) {
            std::smatch m;
            if (std::regex_search(line, m, key)) {
                EXPECT_NE(page.find(m[1].str() + "="), std::string::npos) << p.page << " lacks " << m[1];
            }
        }
    }
}

}  // namespace
