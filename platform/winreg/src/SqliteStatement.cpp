#include "SqliteStatement.h"

#include "SqliteError.h"

#include <sqlite3.h>

#include <utility>

namespace dawdlex::winreg {

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : m_db(db)
{
    const int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                      &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        throw SqliteError(rc, sqlite3_errmsg(db));
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_stmt);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_stmt(std::exchange(other.m_stmt, nullptr))
{}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept
{
    if (this == &other)
        return *this;
    sqlite3_finalize(m_stmt);
    m_db = std::exchange(other.m_db, nullptr);
    m_stmt = std::exchange(other.m_stmt, nullptr);
    return *this;
}

SqliteStatement::Use::~Use()
{
    sqlite3_reset(m_statement.m_stmt);
    sqlite3_clear_bindings(m_statement.m_stmt);
}

void SqliteStatement::Use::check(int rc) const
{
    if (rc != SQLITE_OK)
        throw SqliteError(rc, sqlite3_errmsg(m_statement.m_db));
}

SqliteStatement::Use& SqliteStatement::Use::bind(int index, std::int64_t value)
{
    check(sqlite3_bind_int64(m_statement.m_stmt, index, value));
    return *this;
}

SqliteStatement::Use& SqliteStatement::Use::bindText(int index, std::string_view text)
{
    // A null pointer would bind SQL NULL; an empty text must stay an empty text.
    const char* data = text.data() ? text.data() : "";
    check(sqlite3_bind_text64(m_statement.m_stmt, index, data, text.size(), SQLITE_STATIC, SQLITE_UTF8));
    return *this;
}

SqliteStatement::Use& SqliteStatement::Use::bindBlob(int index, std::span<const unsigned char> bytes)
{
    if (bytes.empty()) {
        check(sqlite3_bind_zeroblob(m_statement.m_stmt, index, 0));
        return *this;
    }
    check(sqlite3_bind_blob64(m_statement.m_stmt, index, bytes.data(), bytes.size(), SQLITE_STATIC));
    return *this;
}

bool SqliteStatement::Use::step()
{
    const int rc = sqlite3_step(m_statement.m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw SqliteError(rc, sqlite3_errmsg(m_statement.m_db));
}

void SqliteStatement::Use::run()
{
    while (step()) {
    }
}

std::int64_t SqliteStatement::Use::columnInt64(int column) const
{
    return sqlite3_column_int64(m_statement.m_stmt, column);
}

bool SqliteStatement::Use::columnIsNull(int column) const
{
    return sqlite3_column_type(m_statement.m_stmt, column) == SQLITE_NULL;
}

int SqliteStatement::Use::columnType(int column) const
{
    return sqlite3_column_type(m_statement.m_stmt, column);
}

std::string_view SqliteStatement::Use::columnText(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement.m_stmt, column));
    if (!text)
        return {};
    return {text, static_cast<std::size_t>(sqlite3_column_bytes(m_statement.m_stmt, column))};
}

std::span<const unsigned char> SqliteStatement::Use::columnBlob(int column) const
{
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(m_statement.m_stmt, column));
    if (!bytes)
        return {};
    return {bytes, static_cast<std::size_t>(sqlite3_column_bytes(m_statement.m_stmt, column))};
}

} // namespace dawdlex::winreg
