#include "tools/cli/commands.h"

namespace cli {

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        DisksCommand(),       RecordsCommand(),    RecoverCommand(),      ActivityCommand(),  TimelineCommand(),
        LocateCommand(),      AudioCommand(),      FramesCommand(),       PlayCommand(),      StillCommand(),
        SnapshotCommand(),    ExportCommand(),     VerifyCommand(),       HashCommand(),      ConvertCommand(),
        SkinPreviewCommand(), CaseCreateCommand(), CaseBookmarkCommand(), CaseClockCommand(), CaseHashCommand(),
        CaseShowCommand(),    ReportCommand(),
    };
    return commands;
}

Argument DeclareDisk() { return {"DISK", "a recorder disk: an image (raw, split or E01) or a drive number 0 to 9"}; }

Option DeclareRecord()
{
    return {.name = "--record",
            .value = "N",
            .help = "the record, from 1, or a recovered recording's id (u1, i1, c1;\n"
                    "the disk is scanned for it first)",
            .required = true,
            .whenMissing = "--record N is required"};
}

Option DeclareView() { return {"--view", "quad|1..4", "the quad view (default) or one camera"}; }

}  // namespace cli
