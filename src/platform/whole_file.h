#pragma once
// A file written whole or not at all. The writer fills a temporary file in
// the target's folder, which is renamed to the target only once every byte
// is written and on the disk; on any failure the temporary file is removed
// and the target is left as it was. A target that exists and is not a
// regular file (a device, a FIFO) is refused before anything is written.
#include <functional>
#include <string>

#include "platform/error.h"

namespace platform {

// Writes one file under the given name; false when any of it failed.
using FileWriter = std::function<bool(const std::string& path)>;

// Fails (Refused: no name, or not a regular file; WriteFailed: any write,
// sync or rename) when the file could not be written whole; nothing is left
// under the temporary name then. The temporary name ends in the target's
// extension, for writers that choose the format by it.
Result<void> WriteWholeFile(const std::string& path, const FileWriter& write);

}  // namespace platform
