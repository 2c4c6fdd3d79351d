#pragma once

#include "SqliteStatement.h"

#include <string>
#include <string_view>

struct sqlite3;

namespace dawdlex::winreg {

// Owns one SQLite connection, closed on destruction; move-only. Also owns the prepared statements that
// begin and end transactions, which SqliteTransaction uses. Failing calls throw SqliteError; the
// destructor never throws.
class SqliteDatabase
{
public:
    enum class Mode
    {
        ReadOnly,
        ReadWrite
    };

    // Opens an existing file; never creates one.
    SqliteDatabase(const std::string& path, Mode mode);
    ~SqliteDatabase();
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    void exec(std::string_view sql);
    SqliteStatement prepare(std::string_view sql) { return SqliteStatement(m_db, sql); }
    // The single integer an SQL text (usually a pragma) returns.
    std::int64_t queryInt(std::string_view sql);
    // The first column of the first row as text, "" when there is none.
    std::string queryText(std::string_view sql);
    std::int64_t changes() const;
    // True when SQLite could open the file for reading only.
    bool isReadOnly() const;

    SqliteStatement& beginRead() { return m_beginRead; }
    SqliteStatement& beginWrite() { return m_beginWrite; }
    SqliteStatement& commit() { return m_commit; }
    SqliteStatement& rollback() { return m_rollback; }

private:
    sqlite3* m_db = nullptr;
    SqliteStatement m_beginRead;
    SqliteStatement m_beginWrite;
    SqliteStatement m_commit;
    SqliteStatement m_rollback;
};

} // namespace dawdlex::winreg
