#include "evidence/export_check.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "evidence/digest.h"
#include "evidence/export_report.h"

namespace evidence {

using Verdict = ExportCheckLine::Verdict;

platform::Result<std::string> ReadReportText(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return platform::Error{platform::ErrorKind::NotFound, "no such report: " + path};
    if (static_cast<uint64_t>(info.st_size) > kMaxReportBytes)
        return platform::Error{platform::ErrorKind::Damaged,
                               "damaged or edited report: larger than any report this program writes"};
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    if (!in && !in.eof())
        return platform::Error{platform::ErrorKind::ReadFailed, "cannot read the report " + path};
    return s.str();
}

const char* VerdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Ok: return "ok";
    case Verdict::Mismatch: return "MISMATCH";
    case Verdict::Unchecked: return "UNCHECKED";
    case Verdict::Lost: return "LOST";
    }
    return "MISMATCH";
}

int ExportCheck::Checks() const
{
    int count = 0;
    for (const ExportCheckLine& line : lines)
        count += line.verdict == Verdict::Lost ? 0 : 1;
    return count;
}

int ExportCheck::Failures() const
{
    int count = 0;
    for (const ExportCheckLine& line : lines)
        count += line.verdict == Verdict::Mismatch || line.verdict == Verdict::Unchecked ? 1 : 0;
    return count;
}

std::string ExportCheck::FirstFailure() const
{
    for (const ExportCheckLine& line : lines)
        if (line.verdict == Verdict::Mismatch || line.verdict == Verdict::Unchecked)
            return line.what + ": " + line.detail;
    return {};
}

platform::Result<std::string> OutputBesideReport(const std::string& reportPath)
{
    const std::string suffix = kReportSuffix;
    const std::string reportName = std::filesystem::path(reportPath).filename().string();
    if (reportName.size() <= suffix.size() || !reportName.ends_with(suffix))
        return platform::Error{platform::ErrorKind::Refused,
                               "a report is named after its output, OUTPUT" + suffix + ", beside it: " + reportPath};
    return reportPath.substr(0, reportPath.size() - suffix.size());
}

namespace {

// The work of a verification in sectors: the ranges to read again and the
// output to hash. Saturating: the counts come from the report.
uint64_t WorkSectors(const ReportToCheck& report)
{
    uint64_t total = report.hasOutput ? report.outputBytes / disk::kSectorBytes : 0;
    for (const CheckedRange& range : report.ranges)
        total = range.sectorCount > UINT64_MAX - total ? UINT64_MAX : total + range.sectorCount;
    return total;
}

std::string Sectors(const CheckedRange& r)
{
    return "sectors " + std::to_string(r.firstSector) + " to " + std::to_string(r.firstSector + r.sectorCount - 1);
}

}  // namespace

ExportCheck CheckExport(const ReportToCheck& report, const std::string& reportPath, disk::RawDisk* disk,
                        const std::string& diskName, const HashProgress& progress, const CheckLineSink& sink)
{
    ExportCheck check;
    const auto add = [&check, &sink](ExportCheckLine made) {
        check.lines.push_back(std::move(made));
        if (sink)
            sink(check.lines.back());
    };
    check.complete = report.complete;
    check.why = report.end + (report.reason.empty() ? "" : ": " + report.reason);
    const auto line = [&add](const std::string& what, bool ok, const std::string& detail) {
        add({what, ok ? Verdict::Ok : Verdict::Mismatch, detail});
    };
    const uint64_t work = WorkSectors(report);
    uint64_t worked = 0;
    if (!disk || !disk->IsOpen()) {
        line("disk", false, "cannot open " + diskName + " for reading");
    } else {
        const uint64_t bytes = disk->SectorCount() * disk::kSectorBytes;
        line("disk size", bytes == report.diskBytes,
             diskName + ": " + std::to_string(bytes) + " bytes" +
                 (bytes == report.diskBytes ? "" : ", the report says " + std::to_string(report.diskBytes)));
        RangeHasher hasher;
        for (const CheckedRange& range : report.ranges) {
            if (range.firstSector + range.sectorCount > disk->SectorCount()) {
                line(range.what, false, Sectors(range) + " lie past the disk's end");
                continue;
            }
            const SectorRun run{range.firstSector, range.sectorCount};
            const auto tell = [&](uint64_t done, uint64_t) {
                if (progress)
                    progress(worked + done, work);
            };
            const auto hashed = hasher.Hash(*disk, std::span(&run, 1), false, tell);
            worked += range.sectorCount;
            if (!hashed) {
                line(range.what, false, Sectors(range) + ": " + hashed.Detail());
                continue;
            }
            const bool same = hashed->total.sha256 == range.sha256;
            line(range.what, same,
                 Sectors(range) +
                     (same ? "" : ": sha256 " + hashed->total.sha256 + ", the report says " + range.sha256));
        }
    }

    // A second the export could not read is not in the output: the export
    // is incomplete however its bytes check, and a report that lists one yet
    // calls itself complete contradicts itself.
    for (const std::string& lost : report.lostSeconds) {
        if (report.complete)
            line("lost second", false, lost + " (the report says the export is complete)");
        else
            add({"lost second", Verdict::Lost, lost + " (not read when exported)"});
    }

    for (const std::string& what : report.unhashed)
        add({what, Verdict::Unchecked, "the report has no hash for it (unreadable when the export was made)"});

    const std::string reportName = std::filesystem::path(reportPath).filename().string();
    const auto outputPath = OutputBesideReport(reportPath);
    const std::string outputName =
        outputPath ? std::filesystem::path(*outputPath).filename().string() : std::string("(none)");
    if (!report.hasOutput) {
        add({"output " + outputName, Verdict::Unchecked, "the report names no output file"});
    } else if (!outputPath) {
        line("output name", false, outputPath.Detail());
    } else {
        if (report.outputFile != outputName)
            line("output name", false, "the report is for " + report.outputFile + ", but sits beside " + outputName);
        const auto hashed = HashFile(*outputPath);
        if (progress)
            progress(work, work);
        if (!hashed) {
            line("output " + outputName, false, "missing or unreadable: " + hashed.Detail());
        } else {
            const std::string& sha = hashed->sha256;
            const std::string& md5 = hashed->md5;
            const uint64_t size = hashed->sizeBytes;
            std::string detail = std::to_string(size) + " bytes";
            if (size != report.outputBytes)
                detail += ", the report says " + std::to_string(report.outputBytes);
            if (sha != report.outputSha256)
                detail += "; sha256 " + sha + ", the report says " + report.outputSha256;
            if (md5 != report.outputMd5)
                detail += "; md5 " + md5 + ", the report says " + report.outputMd5;
            line("output " + outputName,
                 size == report.outputBytes && sha == report.outputSha256 && md5 == report.outputMd5, detail);
        }
    }
    return check;
}

}  // namespace evidence
