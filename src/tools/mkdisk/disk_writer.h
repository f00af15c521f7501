#pragma once
// Writes a whole recorder disk image from a plan, streaming one second at a time.
#include <string>

#include "tools/mkdisk/disk_plan.h"
#include "tools/mkdisk/manifest.h"

namespace mkdisk {

// Creates or truncates `path` (never a block device). Same plan, same bytes.
// When `manifest` is given it receives what was written where. Fails Refused
// for a plan or a path it will not write, WriteFailed when a write or the
// encoder failed; a half-written image is removed then.
platform::Result<void> WriteDisk(const DiskPlan& plan, const std::string& path, Manifest* manifest = nullptr);

// The record-table entry that WriteDisk writes for a record of the plan.
RecordHeader HeaderFor(const DiskPlan& plan, const RecordPlan& record);

}  // namespace mkdisk
