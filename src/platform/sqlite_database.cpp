#include "platform/sqlite_database.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

namespace platform {
namespace {

// How long a writer waits for another process's transaction to end.
constexpr int kBusyMilliseconds = 10000;

ErrorKind KindOf(int code)
{
    switch (code & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return ErrorKind::Damaged;
    case SQLITE_CANTOPEN:
    case SQLITE_NOTFOUND: return ErrorKind::NotFound;
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_READONLY: return ErrorKind::WriteFailed;
    default: return ErrorKind::Refused;
    }
}

}  // namespace

void SqliteStatement::Finalize::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
void SqliteDatabase::Close::operator()(sqlite3* database) const { sqlite3_close_v2(database); }

SqliteStatement& SqliteStatement::Bind(int index, int64_t value)
{
    if (!bindFailure && sqlite3_bind_int64(statement.get(), index, value) != SQLITE_OK)
        bindFailure = Error{ErrorKind::Refused, std::string("the case file: ") + sqlite3_errmsg(database)};
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text)
{
    if (!bindFailure && sqlite3_bind_text64(statement.get(), index, text.data(), text.size(), SQLITE_TRANSIENT,
                                            SQLITE_UTF8) != SQLITE_OK)
        bindFailure = Error{ErrorKind::Refused, std::string("the case file: ") + sqlite3_errmsg(database)};
    return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index)
{
    if (!bindFailure && sqlite3_bind_null(statement.get(), index) != SQLITE_OK)
        bindFailure = Error{ErrorKind::Refused, std::string("the case file: ") + sqlite3_errmsg(database)};
    return *this;
}

Result<bool> SqliteStatement::Step()
{
    if (bindFailure)
        return *bindFailure;
    const int code = sqlite3_step(statement.get());
    if (code == SQLITE_ROW)
        return true;
    if (code == SQLITE_DONE)
        return false;
    return Error{KindOf(code), std::string("the case file: ") + sqlite3_errmsg(database)};
}

Result<void> SqliteStatement::Run()
{
    for (;;) {
        const Result<bool> row = Step();
        if (!row)
            return row.Failure();
        if (!*row)
            return {};
    }
}

int64_t SqliteStatement::Integer(int column) const { return sqlite3_column_int64(statement.get(), column); }

std::string SqliteStatement::Text(int column) const
{
    const unsigned char* text = sqlite3_column_text(statement.get(), column);
    const int bytes = sqlite3_column_bytes(statement.get(), column);
    return text ? std::string(reinterpret_cast<const char*>(text), size_t(bytes)) : std::string();
}

bool SqliteStatement::IsNull(int column) const { return sqlite3_column_type(statement.get(), column) == SQLITE_NULL; }

Result<SqliteDatabase> SqliteDatabase::Open(const std::string& path, Mode mode)
{
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    if (mode == Mode::CreateNew && exists)
        return Error{ErrorKind::Refused, path + " exists: a new case file is never written over another file"};
    if (mode == Mode::OpenExisting && !exists)
        return Error{ErrorKind::NotFound, path + ": no such case file"};
    if (exists && !std::filesystem::is_regular_file(path, ec))
        return Error{ErrorKind::Refused, path + " is not a regular file"};
    sqlite3* raw = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX |
                      (mode == Mode::CreateNew ? SQLITE_OPEN_CREATE : 0);
    const int code = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    SqliteDatabase database(raw);  // closes raw whatever happened
    if (code != SQLITE_OK)
        return Error{KindOf(code), path + ": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(code))};
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyMilliseconds);
    return database;
}

Error SqliteDatabase::Failure(std::string_view what) const
{
    const int code = sqlite3_extended_errcode(database.get());
    return Error{KindOf(code),
                 std::string("the case file: ") + std::string(what) + ": " + sqlite3_errmsg(database.get())};
}

Result<void> SqliteDatabase::Execute(std::string_view sql)
{
    const std::string text(sql);
    if (sqlite3_exec(database.get(), text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return Failure(text.substr(0, text.find_first_of(" ;")));
    return {};
}

Result<SqliteStatement> SqliteDatabase::Prepare(std::string_view sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(database.get(), sql.data(), int(sql.size()), &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return Failure("a statement");
    }
    return SqliteStatement(raw, database.get());
}

Result<int64_t> SqliteDatabase::Integer(std::string_view sql)
{
    auto statement = Prepare(sql);
    if (!statement)
        return statement.Failure();
    const Result<bool> row = statement->Step();
    if (!row)
        return row.Failure();
    if (!*row)
        return Error{ErrorKind::Damaged, "the case file: no value for " + std::string(sql)};
    return statement->Integer(0);
}

int64_t SqliteDatabase::LastInsertId() const { return sqlite3_last_insert_rowid(database.get()); }

}  // namespace platform
