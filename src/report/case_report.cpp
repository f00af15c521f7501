#include "report/case_report.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "disk/index_check.h"
#include "disk/record_entry.h"
#include "disk/recovered_recording.h"
#include "disk/timeline.h"
#include "evidence/activity_document.h"
#include "evidence/digest.h"
#include "evidence/export_check.h"
#include "evidence/export_report.h"
#include "evidence/range_hasher.h"
#include "evidence/report_reader.h"
#include "platform/whole_file.h"

namespace report {

using platform::Error;
using platform::ErrorKind;

std::string ShownTime::Text() const
{
    return reference.empty() ? recorder : recorder + " (reference " + reference + ")";
}

ShownTime Corrected(const std::string& recorder, std::optional<int64_t> offsetSeconds)
{
    ShownTime shown{recorder, {}};
    const auto parsed = disk::ParseClockTime(recorder);
    if (parsed && offsetSeconds)
        shown.reference = disk::FormatClockTime(*parsed + std::chrono::seconds{*offsetSeconds});
    return shown;
}

namespace {

std::string Last(disk::ClockSeconds end) { return disk::FormatClockTime(end - std::chrono::seconds{1}); }

std::string Seconds(int64_t count) { return std::to_string(count) + (count == 1 ? " second" : " seconds"); }

// The timeline's anomalies as quillon-cli timeline tells them: gaps,
// overlapping records, records whose time cannot be placed; and the
// recovered recordings the case's bookmarks name.
std::vector<Anomaly> Anomalies(disk::RecorderVolume& volume, const casefile::CaseContents& contents,
                               std::optional<int64_t> offset)
{
    std::vector<Anomaly> found;
    const disk::VolumeRecords records = disk::ReadRecords(volume);
    const disk::Timeline timeline = disk::BuildTimeline(records.placed);
    const auto shown = [offset](disk::ClockSeconds t) { return Corrected(disk::FormatClockTime(t), offset).Text(); };
    for (const disk::TimeGap& gap : timeline.gaps)
        found.push_back({"gap", "nothing recorded from " + shown(gap.begin) + " to " +
                                    Corrected(Last(gap.end), offset).Text() + " inclusive, " +
                                    Seconds((gap.end - gap.begin).count())});
    for (const disk::RecordOverlap& overlap : timeline.overlaps)
        found.push_back({"overlap", "records " + std::to_string(overlap.earlier + 1) + " and " +
                                        std::to_string(overlap.later + 1) + " both hold " + shown(overlap.begin) +
                                        " to " + Corrected(Last(overlap.end), offset).Text() + " inclusive, " +
                                        Seconds((overlap.end - overlap.begin).count())});
    if (timeline.overlapsNotListed > 0)
        found.push_back({"overlaps not listed", std::to_string(timeline.overlapsNotListed) +
                                                    " further pairs of overlapping records are counted, not listed"});
    for (uint32_t record : records.unplaced) {
        const disk::RecordEntry& entry = volume.Record(record);
        const auto begin = disk::ToClockSeconds(entry.beginTime);
        found.push_back({"unplaced record", "record " + std::to_string(record + 1) + " (begins " +
                                                (begin ? disk::FormatClockTime(*begin)
                                                       : "\"" + disk::FormatRecordTime(entry.beginTime) + "\"") +
                                                ", " + Seconds(entry.segmentCount) + ") cannot be placed in time"});
    }
    // Records whose index is damaged, as the record list marks them.
    for (uint32_t record = 0; record < volume.RecordCount(); ++record) {
        disk::IndexCheck check;
        if (!volume.CheckRecordIndex(record, check))
            found.push_back({"damaged record", "record " + std::to_string(record + 1) + ": its index cannot be read"});
        else if (check.Damaged())
            found.push_back({"damaged record", disk::IndexCheckText(record, check)});
    }
    // Recovered recordings: those the case names, as the volume the
    // bookmarks were drawn from found them.
    const std::shared_ptr<const disk::Volume> shared = volume.Shared();
    const disk::Recovery* recovery = shared ? shared->RecoveryFound().get() : nullptr;
    std::vector<std::string> named;
    for (const casefile::Bookmark& b : contents.bookmarks)
        if (!b.record.empty() && b.record.find_first_not_of("0123456789") != std::string::npos &&
            std::find(named.begin(), named.end(), b.record) == named.end())
            named.push_back(b.record);
    for (const std::string& id : named) {
        const disk::RecoveredRecording* recording = nullptr;
        for (size_t i = 0; recovery && i < recovery->recordings.size() && !recording; ++i)
            if (recovery->recordings[i].id == id)
                recording = &recovery->recordings[i];
        if (!recording) {
            found.push_back({"recovered recording", id + ": named by the case, not found on the disk"});
            continue;
        }
        size_t notIntact = 0;
        for (disk::SegmentStatus status : recording->status)
            notIntact += status == disk::SegmentStatus::Intact ? 0 : 1;
        found.push_back({"recovered recording",
                         id + ": not listed in the record table, found (" +
                             disk::RecoverySourceName(recording->source) + ") from sector " +
                             std::to_string(recording->firstSector) + ", " +
                             Seconds(int64_t(recording->status.size())) +
                             (notIntact ? ", " + std::to_string(notIntact) + " of them not intact (lost)" : "")});
    }
    return found;
}

BookmarkFacts Bookmark(const casefile::Bookmark& b, const PictureSources& sources, disk::RawDisk& raw,
                       std::optional<int64_t> offset)
{
    BookmarkFacts facts;
    facts.bookmark = b;
    const auto made = sources.bookmark ? sources.bookmark(b)
                                       : platform::Result<BookmarkPicture>(Error{ErrorKind::Refused, "no picture"});
    if (!made) {
        facts.pictureProblem = made.Detail();
        facts.sectorsProblem = "the position could not be shown";
        return facts;
    }
    facts.picture = made->picture;
    facts.time = Corrected(made->recorderTime, offset);
    facts.firstSector = made->sectors.first;
    facts.sectorsProblem = made->sectors.count == 0 ? "the record's index names no sectors for the position" : "";
    facts.sectorCount = made->sectors.count;
    if (facts.sectorCount == 0)
        return facts;
    if (facts.firstSector + facts.sectorCount > raw.SectorCount()) {
        facts.sectorsProblem = "the sectors lie past the disk's end";
        return facts;
    }
    evidence::RangeHasher hasher;
    const evidence::SectorRun run{facts.firstSector, facts.sectorCount};
    const auto hashed = hasher.Hash(raw, std::span(&run, 1), false, {});
    if (!hashed)
        facts.sectorsProblem = "the sectors could not be hashed: " + hashed.Detail();
    else
        facts.sectorsSha256 = hashed->total.sha256;
    return facts;
}

ExportFacts Export(const casefile::ExportEntry& entry, disk::RawDisk& raw, const std::string& diskUsed)
{
    ExportFacts facts;
    facts.entry = entry;
    const auto text = evidence::ReadReportText(entry.reportPath);
    if (!text) {
        facts.verdict = "not verified: " + text.Detail();
        return facts;
    }
    const auto parsed = evidence::ParseReport(*text);
    if (!parsed) {
        facts.verdict = "not verified: the report is refused: " + parsed.Detail();
        return facts;
    }
    const auto output = evidence::OutputBesideReport(entry.reportPath);
    std::error_code ec;
    if (!output || !std::filesystem::exists(*output, ec)) {
        facts.verdict = "not verified: the output is missing" + (output ? ": " + *output : ": " + output.Detail());
        return facts;
    }
    const evidence::ExportCheck check = evidence::CheckExport(*parsed, entry.reportPath, &raw, diskUsed, {});
    const int checks = check.Checks(), failures = check.Failures();
    if (check.AllMatch()) {
        facts.verified = true;
        facts.verdict = "verified: all " + std::to_string(checks) + " checks match";
    } else if (failures == 0) {
        facts.verdict = "not verified: the bytes match (" + std::to_string(checks) +
                        " checks), but the export is incomplete: " + check.why;
    } else {
        facts.verdict = "verification failed: " + std::to_string(failures) + " of " + std::to_string(checks) +
                        " checks; first: " + check.FirstFailure();
    }
    if (facts.verified && parsed->outputSha256 != entry.outputSha256) {
        facts.verified = false;
        facts.verdict = "verification failed: the output matches its report, but the case recorded SHA-256 " +
                        entry.outputSha256 + " and the report says " + parsed->outputSha256;
    }
    return facts;
}

SearchFacts Search(const casefile::SearchEntry& entry)
{
    SearchFacts facts;
    facts.entry = entry;
    if (entry.documentPath.empty()) {
        facts.documentState = "the case names no document";
        return facts;
    }
    const auto text = evidence::ReadReportText(entry.documentPath);
    if (!text) {
        facts.documentState = "the document is missing: " + text.Detail();
        return facts;
    }
    const auto parsed = evidence::ParseActivityDocument(*text);
    if (!parsed) {
        facts.documentState = "the document is refused: " + parsed.Detail();
        return facts;
    }
    const std::string now = evidence::ActivityEventsSha256(parsed->events);
    if (now == entry.eventsSha256 && parsed->eventsSha256 == entry.eventsSha256)
        facts.documentState = "the document's events still have this SHA-256";
    else
        facts.documentState = "the document's events now have SHA-256 " + now + " (it states " + parsed->eventsSha256 +
                              "), not the case's";
    return facts;
}

}  // namespace

platform::Result<CaseReport> GatherCaseReport(const casefile::CaseContents& contents, disk::RecorderVolume& volume,
                                              disk::RawDisk& raw, const std::string& diskUsed,
                                              const PictureSources& sources)
{
    if (!volume.IsLoaded() || !raw.IsOpen())
        return Error{ErrorKind::Refused, "the case's disk is not loaded"};
    CaseReport r;
    r.header = contents.header;
    r.disk = contents.disk;
    r.diskUsed = diskUsed;
    r.clocks = contents.clocks;
    // The latest observation: the last made (the case gives them in the
    // order they were added).
    if (!r.clocks.empty())
        r.offsetSeconds = r.clocks.back().offsetSeconds;
    if (sources.timeline) {
        auto drawn = sources.timeline();
        if (drawn)
            r.timeline = *drawn;
        else
            r.timelineProblem = drawn.Detail();
    }
    for (const casefile::Bookmark& b : contents.bookmarks)
        r.bookmarks.push_back(Bookmark(b, sources, raw, r.offsetSeconds));
    // After the bookmarks: a recovered recording one names is then known.
    r.anomalies = Anomalies(volume, contents, r.offsetSeconds);
    for (const casefile::ExportEntry& e : contents.exports)
        r.exports.push_back(Export(e, raw, diskUsed));
    for (const casefile::SearchEntry& s : contents.searches)
        r.searches.push_back(Search(s));
    r.quillonVersion = evidence::QuillonVersion();
    r.libraries = platform::LibraryVersions();
    r.libraries.push_back({"Qt", qVersion()});
    r.made = casefile::UtcNow();
    return r;
}

platform::Result<void> WriteSha256Beside(const std::string& reportPath)
{
    const auto hashed = evidence::HashFile(reportPath);
    if (!hashed)
        return Error{ErrorKind::ReadFailed, "cannot hash " + reportPath + ": " + hashed.Detail()};
    const std::string line = hashed->sha256 + "  " + std::filesystem::path(reportPath).filename().string() + "\n";
    return platform::WriteWholeFile(reportPath + ".sha256", [&line](const std::string& temporary) {
        std::FILE* f = std::fopen(temporary.c_str(), "wb");
        if (!f)
            return false;
        const bool written = std::fwrite(line.data(), 1, line.size(), f) == line.size();
        return std::fclose(f) == 0 && written;
    });
}

}  // namespace report
