#pragma once
// An export checked against its report: every sector range the report
// lists read again from the disk and hashed, the lost seconds and the
// ranges without a hash told, and the output the report sits beside hashed.
// quillon-cli verify prints it; the case report states it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "disk/raw_disk.h"
#include "evidence/range_hasher.h"
#include "evidence/report_reader.h"
#include "platform/error.h"

namespace evidence {

// The report's text, refused unread when it is no regular file or larger
// than any report this program writes.
platform::Result<std::string> ReadReportText(const std::string& path);

struct ExportCheckLine {
    enum class Verdict { Ok, Mismatch, Unchecked, Lost };
    std::string what;  // "disk size", "sector 0", "output x.mkv", "lost second"
    Verdict verdict = Verdict::Ok;
    std::string detail;
};

// "ok", "MISMATCH", "UNCHECKED", "LOST".
const char* VerdictText(ExportCheckLine::Verdict verdict);

struct ExportCheck {
    std::vector<ExportCheckLine> lines;  // in the order checked
    bool complete = false;               // what the report says of the export
    std::string why;                     // the report's end and reason

    // Lines that are checks (a lost second the report admits is told, not
    // counted).
    int Checks() const;
    int Failures() const;
    // "what: detail" of the first failed check; empty when none failed.
    std::string FirstFailure() const;
    // Every check matches and the export was complete.
    bool AllMatch() const { return Failures() == 0 && complete; }
};

// The report's output file beside it: X for X.report.json. Fails when the
// report is not named after an output.
platform::Result<std::string> OutputBesideReport(const std::string& reportPath);

// Told of each line as soon as it is made (a caller prints while the rest
// is checked).
using CheckLineSink = std::function<void(const ExportCheckLine& line)>;

// report (read from reportPath) checked against disk: null when the disk
// (diskName) could not be opened, which is a failed check, never a skipped
// one.
ExportCheck CheckExport(const ReportToCheck& report, const std::string& reportPath, disk::RawDisk* disk,
                        const std::string& diskName, const HashProgress& progress, const CheckLineSink& sink = {});

}  // namespace evidence
