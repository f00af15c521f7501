#pragma once
// The court report of a case: the facts gathered once into one plain value
// (what was received, what was done, what came out, with the hashes a
// second examiner can check), written as HTML (html_report.h) or PDF
// (pdf_report.h) from that same value. Nothing here writes the disk.
//
// Threads: one thread; the pictures (QImage) are made on it.
#include <QImage>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "casefile/case_file.h"
#include "disk/raw_disk.h"
#include "disk/recorder_volume.h"
#include "platform/error.h"
#include "platform/library_versions.h"

namespace report {

// A recorder time and the reference time the case's clock offset makes of
// it; reference empty when the case holds no clock observation or the
// recorder time is none ("c1 +00:00:05").
struct ShownTime {
    std::string recorder;
    std::string reference;
    // "2006-03-15 23:59:37 (reference 2006-03-15 23:58:12)", or the
    // recorder time alone.
    std::string Text() const;
};
ShownTime Corrected(const std::string& recorder, std::optional<int64_t> offsetSeconds);

struct Anomaly {
    // "gap", "overlap", "overlaps not listed", "unplaced record", "damaged
    // record", "recovered recording"
    std::string kind;
    std::string text;  // one line of plain fact
};

// What the caller renders for a bookmark (the quad or the one camera, at
// its position and picture) and where its data lay.
struct BookmarkPicture {
    QImage picture;
    std::string recorderTime;  // "YYYY-MM-DD HH:MM:SS", or the stamp by id and position
    disk::SectorRange sectors;
};

struct BookmarkFacts {
    casefile::Bookmark bookmark;
    ShownTime time;
    QImage picture;              // null when it could not be made
    std::string pictureProblem;  // why, when it could not
    uint64_t firstSector = 0, sectorCount = 0;
    std::string sectorsSha256;  // empty when the sectors could not be hashed
    std::string sectorsProblem;
};

struct ExportFacts {
    casefile::ExportEntry entry;
    bool verified = false;
    // "verified: all 12 checks match", "the output is missing: ...",
    // "verification failed: 1 of 12 checks; first: ...".
    std::string verdict;
};

struct SearchFacts {
    casefile::SearchEntry entry;
    // "the document's events still have this SHA-256", "the document is
    // missing: ...", or what differs.
    std::string documentState;
};

struct CaseReport {
    casefile::CaseHeader header;
    casefile::DiskIdentity disk;
    std::string diskUsed;  // the path the disk was read from for this report
    std::vector<casefile::ClockObservation> clocks;
    std::optional<int64_t> offsetSeconds;  // the latest observation's
    QImage timeline;
    std::string timelineProblem;
    std::vector<Anomaly> anomalies;
    std::vector<BookmarkFacts> bookmarks;
    std::vector<ExportFacts> exports;
    std::vector<SearchFacts> searches;
    std::string quillonVersion;
    std::vector<platform::LibraryVersion> libraries;  // Qt's last
    std::string made;                                 // UTC, ISO
};

// The pictures come from the caller (the player's own drawing and seeking).
struct PictureSources {
    std::function<platform::Result<QImage>()> timeline;
    std::function<platform::Result<BookmarkPicture>(const casefile::Bookmark&)> bookmark;
};

// The facts of contents, the case's disk loaded in volume (checked against
// the case by the caller) and open as raw (for hashing), diskUsed its path.
// Fails only when nothing sensible can be reported; every single fact that
// cannot be established is stated in its place.
platform::Result<CaseReport> GatherCaseReport(const casefile::CaseContents& contents, disk::RecorderVolume& volume,
                                              disk::RawDisk& raw, const std::string& diskUsed,
                                              const PictureSources& sources);

// The report's file and the one line "<sha256>  <file name>\n" beside it as
// OUT.sha256 (sha256sum -c reads it).
platform::Result<void> WriteSha256Beside(const std::string& reportPath);

}  // namespace report
