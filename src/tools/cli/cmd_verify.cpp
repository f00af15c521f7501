// quillon-cli verify: an export checked against its report. Every sector
// range the report lists is read again from the disk and hashed, and the
// file the report sits beside (X for X.report.json) is hashed; one line per
// check, then a summary. Exit status 0 only when everything matches and the
// export was complete, 2 when everything matches but the report says the
// export is incomplete, 1 for any mismatch, anything left unchecked or a
// report refused.

#include <cstdio>
#include <filesystem>
#include <string>

#include "evidence/activity_document.h"
#include "evidence/digest.h"
#include "evidence/export_check.h"
#include "evidence/export_report.h"
#include "evidence/range_hasher.h"
#include "evidence/report_reader.h"
#include "tools/cli/activity_run.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/progress_bar.h"
#include "tools/cli/volume_arg.h"

namespace cli {

namespace {

constexpr int kIncomplete = 2;

// The summary after the check lines; the exit status.
int PrintSummary(const evidence::ExportCheck& check)
{
    const int failures = check.Failures();
    if (failures == 0 && check.complete) {
        std::printf("summary\t%d checks\tall match\n", check.Checks());
        return 0;
    }
    if (failures == 0) {
        std::printf("summary\t%d checks\tbytes match\tINCOMPLETE export: %s\n", check.Checks(), check.why.c_str());
        std::fprintf(stderr, "quillon-cli: the bytes match their report, but the export is incomplete: %s\n",
                     check.why.c_str());
        return kIncomplete;
    }
    std::printf("summary\t%d checks\t%d failed\tfirst: %s\n", check.Checks(), failures, check.FirstFailure().c_str());
    return Fail("verification failed; first mismatch: " + check.FirstFailure());
}

// The disk the export read, as it was opened then, and whether the disk
// given now is that very file or device unchanged (a copy is not: its
// hashes still decide). Said, not counted as a check.
void PrintSource(const evidence::ReportToCheck& report, const disk::RawDisk& raw)
{
    if (report.format < 2) {
        std::printf("source\t%s\tthe report (format %d) keeps no identity of the disk\n", report.diskPath.c_str(),
                    report.format);
        return;
    }
    const platform::DriveIdentity& then = report.sourceIdentity;
    std::printf("source\t%s\t%s\n", then.path.c_str(), platform::IdentityText(then).c_str());
    for (std::size_t i = 1; i < then.files.size(); ++i)
        std::printf("source piece\t%s\n", then.files[i].c_str());
    if (!raw.IsOpen())
        return;
    const platform::DriveIdentity& now = raw.Drive().Identity();
    std::printf("disk now\t%s\t%s\n", platform::SameIdentity(then, now) ? "the same" : "another or changed",
                platform::IdentityText(now).c_str());
}

// An activity document: the search run again from what it names, on the
// disk it names (or --disk), and its events compared, line by line and by
// their SHA-256.
int VerifyActivity(Options& options, const std::string& text)
{
    const auto parsed = evidence::ParseActivityDocument(text);
    if (!parsed)
        return Fail(parsed.Detail());
    const evidence::ActivityDocument& document = *parsed;
    const auto request = RequestOf(document);
    if (!request)
        return Fail("the activity document's parameters cannot be searched with: " + request.Detail());
    std::printf("activity\t%s\t%zu records\t%zu events\n", document.mode.c_str(), document.records.size(),
                document.events.size());
    const std::string listedSha = evidence::ActivityEventsSha256(document.events);
    if (listedSha.empty())
        return Fail("libcrypto could not hash the events");
    const bool intact = listedSha == document.eventsSha256;
    std::printf("document\t%s\tevents_sha256 %s the events it lists\n", intact ? "ok" : "MISMATCH",
                intact ? "is that of" : "is not that of");

    disk::RecorderVolume volume;
    if (const auto loaded = LoadVolume(options.Value("--disk").value_or(document.diskPath), volume); !loaded)
        return Fail(loaded.Detail());
    std::vector<uint32_t> records;
    for (const std::string& name : document.records) {
        if (IsRecoveredId(name) && !volume.Shared()->RecoveryFound()) {
            auto scanned = ScanLoadedVolume(volume);
            if (!scanned)
                return Fail(scanned.Detail());
            volume.Attach(*scanned);
        }
        uint32_t record = 0;
        if (!volume.Shared()->FindRecording(name, record))
            return Fail("the disk has no record " + name + " to search again");
        records.push_back(record);
    }
    const auto found = SearchRecords(volume, records, *request, false);
    if (!found)
        return Fail(found.Detail());
    const std::vector<evidence::ActivityDocumentEvent> again = DocumentEvents(*found);
    size_t same = 0;
    while (same < again.size() && same < document.events.size() && again[same] == document.events[same])
        ++same;
    const bool match = same == again.size() && same == document.events.size();
    const std::string againSha = evidence::ActivityEventsSha256(again);
    std::printf("events\t%s\t%zu found again, %zu listed%s\n", match ? "ok" : "MISMATCH", again.size(),
                document.events.size(),
                match ? "" : (", the first difference at event " + std::to_string(same + 1)).c_str());
    std::printf("events_sha256\t%s\t%s\n", againSha == document.eventsSha256 ? "ok" : "MISMATCH", againSha.c_str());
    if (!intact || !match || againSha != document.eventsSha256)
        return Fail("the search again does not find what the document lists");
    std::printf("summary\t3 checks\tall match\n");
    return 0;
}

int Run(Options& options)
{
    const std::string reportPath = options.positional[0];
    const auto read = evidence::ReadReportText(reportPath);
    if (!read)
        return Fail(read.Detail());
    const std::string& text = *read;
    // An activity document has no output beside it, and its events' digest.
    if (!reportPath.ends_with(evidence::kReportSuffix) && text.find("\"events_sha256\"") != std::string::npos)
        return VerifyActivity(options, text);
    // The report belongs to the file it sits beside: X for X.report.json.
    const std::string suffix = evidence::kReportSuffix;
    const std::string reportName = std::filesystem::path(reportPath).filename().string();
    if (reportName.size() <= suffix.size() || !reportName.ends_with(suffix))
        return Fail("a report is named after its output, OUTPUT" + suffix + ", beside it: " + reportPath);
    const auto parsed = evidence::ParseReport(text);
    if (!parsed)
        return Fail(parsed.Detail());
    const evidence::ReportToCheck& report = *parsed;

    std::printf("export\t%s\t%s\n", report.complete ? "complete" : "INCOMPLETE",
                report.complete ? report.end.c_str() : (report.end + ": " + report.reason).c_str());
    if (!report.recoveredId.empty())
        std::printf("recording\t%s\trecovered (%s): the record table does not list it\n", report.recoveredId.c_str(),
                    report.recoveredSource.c_str());
    if (!report.activityEvent.empty())
        std::printf("activity event\t%s\n", report.activityEvent.c_str());
    if (!report.timeRange.empty())
        std::printf("time range\t%s\n", report.timeRange.c_str());
    for (const std::string& part : report.rangeParts)
        std::printf("range part\t%s\n", part.c_str());
    ProgressBar bar("verify");
    const std::string diskArg = options.Value("--disk").value_or(report.diskPath);
    disk::RawDisk raw;
    const auto disk = ResolveDrive(diskArg);
    const bool opened = disk && raw.Open(disk->table, disk->driveNumber);
    PrintSource(report, raw);
    // Each line as it is checked, the bar taken off its line first.
    const evidence::ExportCheck check = evidence::CheckExport(
        report, reportPath, opened ? &raw : nullptr, diskArg,
        [&bar](uint64_t done, uint64_t total) { bar.Update(done, total); },
        [&bar](const evidence::ExportCheckLine& line) {
            bar.Clear();
            std::printf("%s\t%s\t%s\n", line.what.c_str(), evidence::VerdictText(line.verdict), line.detail.c_str());
        });
    bar.Done();
    return PrintSummary(check);
}

}  // namespace

Command VerifyCommand()
{
    return {.name = "verify",
            .summary = "an export checked against its report, range by range, or an activity search run again",
            .description = "Checks an export against its report: every sector range the report lists is read again\n"
                           "and hashed, and the file the report sits beside (X for X.report.json, which must be the\n"
                           "output the report names) is hashed. One line per check ('what', ok, MISMATCH or\n"
                           "UNCHECKED, detail), then a summary. A progress bar with the time left shows on a\n"
                           "terminal. A report that is damaged or edited (not JSON, a field missing, twice or of\n"
                           "the wrong type) is refused unchecked.\n"
                           "An activity document (quillon-cli activity --json) is searched again from the parameters\n"
                           "it names, on the disk it names or DISK: its events and their SHA-256 must be the same.\n"
                           "\n"
                           "Exit status:\n"
                           "  0    every check matches and the export was complete\n"
                           "  1    a mismatch, something left unchecked (no output, a range without a hash), a\n"
                           "       disk or file that cannot be read, or a refused report\n"
                           "  2    every check matches, but the report says the export is incomplete\n",
            .arguments = {{"REPORT", "the export's report, OUTPUT.report.json beside OUTPUT, or an activity document"}},
            .options = {{"--disk", "DISK", "read this disk instead of the one the report names"}},
            .run = Run};
}

}  // namespace cli
