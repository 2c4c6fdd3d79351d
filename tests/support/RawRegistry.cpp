#ifndef _WIN32
#include "RawRegistry.h"

#include <sqlite3.h>
#include <winreg_store.h>

void RawRegistry::damageValueOrder(const std::string& name)
{
    const std::string path = RegStorePath();
    RegStoreClose();
    // The index is rebuilt over an expression that moves the value's entry half a place on, then declared
    // a plain index again; each step needs a connection of its own to see the schema the last one wrote.
    const std::string declare = "PRAGMA writable_schema = ON; UPDATE sqlite_schema SET sql = 'CREATE INDEX "
                                "vals_order ON vals(key, ";
    const std::string where = ")' WHERE name = 'vals_order'";
    for (const std::string& step :
         {declare + "(CASE WHEN name = ''" + name + "'' THEN seq + 0.5 ELSE seq END)" + where,
          std::string("REINDEX vals_order"), declare + "seq" + where}) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        const int rc = sqlite3_exec(db, step.c_str(), nullptr, nullptr, nullptr);
        const std::string message = sqlite3_errmsg(db);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK) << message;
    }
}
#endif
