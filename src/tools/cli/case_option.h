#pragma once
// --case CASE on the commands whose work an examination keeps (export,
// activity): the case is opened and checked against the disk the command
// loaded before any work is done, and what was made is added once it is
// made. A command whose result could not be added to its case fails: the
// result stays, the case is not silently left without it.
#include <optional>

#include "casefile/case_file.h"
#include "disk/recorder_volume.h"
#include "platform/error.h"
#include "tools/cli/command.h"
#include "tools/cli/options.h"

namespace cli {

Option DeclareCaseOption();

// Nothing when --case is absent; otherwise the case, refused when it is no
// case or names another disk than the loaded volume's.
platform::Result<std::optional<casefile::CaseFile>> OpenCaseOption(Options& options,
                                                                   const disk::RecorderVolume& volume);

}  // namespace cli
