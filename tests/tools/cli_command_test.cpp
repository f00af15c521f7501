// quillon-cli's declared commands: the parser refuses what a declaration
// does not allow, the usage and help are made from the declarations, and
// the program answers each command's --help with exactly that text. Loading
// a DISK leaves the process-wide drive table alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "support/run_tool.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"
#include "tools/mkdisk/disk_plan.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using testing_support::RunTool;
using testing_support::ToolRun;

const std::string kCli = std::string(QUILLON_BIN_DIR) + "/quillon-cli";

int NoRun(cli::Options&) { return 0; }

// A command of the same shapes the real ones use: a repeatable optional
// argument, a required option with its own refusal, options that only go
// with another, a repeatable option and a flag.
cli::Command Sample()
{
    return {.name = "sample",
            .summary = "a sample",
            .description = "Does nothing.\n",
            .arguments = {{"DISK", "the disk"}, {.name = "MORE", .optional = true, .repeatable = true}},
            .options = {{.name = "--record",
                         .value = "N",
                         .help = "the record",
                         .required = true,
                         .whenMissing = "--record N is required"},
                        {.name = "--from", .value = "B", .help = "from", .needs = "--record"},
                        {.name = "--to", .value = "E", .help = "to\nand on", .needs = "--record"},
                        {.name = "--tag", .value = "T", .help = "a tag", .repeatable = true},
                        {"--fast", "", "a flag"},
                        {.name = "-o", .value = "OUT", .help = "the file", .required = true}},
            .run = NoRun};
}

std::string Parsed(const cli::Command& command, const cli::Args& args)
{
    cli::Options options;
    return options.Parse(command, args) ? "ok" : options.error;
}

TEST(CliDeclaration, UsageAndHelpAreMadeFromTheDeclaration)
{
    const cli::Command sample = Sample();
    EXPECT_EQ(cli::Usage(sample), "sample DISK [MORE...] --record N [--from B --to E] [--tag T] [--fast] -o OUT");
    EXPECT_EQ(cli::HelpText(sample), "usage: quillon-cli sample DISK [MORE...] --record N [--from B --to E] [--tag T] "
                                     "[--fast] -o OUT\n\n"
                                     "Does nothing.\n\n"
                                     "  DISK          the disk\n"
                                     "  --record N    the record\n"
                                     "  --from B      from\n"
                                     "  --to E        to\n"
                                     "                and on\n"
                                     "  --tag T       a tag\n"
                                     "  --fast        a flag\n"
                                     "  -o OUT        the file\n");
}

TEST(CliDeclaration, ParsingRefusesWhatTheDeclarationDoesNotAllow)
{
    const cli::Command sample = Sample();
    const std::string usage = "usage: quillon-cli " + cli::Usage(sample);
    EXPECT_EQ(Parsed(sample, {"d", "--record", "1", "-o", "x"}), "ok");
    EXPECT_EQ(Parsed(sample, {"d", "e", "f", "--record", "1", "--from", "2", "-o", "x", "--fast"}), "ok");
    EXPECT_EQ(Parsed(sample, {"d", "--record", "1", "--bogus", "-o", "x"}), "unknown option --bogus");
    EXPECT_EQ(Parsed(sample, {"d", "-o", "x", "--record"}), "--record needs a value");
    EXPECT_EQ(Parsed(sample, {"d", "--record", "1", "--record", "2", "-o", "x"}), "--record is given twice");
    EXPECT_EQ(Parsed(sample, {"d", "--record", "1", "--fast", "--fast", "-o", "x"}), "--fast is given twice");
    EXPECT_EQ(Parsed(sample, {"--record", "1", "-o", "x"}), usage) << "no DISK";
    EXPECT_EQ(Parsed(sample, {"d", "--record", "1"}), usage) << "no -o";
    EXPECT_EQ(Parsed(sample, {"d", "-o", "x"}), "--record N is required");
    // A usage mistake is said before a missing option with its own words.
    EXPECT_EQ(Parsed(sample, {"d"}), usage);

    cli::Command loose = Sample();
    loose.options[0].required = false;
    EXPECT_EQ(cli::Usage(loose), "sample DISK [MORE...] [--record N [--from B --to E]] [--tag T] [--fast] -o OUT");
    EXPECT_EQ(Parsed(loose, {"d", "--to", "3", "-o", "x"}), "usage: quillon-cli " + cli::Usage(loose))
        << "--to goes only with --record";
    EXPECT_EQ(Parsed(loose, {"d", "-o", "x"}), "ok");

    cli::Options options;
    ASSERT_TRUE(options.Parse(sample, {"d", "--tag", "a", "--record", "7", "--tag", "b", "-o", "x"}));
    EXPECT_EQ(options.Values("--tag"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(options.Value("--tag"), "b");
    EXPECT_EQ(options.positional, (std::vector<std::string>{"d"}));
    EXPECT_FALSE(options.Has("--fast"));

    cli::Command fixed = Sample();
    fixed.arguments.pop_back();
    EXPECT_EQ(Parsed(fixed, {"d", "e", "--record", "1", "-o", "x"}), "usage: quillon-cli " + cli::Usage(fixed));
}

class CliCommandsTest : public ::testing::Test {
protected:
    testing_support::TempDir dir;
    ToolRun Cli(const std::string& args) { return RunTool(kCli + " " + args, dir.File("stderr.txt")); }
};

TEST_F(CliCommandsTest, EveryCommandAnswersHelpWithItsDeclarationAndRefusesUnknownOptionsByName)
{
    const std::vector<cli::Command>& commands = cli::Commands();
    ASSERT_GE(commands.size(), 14u);
    const ToolRun list = Cli("--help");
    ASSERT_EQ(list.status, 0);
    size_t at = 0;
    for (const cli::Command& c : commands) {
        SCOPED_TRACE(std::string(c.name));
        EXPECT_FALSE(c.summary.empty());
        EXPECT_TRUE(c.description.ends_with("\n"));
        for (const cli::Option& o : c.options)
            EXPECT_FALSE(o.help.empty()) << o.name << " has no help";
        // Listed in the table's order, each usage with its summary below it.
        const std::string entry = "  quillon-cli " + cli::Usage(c) + "\n      " + std::string(c.summary) + "\n";
        const size_t found = list.out.find(entry, at);
        EXPECT_NE(found, std::string::npos) << list.out;
        at = found == std::string::npos ? at : found + entry.size();

        const ToolRun help = Cli(std::string(c.name) + " --help");
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out, cli::HelpText(c));

        const ToolRun unknown = Cli(std::string(c.name) + " X --no-such-option");
        EXPECT_EQ(unknown.status, 1);
        EXPECT_EQ(unknown.err, "quillon-cli: unknown option --no-such-option\n");
        EXPECT_TRUE(unknown.out.empty());
    }
    // Arguments missing: the usage line, status 1.
    const ToolRun bare = Cli("audio");
    EXPECT_EQ(bare.status, 1);
    EXPECT_EQ(bare.err, "quillon-cli: usage: quillon-cli " + cli::Usage(cli::AudioCommand()) + "\n");
    EXPECT_EQ(Cli("records a.img b.img").status, 1);
}

TEST_F(CliCommandsTest, ADiskArgumentIsATableOfItsOwnAndLeavesTheProcessTableAlone)
{
    const std::string image = dir.File("demo.img");
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::DemoPlan(), image)));
    platform::SetDriveImages({});
    disk::RecorderVolume volume;
    const auto loaded = cli::LoadVolume(image, volume);
    ASSERT_TRUE(loaded) << loaded.Detail();
    EXPECT_TRUE(platform::DriveImages().empty()) << "the DISK argument set the process-wide drive table";
    EXPECT_NE(platform::DrivePath(0), image);
    EXPECT_GT(volume.RecordCount(), 0u);

    const auto resolved = cli::ResolveDrive(image);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->driveNumber, 0);
    EXPECT_EQ(resolved->table.Path(0), image);
    EXPECT_EQ(resolved->table.Path(-1), "");
    EXPECT_EQ(resolved->table.Path(platform::kMaxDrives), "");
    const auto missing = cli::ResolveDrive(dir.File("missing.img"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.Failure().kind, platform::ErrorKind::NotFound);
    EXPECT_EQ(missing.Detail(), "no such disk image or drive: " + dir.File("missing.img"));
}

// A volume handed over loaded (the report's, for each bookmark) is neither
// loaded again nor scanned again: a recovered recording is found among what
// its scan found already. Here that scan's finding goes by an id no scan of
// the disk gives, so it opens only if the scan is not made again.
TEST_F(CliCommandsTest, ALoadedAndScannedVolumeIsNotLoadedOrScannedAgain)
{
    const std::string image = dir.File("recover.img");
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::RecoverDemoPlan(), image)));
    disk::RecorderVolume listed;
    ASSERT_TRUE(cli::LoadVolume(image, listed));
    auto scanned = cli::ScanLoadedVolume(listed);
    ASSERT_TRUE(scanned) << scanned.Detail();
    ASSERT_NE((*scanned)->RecoveryFound(), nullptr);
    disk::Recovery renamed = *(*scanned)->RecoveryFound();
    ASSERT_FALSE(renamed.recordings.empty());
    const std::string kept = renamed.recordings[0].id;
    renamed.recordings[0].id = "c99";
    const auto shared =
        disk::Volume::WithRecovery(listed.Shared(), std::make_shared<const disk::Recovery>(std::move(renamed)));
    ASSERT_TRUE(shared);

    const cli::Command still = cli::StillCommand();
    for (const std::string& id : {std::string("c99"), kept, std::string("1")}) {
        SCOPED_TRACE(id);
        cli::Options options;
        // The DISK named is no disk at all: it is not loaded.
        ASSERT_TRUE(options.Parse(still, {dir.File("not-loaded.img"), "--record", id, "--at", "0", "-o", "-"}))
            << options.error;
        disk::RecorderVolume volume;
        volume.Attach(shared);
        const auto opened = cli::LoadRecord(options, volume);
        if (id == kept) {
            EXPECT_FALSE(opened) << "found again by a second scan";
            continue;
        }
        ASSERT_TRUE(opened) << opened.Detail();
        EXPECT_GT(volume.SegmentCount(), 0u);
        EXPECT_EQ(volume.Shared(), shared);
    }
}

}  // namespace
