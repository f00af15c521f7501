#include "casefile/case_file.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace casefile {
namespace {

using platform::Error;
using platform::ErrorKind;
using platform::Result;

// "QCAS": the file's SQLite application id, so that a case is known from
// any other SQLite file.
constexpr int64_t kApplicationId = 0x51434153;

// Each step brings a case from version k to k + 1, in one transaction.
const std::array<const char*, 2> kMigrations = {
    R"(CREATE TABLE case_header (
           id INTEGER PRIMARY KEY CHECK (id = 1),
           number TEXT NOT NULL, title TEXT NOT NULL, examiner TEXT NOT NULL, notes TEXT NOT NULL,
           created TEXT NOT NULL);
       CREATE TABLE disk (
           id INTEGER PRIMARY KEY CHECK (id = 1),
           path TEXT NOT NULL, resolved_path TEXT NOT NULL, bytes INTEGER NOT NULL, sector0_sha256 TEXT NOT NULL,
           table_sha256 TEXT NOT NULL, disk_sha256 TEXT NOT NULL);
       CREATE TABLE bookmarks (
           id INTEGER PRIMARY KEY AUTOINCREMENT,
           record TEXT NOT NULL, position INTEGER NOT NULL CHECK (position >= 0),
           picture INTEGER NOT NULL CHECK (picture >= 0), view TEXT NOT NULL,
           note TEXT NOT NULL, author TEXT NOT NULL, created TEXT NOT NULL);
       CREATE TABLE clock_observations (
           id INTEGER PRIMARY KEY AUTOINCREMENT,
           recorder TEXT NOT NULL, reference TEXT NOT NULL, offset_seconds INTEGER NOT NULL,
           note TEXT NOT NULL, author TEXT NOT NULL, created TEXT NOT NULL);
       CREATE TABLE exports (
           id INTEGER PRIMARY KEY AUTOINCREMENT,
           path TEXT NOT NULL, report_path TEXT NOT NULL, output_sha256 TEXT NOT NULL, created TEXT NOT NULL);
       CREATE TABLE searches (
           id INTEGER PRIMARY KEY AUTOINCREMENT,
           parameters TEXT NOT NULL, events_sha256 TEXT NOT NULL, document_path TEXT NOT NULL,
           created TEXT NOT NULL);)",
    "ALTER TABLE disk ADD COLUMN imaging_notes TEXT NOT NULL DEFAULT ''",
};
static_assert(kMigrations.size() == CaseFile::kSchemaVersion);

std::string Account()
{
    // getpwuid_r: the account the process runs as, else its number.
    std::array<char, 4096> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return found->pw_name;
    return "uid " + std::to_string(geteuid());
}

Result<void> Prepared(platform::SqliteDatabase& database)
{
    // Full syncs in the log: a change whose transaction returned is on the
    // disk. The log mode is the file's own and stays once set.
    if (auto wal = database.Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON"); !wal)
        return wal;
    return {};
}

// Brings the case from its version to this program's, step by step.
Result<void> Migrate(platform::SqliteDatabase& database)
{
    for (;;) {
        const Result<int64_t> version = database.Integer("PRAGMA user_version");
        if (!version)
            return version.Failure();
        if (*version >= CaseFile::kSchemaVersion)
            return {};
        const Result<void> stepped = database.Transaction([&]() -> Result<void> {
            // Read again inside the transaction: another program may have
            // taken the step meanwhile.
            const Result<int64_t> now = database.Integer("PRAGMA user_version");
            if (!now)
                return now.Failure();
            if (*now >= CaseFile::kSchemaVersion)
                return {};
            if (auto done = database.Execute(kMigrations[size_t(*now)]); !done)
                return done;
            return database.Execute("PRAGMA user_version = " + std::to_string(*now + 1));
        });
        if (!stepped)
            return stepped;
    }
}

}  // namespace

std::string UtcNow()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

Result<CaseFile> CaseFile::Create(const std::string& path, const DiskIdentity& identity, CaseHeader header)
{
    auto opened = platform::SqliteDatabase::Open(path, platform::SqliteDatabase::Mode::CreateNew);
    if (!opened)
        return opened.Failure();
    platform::SqliteDatabase& database = *opened;
    header.created = UtcNow();
    Result<void> made = Prepared(database);
    if (made)
        made = database.Execute("PRAGMA application_id = " + std::to_string(kApplicationId));
    if (made)
        made = Migrate(database);
    if (made)
        made = database.Transaction([&]() -> Result<void> {
            auto head = database.Prepare(
                "INSERT INTO case_header (id, number, title, examiner, notes, created) VALUES (1, ?, ?, ?, ?, ?)");
            if (!head)
                return head.Failure();
            head->Bind(1, header.number).Bind(2, header.title).Bind(3, header.examiner).Bind(4, header.notes);
            if (auto done = head->Bind(5, header.created).Run(); !done)
                return done;
            auto row = database.Prepare("INSERT INTO disk (id, path, resolved_path, bytes, sector0_sha256, "
                                        "table_sha256, disk_sha256, imaging_notes) VALUES (1, ?, ?, ?, ?, ?, ?, ?)");
            if (!row)
                return row.Failure();
            row->Bind(1, identity.path).Bind(2, identity.resolvedPath).Bind(3, int64_t(identity.bytes));
            row->Bind(4, identity.sector0Sha256).Bind(5, identity.tableSha256).Bind(6, identity.diskSha256);
            row->Bind(7, identity.imagingNotes);
            return row->Run();
        });
    if (!made) {
        // A case file that could not be made whole is not left behind.
        opened = Error{};
        std::remove(path.c_str());
        std::remove((path + "-wal").c_str());
        std::remove((path + "-shm").c_str());
        return Error{made.Failure().kind, path + ": " + made.Detail()};
    }
    CaseFile file(std::move(*opened), path);
    file.disk = identity;
    return file;
}

Result<CaseFile> CaseFile::Open(const std::string& path)
{
    auto opened = platform::SqliteDatabase::Open(path, platform::SqliteDatabase::Mode::OpenExisting);
    if (!opened)
        return opened.Failure();
    platform::SqliteDatabase& database = *opened;
    // Whether it is a case at all, before anything is written to it.
    const Result<int64_t> id = database.Integer("PRAGMA application_id");
    if (!id)
        return Error{ErrorKind::Damaged, path + " is not a case file: " + id.Detail()};
    if (*id != kApplicationId)
        return Error{ErrorKind::Refused, path + " is not a Quillon case file"};
    const Result<int64_t> version = database.Integer("PRAGMA user_version");
    if (!version)
        return Error{ErrorKind::Damaged, path + ": " + version.Detail()};
    if (*version > kSchemaVersion)
        return Error{ErrorKind::Unsupported, path + " is a case of a newer Quillon (schema " +
                                                 std::to_string(*version) + "; this one reads up to " +
                                                 std::to_string(kSchemaVersion) + ")"};
    const Result<std::string> check = [&]() -> Result<std::string> {
        auto statement = database.Prepare("PRAGMA quick_check");
        if (!statement)
            return statement.Failure();
        const Result<bool> row = statement->Step();
        if (!row)
            return row.Failure();
        return *row ? statement->Text(0) : std::string("no answer");
    }();
    if (!check)
        return Error{ErrorKind::Damaged, path + " is damaged: " + check.Detail()};
    if (*check != "ok")
        return Error{ErrorKind::Damaged, path + " is damaged: " + *check};
    if (auto prepared = Prepared(database); !prepared)
        return Error{prepared.Failure().kind, path + ": " + prepared.Detail()};
    if (auto migrated = Migrate(database); !migrated)
        return Error{migrated.Failure().kind, path + ": " + migrated.Detail()};
    CaseFile file(std::move(*opened), path);
    if (auto loaded = file.LoadDisk(); !loaded)
        return Error{loaded.Failure().kind, path + ": " + loaded.Detail()};
    return file;
}

Result<void> CaseFile::LoadDisk()
{
    auto row = database.Prepare(
        "SELECT path, resolved_path, bytes, sector0_sha256, table_sha256, disk_sha256, imaging_notes FROM disk "
        "WHERE id = 1");
    if (!row)
        return row.Failure();
    const Result<bool> found = row->Step();
    if (!found)
        return found.Failure();
    if (!*found)
        return Error{ErrorKind::Damaged, "the case names no disk"};
    disk = {row->Text(0), row->Text(1), uint64_t(row->Integer(2)), row->Text(3), row->Text(4),
            row->Text(5), row->Text(6)};
    return {};
}

Result<void> CaseFile::SetDiskSha256(const std::string& sha256)
{
    if (sha256.size() != 64 || sha256.find_first_not_of("0123456789abcdef") != std::string::npos)
        return Error{ErrorKind::Refused, "not a SHA-256 in lower-case hex: " + sha256};
    if (auto loaded = LoadDisk(); !loaded)
        return loaded;
    if (disk.diskSha256 == sha256)
        return {};
    if (!disk.diskSha256.empty())
        return Error{ErrorKind::Refused, "the whole disk now hashes to " + sha256 + ", but case " + path +
                                             " holds SHA-256 " + disk.diskSha256 + " for it"};
    const Result<void> stored = database.Transaction([&]() -> Result<void> {
        auto row = database.Prepare("UPDATE disk SET disk_sha256 = ? WHERE id = 1 AND disk_sha256 = ''");
        if (!row)
            return row.Failure();
        return row->Bind(1, sha256).Run();
    });
    if (!stored)
        return stored;
    if (auto loaded = LoadDisk(); !loaded)
        return loaded;
    // Another program may have stored its hash first.
    if (disk.diskSha256 != sha256)
        return Error{ErrorKind::Refused, "the whole disk now hashes to " + sha256 + ", but case " + path +
                                             " holds SHA-256 " + disk.diskSha256 + " for it"};
    return {};
}

Result<void> CaseFile::CheckDisk(const DiskIdentity& other) const
{
    std::string differs;
    if (other.bytes != disk.bytes)
        differs =
            "its size is " + std::to_string(other.bytes) + " bytes, the case's disk " + std::to_string(disk.bytes);
    else if (other.sector0Sha256 != disk.sector0Sha256)
        differs = "its sector 0 differs (SHA-256 " + other.sector0Sha256 + ", the case's " + disk.sector0Sha256 + ")";
    else if (other.tableSha256 != disk.tableSha256)
        differs = "its record table differs (SHA-256 " + other.tableSha256 + ", the case's " + disk.tableSha256 + ")";
    if (differs.empty())
        return {};
    return Error{ErrorKind::Refused,
                 other.path + " is not the disk of case " + path + " (" + disk.path + "): " + differs};
}

Result<void> CaseFile::CheckVolume(const disk::Volume& volume, const std::string& diskPath) const
{
    const Result<DiskIdentity> identity = IdentifyDisk(volume, diskPath);
    if (!identity)
        return identity.Failure();
    return CheckDisk(*identity);
}

Result<int64_t> CaseFile::AddBookmark(Bookmark b)
{
    b.author = Account();
    b.created = UtcNow();
    return database.Transaction([&]() -> Result<int64_t> {
        auto row = database.Prepare("INSERT INTO bookmarks (record, position, picture, view, note, author, created) "
                                    "VALUES (?, ?, ?, ?, ?, ?, ?)");
        if (!row)
            return row.Failure();
        row->Bind(1, b.record).Bind(2, int64_t{b.position}).Bind(3, int64_t{b.picture}).Bind(4, b.view);
        if (auto done = row->Bind(5, b.note).Bind(6, b.author).Bind(7, b.created).Run(); !done)
            return done.Failure();
        return database.LastInsertId();
    });
}

Result<int64_t> CaseFile::AddClock(ClockObservation c)
{
    c.author = Account();
    c.created = UtcNow();
    return database.Transaction([&]() -> Result<int64_t> {
        auto row = database.Prepare("INSERT INTO clock_observations (recorder, reference, offset_seconds, note, "
                                    "author, created) VALUES (?, ?, ?, ?, ?, ?)");
        if (!row)
            return row.Failure();
        row->Bind(1, c.recorder).Bind(2, c.reference).Bind(3, c.offsetSeconds).Bind(4, c.note);
        if (auto done = row->Bind(5, c.author).Bind(6, c.created).Run(); !done)
            return done.Failure();
        return database.LastInsertId();
    });
}

Result<int64_t> CaseFile::AddExport(ExportEntry e)
{
    e.created = UtcNow();
    return database.Transaction([&]() -> Result<int64_t> {
        auto row =
            database.Prepare("INSERT INTO exports (path, report_path, output_sha256, created) VALUES (?, ?, ?, ?)");
        if (!row)
            return row.Failure();
        if (auto done = row->Bind(1, e.path).Bind(2, e.reportPath).Bind(3, e.outputSha256).Bind(4, e.created).Run();
            !done)
            return done.Failure();
        return database.LastInsertId();
    });
}

Result<int64_t> CaseFile::AddSearch(SearchEntry s)
{
    s.created = UtcNow();
    return database.Transaction([&]() -> Result<int64_t> {
        auto row = database.Prepare(
            "INSERT INTO searches (parameters, events_sha256, document_path, created) VALUES (?, ?, ?, ?)");
        if (!row)
            return row.Failure();
        if (auto done =
                row->Bind(1, s.parameters).Bind(2, s.eventsSha256).Bind(3, s.documentPath).Bind(4, s.created).Run();
            !done)
            return done.Failure();
        return database.LastInsertId();
    });
}

Result<CaseContents> CaseFile::Read()
{
    CaseContents contents;
    const Result<int64_t> version = database.Integer("PRAGMA user_version");
    if (!version)
        return version.Failure();
    contents.schemaVersion = int(*version);
    contents.disk = disk;
    // One read transaction: the rows as they stood at one moment.
    const Result<void> read = database.Transaction(
        [&]() -> Result<void> {
            auto head =
                database.Prepare("SELECT number, title, examiner, notes, created FROM case_header WHERE id = 1");
            if (!head)
                return head.Failure();
            const Result<bool> found = head->Step();
            if (!found)
                return found.Failure();
            if (!*found)
                return Error{ErrorKind::Damaged, "the case has no header"};
            contents.header = {head->Text(0), head->Text(1), head->Text(2), head->Text(3), head->Text(4)};
            auto each = [&](const char* sql, auto add) -> Result<void> {
                auto rows = database.Prepare(sql);
                if (!rows)
                    return rows.Failure();
                for (;;) {
                    const Result<bool> row = rows->Step();
                    if (!row)
                        return row.Failure();
                    if (!*row)
                        return {};
                    add(*rows);
                }
            };
            using Row = platform::SqliteStatement;
            if (auto r =
                    each("SELECT id, record, position, picture, view, note, author, created FROM bookmarks ORDER BY id",
                         [&](Row& q) {
                             contents.bookmarks.push_back({q.Integer(0), q.Text(1), uint32_t(q.Integer(2)),
                                                           uint32_t(q.Integer(3)), q.Text(4), q.Text(5), q.Text(6),
                                                           q.Text(7)});
                         });
                !r)
                return r;
            if (auto r = each("SELECT id, recorder, reference, offset_seconds, note, author, created "
                              "FROM clock_observations ORDER BY id",
                              [&](Row& q) {
                                  contents.clocks.push_back({q.Integer(0), q.Text(1), q.Text(2), q.Integer(3),
                                                             q.Text(4), q.Text(5), q.Text(6)});
                              });
                !r)
                return r;
            if (auto r =
                    each("SELECT id, path, report_path, output_sha256, created FROM exports ORDER BY id",
                         [&](Row& q) {
                             contents.exports.push_back({q.Integer(0), q.Text(1), q.Text(2), q.Text(3), q.Text(4)});
                         });
                !r)
                return r;
            return each("SELECT id, parameters, events_sha256, document_path, created FROM searches ORDER BY id",
                        [&](Row& q) {
                            contents.searches.push_back({q.Integer(0), q.Text(1), q.Text(2), q.Text(3), q.Text(4)});
                        });
        },
        platform::SqliteDatabase::Access::Read);
    if (!read)
        return Error{read.Failure().kind, path + ": " + read.Detail()};
    return contents;
}

}  // namespace casefile
