#include "SqliteDatabase.h"

#include "SqliteError.h"

#include <sqlite3.h>

#include <utility>

namespace dawdlex::winreg {

namespace {

// Another process holding the write lock gets this long to finish before a caller sees a lock error;
// a writer holds it for microseconds, so reaching it means something is badly stuck.
constexpr int busyTimeoutMs = 30000;

} // namespace

SqliteDatabase::SqliteDatabase(const std::string& path, Mode mode)
{
    const int flags =
        (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const SqliteError error(rc, m_db ? sqlite3_errmsg(m_db) : nullptr);
        sqlite3_close(m_db);
        throw error;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, busyTimeoutMs);
    try {
        m_beginRead = prepare("BEGIN");
        m_beginWrite = prepare("BEGIN IMMEDIATE");
        m_commit = prepare("COMMIT");
        m_rollback = prepare("ROLLBACK");
    } catch (...) {
        m_beginRead = {};
        m_beginWrite = {};
        m_commit = {};
        m_rollback = {};
        sqlite3_close(m_db);
        throw;
    }
}

SqliteDatabase::~SqliteDatabase()
{
    // Statements first: a connection with live statements does not close.
    m_beginRead = {};
    m_beginWrite = {};
    m_commit = {};
    m_rollback = {};
    sqlite3_close(m_db);
}

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_beginRead(std::move(other.m_beginRead)),
      m_beginWrite(std::move(other.m_beginWrite)), m_commit(std::move(other.m_commit)),
      m_rollback(std::move(other.m_rollback))
{}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept
{
    if (this == &other)
        return *this;
    m_beginRead = std::move(other.m_beginRead);
    m_beginWrite = std::move(other.m_beginWrite);
    m_commit = std::move(other.m_commit);
    m_rollback = std::move(other.m_rollback);
    sqlite3_close(m_db);
    m_db = std::exchange(other.m_db, nullptr);
    return *this;
}

void SqliteDatabase::exec(std::string_view sql)
{
    const std::string text(sql);
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, &message);
    if (rc == SQLITE_OK)
        return;
    const SqliteError error(rc, message);
    sqlite3_free(message);
    throw error;
}

std::int64_t SqliteDatabase::queryInt(std::string_view sql)
{
    SqliteStatement statement(m_db, sql);
    SqliteStatement::Use use(statement);
    return use.step() ? use.columnInt64(0) : 0;
}

std::string SqliteDatabase::queryText(std::string_view sql)
{
    SqliteStatement statement(m_db, sql);
    SqliteStatement::Use use(statement);
    return use.step() ? std::string(use.columnText(0)) : std::string();
}

std::int64_t SqliteDatabase::changes() const
{
    return sqlite3_changes64(m_db);
}

bool SqliteDatabase::isReadOnly() const
{
    return sqlite3_db_readonly(m_db, "main") == 1;
}

} // namespace dawdlex::winreg
