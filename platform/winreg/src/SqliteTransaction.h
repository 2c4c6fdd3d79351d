#pragma once

namespace dawdlex::winreg {

class SqliteDatabase;

// One transaction, rolled back on destruction unless committed: a call that fails half-way changes
// nothing. A write transaction takes the write lock at once, so it never fails later for want of it.
class SqliteTransaction
{
public:
    enum class Kind
    {
        Read,
        Write
    };

    SqliteTransaction(SqliteDatabase& db, Kind kind);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    void commit();

private:
    SqliteDatabase& m_db;
    bool m_open = false;
};

} // namespace dawdlex::winreg
