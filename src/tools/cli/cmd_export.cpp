// quillon-cli export: what "output" writes, headless. The record is opened and
// the view chosen as the program's window would; the program's own exporter
// and worker thread write the file. Ctrl+C stops the export as "Stop" does:
// the file is closed properly.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "evidence/activity_document.h"
#include "evidence/digest.h"
#include "evidence/export_report.h"
#include "export/export_progress.h"
#include "export/segment_exporter.h"
#include "export/time_range_plan.h"
#include "tools/cli/activity_run.h"
#include "tools/cli/case_option.h"
#include "tools/cli/commands.h"
#include "tools/cli/headless_engine.h"
#include "tools/cli/options.h"
#include "tools/cli/progress_bar.h"
#include "tools/cli/volume_arg.h"

namespace cli {

namespace {

class TerminalProgress : public exporter::ExportProgress {
public:
    void Show() override { bar.Draw(0, -1); }
    void Hide() override { bar.Done(); }
    void SetProgress(int percent, const std::string&, const std::string& timeLeft) override
    {
        bar.Draw(percent, std::strtol(timeLeft.c_str(), nullptr, 10));
    }

private:
    ProgressBar bar{"export"};
};

exporter::ExportProgress* interrupted = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

extern "C" void StopOnSignal(int)
{
    if (interrupted)
        interrupted->RequestStop();
}

const char* EndName(exporter::ExportOutcome::End end)
{
    using End = exporter::ExportOutcome::End;
    switch (end) {
    case End::Completed: return "completed";
    case End::Stopped: return "stopped";
    case End::RecordEnded: return "record-ended";
    case End::NothingRead: return "nothing-read";
    case End::WriteFailed: return "write-failed";
    case End::ReadFailed: return "read-failed";
    }
    return "?";
}

// Activity documents are a few kilobytes; this is far past any.
constexpr uint64_t kMaxDocumentBytes = 64u << 20;

// --event DOCUMENT:N: the N-th event (from 1) the activity document lists,
// named as the report names it. The document is read as verify reads it:
// a damaged or edited one is refused with the reason.
platform::Result<evidence::ActivityEventReport> ChosenEvent(const std::string& value)
{
    using platform::Error;
    using platform::ErrorKind;
    const size_t colon = value.rfind(':');
    const std::string path = colon == std::string::npos ? value : value.substr(0, colon);
    const std::string number = colon == std::string::npos ? std::string() : value.substr(colon + 1);
    if (path.empty() || number.empty() || number.size() > 9 ||
        number.find_first_not_of("0123456789") != std::string::npos || std::stoul(number) == 0)
        return Error{ErrorKind::Refused, "--event takes ACTIVITY.json:N, N the event's number from 1: " + value};
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return Error{ErrorKind::NotFound, "no such activity document: " + path};
    if (static_cast<uint64_t>(info.st_size) > kMaxDocumentBytes)
        return Error{ErrorKind::Damaged, "damaged or edited activity document: larger than any this program writes"};
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof())
        return Error{ErrorKind::ReadFailed, "cannot read the activity document " + path};
    const auto document = evidence::ParseActivityDocument(text.str());
    if (!document)
        return document.Failure();
    const auto request = RequestOf(*document);
    if (!request)
        return Error{ErrorKind::Damaged, "the activity document's parameters: " + request.Detail()};
    const size_t index = std::stoul(number);
    if (index > document->events.size())
        return Error{ErrorKind::Refused, "the activity document lists " + std::to_string(document->events.size()) +
                                             " events, not " + number};
    const evidence::ActivityDocumentEvent& e = document->events[index - 1];
    evidence::ActivityEventReport event;
    event.record = e.record;
    event.camera = e.camera;
    event.beginPosition = e.begin;
    event.endPosition = e.end;
    event.peak = e.peak;
    event.mode = document->mode;
    event.parameters = playback::Describe(request->parameters);
    return event;
}

int Export(Options& options, const std::optional<evidence::ActivityEventReport>& event,
           const exporter::TimeRangePlan* range = nullptr);

// With --from-time and --to-time: the seconds of every record within the
// range, in time order, into one file; the seconds no record holds as
// seconds without picture. The plan's first record is opened at its first
// position, with the view and the options given.
int RunTimeRange(Options& options)
{
    if (options.Has("--record") || options.Has("--from") || options.Has("--to") || options.Has("--event"))
        return Fail("--from-time and --to-time choose the records themselves: give them without --record, --from, "
                    "--to and --event");
    if (!options.Has("--from-time") || !options.Has("--to-time"))
        return Fail("an export by time needs both --from-time and --to-time");
    disk::ClockSeconds bounds[2];
    const char* names[2] = {"--from-time", "--to-time"};
    for (int i = 0; i < 2; ++i) {
        const std::string text = *options.Value(names[i]);
        const auto parsed = disk::ParseClockTime(text);
        if (!parsed)
            return Fail(std::string(names[i]) + " must be a time \"YYYY-MM-DD HH:MM:SS\", not \"" + text + "\"");
        bounds[i] = *parsed;
    }
    exporter::ExportMode mode{};
    if (!exporter::ExportModeFor(*options.Value("-o"), mode))
        return Fail("the output name must end in .mpg, .avi, .mkv or .mp4 (lower case): " + *options.Value("-o"));
    if (mode == exporter::ExportMode::Master)
        return Fail("the master (.mkv) holds one record's frames: export a time range as .mpg, .avi or .mp4, or "
                    "each record's part on its own with --record");
    disk::RecorderVolume volume;
    if (const auto loaded = LoadVolume(options.positional.at(0), volume); !loaded)
        return Fail(loaded.Detail());
    const disk::VolumeRecords records = disk::ReadRecords(volume);
    auto plan = exporter::PlanTimeRange(records.placed, bounds[0], bounds[1]);
    if (!plan)
        return Fail(plan.Detail());
    const auto first = std::find_if(plan->pieces.begin(), plan->pieces.end(),
                                    [](const exporter::TimePiece& piece) { return !piece.gap; });
    std::vector<std::string> words = {options.positional.at(0),
                                      "--record",
                                      std::to_string(first->record + 1),
                                      "--from",
                                      std::to_string(first->firstPosition),
                                      "--to",
                                      std::to_string(first->lastPosition),
                                      "-o",
                                      *options.Value("-o")};
    for (const char* name : {"--view", "--case"})
        if (const auto value = options.Value(name)) {
            words.push_back(name);
            words.push_back(*value);
        }
    if (options.Has("--keep-going"))
        words.push_back("--keep-going");
    Args args(words.begin(), words.end());
    Options chosen;
    if (!chosen.Parse(ExportCommand(), args))
        return Fail(chosen.error);
    return Export(chosen, std::nullopt, &*plan);
}

// With --event: the export of the event's record from its first to its
// last position in its camera's view (unless --view says otherwise), as if
// they had been given.
int RunEvent(Options& options)
{
    if (options.Has("--record") || options.Has("--from") || options.Has("--to"))
        return Fail("--event names the record and the positions: give it without --record, --from and --to");
    auto event = ChosenEvent(*options.Value("--event"));
    if (!event)
        return Fail(event.Detail());
    const std::vector<std::string> words = {options.positional.at(0),
                                            "--record",
                                            event->record,
                                            "--from",
                                            std::to_string(event->beginPosition),
                                            "--to",
                                            std::to_string(event->endPosition),
                                            "--view",
                                            options.Value("--view").value_or(std::to_string(event->camera)),
                                            "-o",
                                            *options.Value("-o")};
    Args args(words.begin(), words.end());
    if (options.Has("--keep-going"))
        args.push_back("--keep-going");
    Options chosen;
    if (!chosen.Parse(ExportCommand(), args))
        return Fail(chosen.error);
    return Export(chosen, *event);
}

int Run(Options& options)
{
    if (options.Has("--from-time") || options.Has("--to-time"))
        return RunTimeRange(options);
    if (options.Has("--event"))
        return RunEvent(options);
    if (!options.Has("--record") || !options.Has("--from") || !options.Has("--to"))
        return Fail("usage: quillon-cli " + Usage(ExportCommand()) +
                    " (--record, --from and --to, or --event, or --from-time and --to-time)");
    return Export(options, std::nullopt);
}

int Export(Options& options, const std::optional<evidence::ActivityEventReport>& event,
           const exporter::TimeRangePlan* range)
{
    const auto out = options.Value("-o");
    exporter::ExportMode mode{};
    if (!exporter::ExportModeFor(*out, mode))
        return Fail("the output name must end in .mpg, .avi, .mkv or .mp4 (lower case): " + *out);
    int64_t to = 0;
    if (!options.Number("--to", 0, INT32_MAX - 2, 0, to))
        return Fail(options.error);
    disk::RecorderVolume volume;
    HeadlessEngine player(false);
    if (const auto opened = player.OpenFromOptions(options, volume, "--from"); !opened)
        return Fail(opened.Detail());
    auto& engine = player.Engine();
    const int from = engine.Position();
    if (to < from)
        return Fail("--to (" + std::to_string(to) + ") lies before --from (" + std::to_string(from) + ")");
    auto kase = OpenCaseOption(options, volume);
    if (!kase)
        return Fail(kase.Detail());

    TerminalProgress progress;
    exporter::ExportOutcome outcome;
    exporter::SegmentExporter exporter(engine, progress, [&outcome](const exporter::ExportOutcome& o) { outcome = o; });
    exporter.SetReportVolume(&volume);
    exporter.SetKeepGoing(options.Has("--keep-going"));
    if (event) {
        evidence::ActivityEventReport named = *event;
        named.beginTime = engine.StampAt(static_cast<int>(named.beginPosition)).Text();
        named.endTime = engine.StampAt(static_cast<int>(named.endPosition)).Text();
        exporter.SetReportEvent(named);
    }
    const bool prepared = range ? exporter.PrepareTimeRange(*out, from, *range, mode)
                                : exporter.PrepareExport(*out, from, from, static_cast<int>(to), mode);
    if (!prepared)
        return Fail(exporter.LastError());
    interrupted = &progress;
    std::signal(SIGINT, StopOnSignal);
    std::signal(SIGTERM, StopOnSignal);
    exporter.StartWorker();
    exporter.Wait();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    interrupted = nullptr;

    using End = exporter::ExportOutcome::End;
    if (outcome.end == End::WriteFailed || outcome.end == End::ReadFailed) {
        // An error leaves no file: neither the broken output nor its report.
        std::error_code ignored;
        std::filesystem::remove(*out, ignored);
        if (!outcome.reportPath.empty())
            std::filesystem::remove(outcome.reportPath, ignored);
        return Fail(outcome.error.empty() ? "cannot write " + *out : outcome.error);
    }
    if (outcome.end == End::NothingRead)
        return Fail("nothing could be read at position " + std::to_string(from));
    // An export without its report cannot be checked later: a failure.
    if (!outcome.reportError.empty()) {
        std::printf("%s\t%lld\t%d\t%d\t%s\n", out->c_str(), static_cast<long long>(outcome.framesWritten),
                    outcome.firstPosition, outcome.lastPosition, EndName(outcome.end));
        return Fail("the export was written but not its report: " + outcome.reportError);
    }
    for (const std::string& empty : outcome.emptySeconds)
        std::fprintf(stderr, "quillon-cli: the disk holds no frames for %s: written without picture\n", empty.c_str());
    for (const std::string& lost : outcome.lostSeconds)
        std::fprintf(stderr, "quillon-cli: a second could not be read (the report lists it): %s\n", lost.c_str());
    for (const exporter::UndecodedPictures& pictures : outcome.undecoded)
        std::fprintf(stderr, "quillon-cli: read but not decoded (a damaged frame; written without picture): %s\n",
                     exporter::UndecodedText(pictures).c_str());
    if (range) {
        // An export by time: its range, and each second no listed record holds.
        for (const exporter::TimePiece& piece : range->pieces)
            if (piece.gap)
                std::fprintf(stderr, "quillon-cli: no listed record holds %s to %s: written without picture\n",
                             disk::FormatClockTime(piece.from).c_str(), disk::FormatClockTime(piece.to).c_str());
        if (outcome.end == End::RecordEnded)
            std::fprintf(stderr, "quillon-cli: a record ended before its part of the range; the report says where\n");
        std::printf("%s\t%lld\t%s\t%s\t%s\n", out->c_str(), static_cast<long long>(outcome.framesWritten),
                    disk::FormatClockTime(range->from).c_str(), disk::FormatClockTime(range->to).c_str(),
                    EndName(outcome.end));
    } else {
        if (outcome.end == End::RecordEnded && outcome.lastPosition < to)
            std::fprintf(stderr, "quillon-cli: the record ends before --to: exported up to position %d\n",
                         outcome.lastPosition);
        std::printf("%s\t%lld\t%d\t%d\t%s\n", out->c_str(), static_cast<long long>(outcome.framesWritten),
                    outcome.firstPosition, outcome.lastPosition, EndName(outcome.end));
    }
    if (*kase) {
        const auto digest = evidence::HashFile(*out);
        if (!digest)
            return Fail("the export was written but not added to the case: " + digest.Detail());
        casefile::ExportEntry entry;
        std::error_code ec;
        entry.path = std::filesystem::absolute(*out, ec).string();
        entry.reportPath = std::filesystem::absolute(outcome.reportPath, ec).string();
        entry.outputSha256 = digest->sha256;
        if (const auto added = (*kase)->AddExport(entry); !added)
            return Fail("the export was written but not added to the case: " + added.Detail());
    }
    return 0;
}

// --record, needed without --event only.
Option OptionalRecord()
{
    Option record = DeclareRecord();
    record.required = false;
    return record;
}

}  // namespace

Command ExportCommand()
{
    return {.name = "export",
            .summary = "what the \"output\" button writes, with its report beside it",
            .description =
                "What the \"output\" button writes: positions B to E+1, through the program's own\n"
                "exporter, with the report OUT.report.json beside it. Prints 'path frames first_position\n"
                "last_position end' (end: completed, stopped or record-ended). A progress bar with the\n"
                "time left shows on a terminal; Ctrl+C stops the export with the file closed properly.\n"
                "An error leaves no file. A second that cannot be read from the disk fails the export\n"
                "(status 1, the position and the error on stderr) unless --keep-going is given.\n"
                "--event exports an event of 'quillon-cli activity --json': its record, positions and\n"
                "camera, and names it in the report (activity_event).\n"
                "--from-time and --to-time (without --record) export by time: every record's seconds\n"
                "within the range (both bounds included, on the recorder's clock), in time order, into\n"
                "one file; a second no listed record holds is written without picture, its time stamped\n"
                "(recordings the record table no longer lists are not searched: see recover). Refused when\n"
                "two records hold the same second of it (export one with --record) and when no listed record\n"
                "holds any; not for the master (.mkv). Prints 'path frames from to end'.\n",
            .arguments = {DeclareDisk()},
            .options = {OptionalRecord(),
                        {.name = "--from", .value = "B", .help = "the begin mark's position (needed without --event)"},
                        {.name = "--to", .value = "E", .help = "the end mark's position (needed without --event)"},
                        {.name = "--event",
                         .value = "ACTIVITY.json:N",
                         .help = "the N-th event (from 1) of an activity document, in place of\n"
                                 "--record, --from and --to; --view is its camera unless given"},
                        {.name = "--from-time",
                         .value = "T",
                         .help = "export by time from this second (\"YYYY-MM-DD HH:MM:SS\"; with\n"
                                 "--to-time, without --record): the records' seconds in time\n"
                                 "order, gaps stamped"},
                        {.name = "--to-time", .value = "T", .help = "the last second of the export by time (included)"},
                        DeclareView(),
                        DeclareCaseOption(),
                        {"--keep-going", "",
                         "write a second that cannot be read as a second without picture\n"
                         "(its time stamped; the master leaves it out) and go on; the\n"
                         "report lists it and says the export is incomplete"},
                        {.name = "-o",
                         .value = "OUT.mpg|OUT.avi|OUT.mkv|OUT.mp4",
                         .help = "by the exact extension: .mpg MPEG-1 with MP2 sound, .avi XviD\n"
                                 "with PCM sound (OpenDML past 1 GiB), .mkv the lossless master\n"
                                 "of the original frames, .mp4 an H.264/AAC working copy",
                         .required = true}},
            .run = Run};
}

}  // namespace cli
