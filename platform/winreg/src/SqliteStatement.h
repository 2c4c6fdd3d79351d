#pragma once

#include <cstdint>
#include <span>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace dawdlex::winreg {

// Owns one prepared statement, finalized on destruction; move-only. Prepared once and reused: every use
// goes through a Use scope, which resets the statement and clears its bindings when it ends, so that no
// statement keeps a read snapshot open between calls. Failing calls throw SqliteError.
class SqliteStatement
{
public:
    SqliteStatement() = default;
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // One execution of the statement: bind, step, read columns; reset when the scope ends.
    class Use
    {
    public:
        explicit Use(SqliteStatement& statement) : m_statement(statement) {}
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

        Use& bind(int index, std::int64_t value);
        // The text and bytes are not copied: they must outlive the scope.
        Use& bindText(int index, std::string_view text);
        Use& bindBlob(int index, std::span<const unsigned char> bytes);

        // True when a row is ready, false when the statement has finished.
        bool step();
        // Runs a statement that returns no rows.
        void run();

        std::int64_t columnInt64(int column) const;
        bool columnIsNull(int column) const;
        // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL.
        int columnType(int column) const;
        // Valid until the next step or the end of the scope.
        std::string_view columnText(int column) const;
        std::span<const unsigned char> columnBlob(int column) const;

    private:
        void check(int rc) const;

        SqliteStatement& m_statement;
    };

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace dawdlex::winreg
