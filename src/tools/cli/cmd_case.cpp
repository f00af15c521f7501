// quillon-cli case create|bookmark|clock|show: the case file of an
// examination (casefile::CaseFile). Every command that adds to a case first
// loads the case's disk and checks that it is still the disk the case names.
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

#include "casefile/case_file.h"
#include "casefile/disk_identity.h"
#include "disk/recorder_volume.h"
#include "disk/timeline.h"
#include "evidence/range_hasher.h"
#include "tools/cli/case_option.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/progress_bar.h"
#include "tools/cli/volume_arg.h"
#include "tools/cli/write_target.h"

namespace cli {
namespace {

using platform::Error;
using platform::ErrorKind;

Argument DeclareCase() { return {"CASE", "the case file (SQLite)"}; }

// The case's disk loaded and checked against the case.
platform::Result<void> LoadCaseDisk(const casefile::CaseFile& file, disk::RecorderVolume& volume)
{
    // An image by the absolute path it had when the case was made, so that
    // the case works from any directory; a drive by its number.
    const casefile::DiskIdentity& named = file.Disk();
    const std::string& path = named.resolvedPath.empty() ? named.path : named.resolvedPath;
    if (const auto loaded = LoadVolume(path, volume); !loaded)
        return Error{loaded.Failure().kind, "the case's disk: " + loaded.Detail()};
    return file.CheckVolume(*volume.Shared(), named.path);
}

int Create(Options& options)
{
    const std::string casePath = options.positional[0];
    const std::string diskArg = *options.Value("--disk");
    // The case is written where the user says, never into the device
    // directory and never over the evidence.
    if (const auto checked = CheckWriteTarget(casePath, "case", {{diskArg, "the disk itself"}}); !checked)
        return Fail(checked.Detail());
    disk::RecorderVolume volume;
    if (const auto loaded = LoadVolume(diskArg, volume); !loaded)
        return Fail(loaded.Detail());
    auto identity = casefile::IdentifyDisk(*volume.Shared(), diskArg);
    if (!identity)
        return Fail(identity.Detail());
    identity->imagingNotes = options.Value("--imaging-notes").value_or("");
    casefile::CaseHeader header;
    header.number = options.Value("--number").value_or("");
    header.title = options.Value("--title").value_or("");
    header.examiner = options.Value("--examiner").value_or("");
    header.notes = options.Value("--notes").value_or("");
    const auto made = casefile::CaseFile::Create(casePath, *identity, header);
    if (!made)
        return Fail(made.Detail());
    std::printf("case %s for %s: %llu bytes, sector 0 SHA-256 %s, record table SHA-256 %s\n", casePath.c_str(),
                diskArg.c_str(), static_cast<unsigned long long>(identity->bytes), identity->sector0Sha256.c_str(),
                identity->tableSha256.empty() ? "(no record listed)" : identity->tableSha256.c_str());
    return 0;
}

int AddBookmark(Options& options)
{
    auto file = casefile::CaseFile::Open(options.positional[0]);
    if (!file)
        return Fail(file.Detail());
    disk::RecorderVolume volume;
    if (const auto checked = LoadCaseDisk(*file, volume); !checked)
        return Fail(checked.Detail());
    const auto record = OpenRecordOption(options, volume);
    if (!record)
        return Fail(record.Detail());
    const int64_t seconds = volume.SegmentCount();
    const int64_t rate = volume.OpenRecordEntry().frameRate;
    int64_t at = 0, picture = 0;
    if (seconds <= 0)
        return Fail("record " + RecordName(volume, *record) + " has no second to mark");
    if (!options.Number("--at", 0, seconds - 1, 0, at) ||
        !options.Number("--picture", 0, rate > 0 ? rate - 1 : 0, 0, picture))
        return Fail(options.error);
    casefile::Bookmark bookmark;
    bookmark.record = RecordName(volume, *record);
    bookmark.position = uint32_t(at);
    bookmark.picture = uint32_t(picture);
    bookmark.view = options.Value("--view").value_or("quad");
    if (bookmark.view != "quad" && bookmark.view != "1" && bookmark.view != "2" && bookmark.view != "3" &&
        bookmark.view != "4")
        return Fail("--view takes quad or 1 to 4, not " + bookmark.view);
    bookmark.note = *options.Value("--note");
    const auto added = file->AddBookmark(bookmark);
    if (!added)
        return Fail(added.Detail());
    std::printf("bookmark %lld: record %s, position %u, picture %u, view %s\n", static_cast<long long>(*added),
                bookmark.record.c_str(), bookmark.position, bookmark.picture, bookmark.view.c_str());
    return 0;
}

int HashDisk(Options& options)
{
    auto file = casefile::CaseFile::Open(options.positional[0]);
    if (!file)
        return Fail(file.Detail());
    const std::string diskArg = CaseDiskArg(options, file->Disk());
    disk::RecorderVolume volume;
    disk::RawDisk raw;
    if (const auto loaded = OpenCaseDisk(diskArg, *file, volume, raw); !loaded)
        return Fail(loaded.Detail());
    const evidence::SectorRun whole{0, raw.SectorCount()};
    evidence::RangeHasher hasher;
    ProgressBar bar("hash");
    const auto hashed = hasher.Hash(raw, std::span(&whole, 1), false,
                                    [&bar](uint64_t done, uint64_t total) { bar.Update(done, total); });
    bar.Done();
    if (!hashed)
        return Fail(diskArg + ": " + hashed.Detail());
    const std::string& sha256 = hashed->total.sha256;
    if (const auto stored = file->SetDiskSha256(sha256); !stored)
        return Fail(stored.Detail());
    std::printf("disk %s: %llu bytes, SHA-256 %s\n", diskArg.c_str(),
                static_cast<unsigned long long>(raw.SectorCount() * disk::kSectorBytes), sha256.c_str());
    return 0;
}

int AddClock(Options& options)
{
    auto file = casefile::CaseFile::Open(options.positional[0]);
    if (!file)
        return Fail(file.Detail());
    casefile::ClockObservation observation;
    observation.recorder = *options.Value("--recorder");
    observation.reference = *options.Value("--reference");
    const auto recorder = disk::ParseClockTime(observation.recorder);
    const auto reference = disk::ParseClockTime(observation.reference);
    if (!recorder)
        return Fail("--recorder takes \"YYYY-MM-DD HH:MM:SS\", not " + observation.recorder);
    if (!reference)
        return Fail("--reference takes \"YYYY-MM-DD HH:MM:SS\", not " + observation.reference);
    // Stored as given, in one form.
    observation.recorder = disk::FormatClockTime(*recorder);
    observation.reference = disk::FormatClockTime(*reference);
    observation.offsetSeconds = (*reference - *recorder).count();
    observation.note = options.Value("--note").value_or("");
    const auto added = file->AddClock(observation);
    if (!added)
        return Fail(added.Detail());
    const int64_t offset = observation.offsetSeconds;
    std::printf("clock observation %lld: the recorder %s\n", static_cast<long long>(*added),
                offset == 0  ? "shows the reference time"
                : offset > 0 ? ("is " + std::to_string(offset) + " s behind the reference").c_str()
                             : ("is " + std::to_string(-offset) + " s ahead of the reference").c_str());
    return 0;
}

nlohmann::ordered_json Json(const casefile::CaseContents& c)
{
    nlohmann::ordered_json doc;
    doc["version"] = 1;
    doc["schema"] = c.schemaVersion;
    doc["case"] = {{"number", c.header.number},
                   {"title", c.header.title},
                   {"examiner", c.header.examiner},
                   {"notes", c.header.notes},
                   {"created", c.header.created}};
    doc["disk"] = {{"path", c.disk.path},
                   {"resolved_path", c.disk.resolvedPath},
                   {"bytes", c.disk.bytes},
                   {"sector0_sha256", c.disk.sector0Sha256},
                   {"table_sha256", c.disk.tableSha256},
                   {"disk_sha256", c.disk.diskSha256},
                   {"imaging_notes", c.disk.imagingNotes}};
    doc["bookmarks"] = nlohmann::ordered_json::array();
    for (const auto& b : c.bookmarks) {
        // A listed record by its number, a recovered recording by its id.
        // (The case file is outside input: a hand-edited record stays text.)
        nlohmann::ordered_json record = b.record;
        if (!b.record.empty() && b.record.size() <= 9 && b.record.find_first_not_of("0123456789") == std::string::npos)
            record = std::stoll(b.record);
        doc["bookmarks"].push_back({{"id", b.id},
                                    {"record", record},
                                    {"position", b.position},
                                    {"picture", b.picture},
                                    {"view", b.view},
                                    {"note", b.note},
                                    {"author", b.author},
                                    {"created", b.created}});
    }
    doc["clock"] = nlohmann::ordered_json::array();
    for (const auto& o : c.clocks)
        doc["clock"].push_back({{"id", o.id},
                                {"recorder", o.recorder},
                                {"reference", o.reference},
                                {"offset_seconds", o.offsetSeconds},
                                {"note", o.note},
                                {"author", o.author},
                                {"created", o.created}});
    doc["exports"] = nlohmann::ordered_json::array();
    for (const auto& e : c.exports)
        doc["exports"].push_back({{"id", e.id},
                                  {"path", e.path},
                                  {"report_path", e.reportPath},
                                  {"output_sha256", e.outputSha256},
                                  {"created", e.created}});
    doc["searches"] = nlohmann::ordered_json::array();
    for (const auto& s : c.searches)
        doc["searches"].push_back({{"id", s.id},
                                   {"parameters", s.parameters},
                                   {"events_sha256", s.eventsSha256},
                                   {"document_path", s.documentPath},
                                   {"created", s.created}});
    return doc;
}

int Show(Options& options)
{
    auto file = casefile::CaseFile::Open(options.positional[0]);
    if (!file)
        return Fail(file.Detail());
    const auto contents = file->Read();
    if (!contents)
        return Fail(contents.Detail());
    const casefile::CaseContents& c = *contents;
    if (options.Has("--json")) {
        std::printf("%s\n", Json(c).dump(2).c_str());
        return 0;
    }
    std::printf("case\t%s\t%s\texaminer %s\tcreated %s\n", c.header.number.c_str(), c.header.title.c_str(),
                c.header.examiner.c_str(), c.header.created.c_str());
    if (!c.header.notes.empty())
        std::printf("notes\t%s\n", c.header.notes.c_str());
    std::printf("disk\t%s\t%llu bytes\tsector 0 %s\ttable %s\n", c.disk.path.c_str(),
                static_cast<unsigned long long>(c.disk.bytes), c.disk.sector0Sha256.c_str(),
                c.disk.tableSha256.empty() ? "-" : c.disk.tableSha256.c_str());
    if (!c.disk.imagingNotes.empty())
        std::printf("imaging\t%s\n", c.disk.imagingNotes.c_str());
    for (const auto& o : c.clocks)
        std::printf("clock\t%lld\trecorder %s\treference %s\toffset %+lld s\t%s\n", static_cast<long long>(o.id),
                    o.recorder.c_str(), o.reference.c_str(), static_cast<long long>(o.offsetSeconds), o.note.c_str());
    for (const auto& b : c.bookmarks)
        std::printf("bookmark\t%lld\trecord %s\tposition %u\tpicture %u\tview %s\t%s\t%s %s\n",
                    static_cast<long long>(b.id), b.record.c_str(), b.position, b.picture, b.view.c_str(),
                    b.note.c_str(), b.author.c_str(), b.created.c_str());
    for (const auto& e : c.exports)
        std::printf("export\t%lld\t%s\t%s\t%s\n", static_cast<long long>(e.id), e.path.c_str(), e.reportPath.c_str(),
                    e.outputSha256.c_str());
    for (const auto& s : c.searches)
        std::printf("search\t%lld\t%s\t%s\n", static_cast<long long>(s.id), s.parameters.c_str(),
                    s.eventsSha256.c_str());
    return 0;
}

}  // namespace

Command CaseCreateCommand()
{
    return {
        .name = "case create",
        .summary = "a new case file for a disk",
        .description = "Creates the case file CASE (SQLite; never over an existing file) naming DISK by its\n"
                       "path, size and the SHA-256 of sector 0 and of the record table.\n",
        .arguments = {DeclareCase()},
        .options = {{.name = "--disk",
                     .value = "DISK",
                     .help = "the recorder disk (an image or a drive number)",
                     .required = true,
                     .whenMissing = "--disk DISK is required"},
                    {"--number", "N", "the case number"},
                    {"--title", "T", "the case title"},
                    {"--examiner", "E", "the examiner's name"},
                    {"--notes", "TEXT", "notes on the case"},
                    {"--imaging-notes", "TEXT", "how the disk or its image was taken (imager, write blocker, hashes)"}},
        .run = Create};
}

Command CaseBookmarkCommand()
{
    return {.name = "case bookmark",
            .summary = "marks a moment of the case's disk with a note",
            .description = "Adds a bookmark to CASE: a record (or recovered recording), a position, the\n"
                           "picture within that second and a view, with a note. The case's disk is loaded and\n"
                           "checked first.\n",
            .arguments = {DeclareCase()},
            .options = {DeclareRecord(),
                        {.name = "--at", .value = "S", .help = "the position (second), from 0", .required = true},
                        {"--picture", "K", "the picture within the second, from 0 (default 0)"},
                        DeclareView(),
                        {.name = "--note", .value = "TEXT", .help = "what the moment shows", .required = true}},
            .run = AddBookmark};
}

Command CaseClockCommand()
{
    return {.name = "case clock",
            .summary = "notes the recorder's clock against a reference clock",
            .description = "Adds to CASE what the recorder's clock showed and what a reference clock showed at\n"
                           "the same moment; their difference is the recorder's offset.\n",
            .arguments = {DeclareCase()},
            .options = {{.name = "--recorder",
                         .value = "\"YYYY-MM-DD HH:MM:SS\"",
                         .help = "the recorder's time",
                         .required = true},
                        {.name = "--reference",
                         .value = "\"YYYY-MM-DD HH:MM:SS\"",
                         .help = "the reference clock's time at that moment",
                         .required = true},
                        {"--note", "TEXT", "how the times were taken"}},
            .run = AddClock};
}

Command CaseHashCommand()
{
    return {.name = "case hash",
            .summary = "hashes the case's whole disk and keeps the SHA-256 in the case",
            .description = "Reads the whole of the case's disk (checked against the case first) and keeps its\n"
                           "SHA-256 in CASE, for the report. A case that holds another SHA-256 for its disk is\n"
                           "refused. A progress bar with the time left shows on a terminal.\n",
            .arguments = {DeclareCase()},
            .options = {{"--disk", "DISK", "the case's disk, when it is no longer where the case names it"}},
            .run = HashDisk};
}

Command CaseShowCommand()
{
    return {.name = "case show",
            .summary = "what a case holds",
            .description = "Prints CASE: its header, its disk, clock observations, bookmarks, exports and\n"
                           "searches; with --json one document.\n",
            .arguments = {DeclareCase()},
            .options = {{"--json", {}, "one JSON document"}},
            .run = Show};
}

}  // namespace cli
