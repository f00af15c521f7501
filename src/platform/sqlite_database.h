#pragma once
// A SQLite database and its prepared statements, owned (sqlite3_close_v2 and
// sqlite3_finalize on destruction), with every failure as an Error carrying
// SQLite's own words. Opened in write-ahead-log mode with full syncs: a
// change whose call returned survives a killed process or a power cut; a
// second process writing at once waits (busy timeout) instead of failing.
//
// Threads: one thread at a time per database and its statements.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace platform {

class SqliteStatement {
public:
    SqliteStatement() = default;
    SqliteStatement(SqliteStatement&&) noexcept = default;
    SqliteStatement& operator=(SqliteStatement&&) noexcept = default;

    // Parameters from 1, as SQLite counts them.
    SqliteStatement& Bind(int index, int64_t value);
    SqliteStatement& Bind(int index, std::string_view text);
    SqliteStatement& BindNull(int index);

    // True with a row to read, false when done; an Error otherwise (the
    // first failed Bind's included).
    Result<bool> Step();
    // Runs to the end (a statement without rows).
    Result<void> Run();

    int64_t Integer(int column) const;
    std::string Text(int column) const;  // "" for NULL
    bool IsNull(int column) const;

private:
    friend class SqliteDatabase;
    struct Finalize {
        void operator()(sqlite3_stmt* statement) const;
    };
    SqliteStatement(sqlite3_stmt* statement, sqlite3* database) : statement(statement), database(database) {}
    std::unique_ptr<sqlite3_stmt, Finalize> statement;
    sqlite3* database = nullptr;
    std::optional<Error> bindFailure;
};

class SqliteDatabase {
public:
    enum class Mode { OpenExisting, CreateNew };

    // CreateNew refuses a path that exists; OpenExisting one that does not.
    static Result<SqliteDatabase> Open(const std::string& path, Mode mode);

    SqliteDatabase(SqliteDatabase&&) noexcept = default;
    SqliteDatabase& operator=(SqliteDatabase&&) noexcept = default;

    // Statements separated by ';', no rows wanted.
    Result<void> Execute(std::string_view sql);
    Result<SqliteStatement> Prepare(std::string_view sql);
    // One statement's single integer result (PRAGMA user_version, say).
    Result<int64_t> Integer(std::string_view sql);
    int64_t LastInsertId() const;

    // Write: BEGIN IMMEDIATE (the write lock taken first, waited for);
    // Read: a deferred BEGIN, one snapshot of the rows that blocks no writer.
    enum class Access { Read, Write };
    // body between BEGIN and COMMIT; rolled back when body fails.
    template <typename Body>
    auto Transaction(Body&& body, Access access = Access::Write) -> decltype(body());

private:
    struct Close {
        void operator()(sqlite3* database) const;
    };
    explicit SqliteDatabase(sqlite3* database) : database(database) {}
    Error Failure(std::string_view what) const;
    std::unique_ptr<sqlite3, Close> database;
};

template <typename Body>
auto SqliteDatabase::Transaction(Body&& body, Access access) -> decltype(body())
{
    if (auto begun = Execute(access == Access::Write ? "BEGIN IMMEDIATE" : "BEGIN"); !begun)
        return begun.Failure();
    auto result = body();
    if (!result) {
        (void)Execute("ROLLBACK");
        return result;
    }
    if (auto committed = Execute("COMMIT"); !committed) {
        (void)Execute("ROLLBACK");
        return committed.Failure();
    }
    return result;
}

}  // namespace platform
