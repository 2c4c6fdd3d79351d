#include "SqliteTransaction.h"

#include "SqliteDatabase.h"

namespace dawdlex::winreg {

SqliteTransaction::SqliteTransaction(SqliteDatabase& db, Kind kind) : m_db(db)
{
    SqliteStatement::Use(kind == Kind::Write ? db.beginWrite() : db.beginRead()).run();
    m_open = true;
}

SqliteTransaction::~SqliteTransaction()
{
    if (!m_open)
        return;
    try {
        SqliteStatement::Use(m_db.rollback()).run();
    } catch (...) {
        // SQLite has already rolled back when ROLLBACK itself fails.
    }
}

void SqliteTransaction::commit()
{
    SqliteStatement::Use(m_db.commit()).run();
    m_open = false;
}

} // namespace dawdlex::winreg
