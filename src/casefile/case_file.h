#pragma once
// The case: one SQLite file that names the disk it belongs to and keeps
// what the examiner marked and did with it: bookmarks, the recorder's
// clock against a reference clock, the exports and activity searches made
// while it was open. Every change is one transaction, written through the
// write-ahead log with full syncs (a change whose call returned survives a
// killed process); two programs writing one case take turns. The disk
// itself is never written: the case lives where the user says.
//
// Refused with a reason: a file that is no case (another SQLite file, or
// none), a case of a newer schema, a damaged case, and a case opened
// against another disk (CheckDisk).
//
// Threads: one thread at a time per CaseFile.
#include <cstdint>
#include <string>
#include <vector>

#include "casefile/disk_identity.h"
#include "platform/error.h"
#include "platform/sqlite_database.h"

namespace casefile {

struct CaseHeader {
    std::string number;
    std::string title;
    std::string examiner;
    std::string notes;
    std::string created;  // UTC, "YYYY-MM-DDTHH:MM:SSZ"; set by Create
};

struct Bookmark {
    int64_t id = 0;      // given by the case
    std::string record;  // as people name it: "3" (from 1) or a recovered id ("c1")
    uint32_t position = 0;
    uint32_t picture = 0;       // the picture within the second, from 0
    std::string view = "quad";  // "quad" or "1".."4"
    std::string note;
    std::string author;   // the account that made it
    std::string created;  // UTC
};

struct ClockObservation {
    int64_t id = 0;
    std::string recorder;       // "YYYY-MM-DD HH:MM:SS" as the recorder showed it
    std::string reference;      // the reference clock at the same moment
    int64_t offsetSeconds = 0;  // reference - recorder
    std::string note;
    std::string author;
    std::string created;
};

struct ExportEntry {
    int64_t id = 0;
    std::string path;
    std::string reportPath;
    std::string outputSha256;
    std::string created;
};

struct SearchEntry {
    int64_t id = 0;
    std::string parameters;
    std::string eventsSha256;
    std::string documentPath;
    std::string created;
};

struct CaseContents {
    int schemaVersion = 0;
    CaseHeader header;
    DiskIdentity disk;
    std::vector<Bookmark> bookmarks;
    std::vector<ClockObservation> clocks;
    std::vector<ExportEntry> exports;
    std::vector<SearchEntry> searches;
};

class CaseFile {
public:
    static constexpr int kSchemaVersion = 2;

    // A new case file at path (never over an existing file) for disk.
    static platform::Result<CaseFile> Create(const std::string& path, const DiskIdentity& disk, CaseHeader header);
    // An existing case, its schema brought up to this program's.
    static platform::Result<CaseFile> Open(const std::string& path);

    // Nothing when disk is the case's disk (its size, sector 0 and record
    // table); otherwise what differs.
    platform::Result<void> CheckDisk(const DiskIdentity& disk) const;
    // The same for a loaded volume (path: as the user named it): its
    // identity taken, then checked.
    platform::Result<void> CheckVolume(const disk::Volume& volume, const std::string& path) const;
    const DiskIdentity& Disk() const { return disk; }

    // Each adds one row in a transaction of its own; the row's id. Author
    // and created are filled in here.
    platform::Result<int64_t> AddBookmark(Bookmark bookmark);
    platform::Result<int64_t> AddClock(ClockObservation observation);
    platform::Result<int64_t> AddExport(ExportEntry entry);
    platform::Result<int64_t> AddSearch(SearchEntry entry);

    platform::Result<CaseContents> Read();

    // The SHA-256 of the whole disk, hashed by the caller from the disk
    // checked against the case, kept in the disk's row. Refused when the
    // case already holds another (the disk changed, or it is not the one
    // hashed before); the same again changes nothing.
    platform::Result<void> SetDiskSha256(const std::string& sha256);

private:
    CaseFile(platform::SqliteDatabase database, std::string path) : database(std::move(database)), path(std::move(path))
    {
    }
    platform::Result<void> LoadDisk();

    platform::SqliteDatabase database;
    std::string path;
    DiskIdentity disk;
};

// Now, UTC, "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcNow();

}  // namespace casefile
