#pragma once
// Reads an export report back for checking. Everything in it is untrusted:
// a damaged or hand-edited report is refused with a reason, never trusted
// half-way.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drive_identity.h"
#include "platform/error.h"

namespace evidence {

// Reports larger than this are refused unread.
constexpr std::size_t kMaxReportBytes = 64u << 20;

struct CheckedRange {
    std::string what;  // "sector 0", "record table", "record index", "read at position 7"
    uint64_t firstSector = 0;
    uint64_t sectorCount = 0;
    std::string sha256;
};

struct ReportToCheck {
    std::string diskPath;  // the absolute path when there is one, else the path
    uint64_t diskBytes = 0;
    int format = 0;  // report_format: 1 names no source identity, stream header or sound reads
    bool complete = false;
    std::string end, reason;
    std::vector<CheckedRange> ranges;  // in the report's order
    // Ranges the report lists without a hash (unreadable when it was
    // written): nothing to check them against.
    std::vector<std::string> unhashed;
    // "position 7: sectors ... could not be read": seconds the export could
    // not read (none in reports without the list).
    std::vector<std::string> lostSeconds;
    // A recording the record table no longer lists: its id ("u2") and where
    // the recovery scan found it ("table slot", "index run", "carved");
    // both empty for a listed record (and in reports without them).
    std::string recoveredId, recoveredSource;
    // The disk as it was opened for the export (source.identity).
    platform::DriveIdentity sourceIdentity;
    // The activity event the export was made from (activity_event), in one
    // line: "record 1, camera 2, positions 14 to 20, exact"; empty when the
    // report names none. Its span holds the segment's marks.
    std::string activityEvent;
    // An export by time (time_range): "FROM to TO", and its pieces in time
    // order, one line each ("record 2\tpositions 0 to 4, 2006/03/16 00:00:00
    // to ..." or "gap\t2006/03/15 10:00:06 to ...: no record holds these
    // seconds"); empty for a single record's export. Its reads are named
    // with their record in `ranges`.
    std::string timeRange;
    std::vector<std::string> rangeParts;
    bool hasOutput = false;
    std::string outputFile;
    uint64_t outputBytes = 0;
    std::string outputSha256, outputMd5;
};

// Fails (Damaged, saying what) when the text is not a report this program wrote:
// not JSON, a field missing or of the wrong type, a number out of range, a
// hash that is not hex of the right length, a file name with a folder in it,
// a key given twice in one object.
platform::Result<ReportToCheck> ParseReport(std::string_view text);

}  // namespace evidence
