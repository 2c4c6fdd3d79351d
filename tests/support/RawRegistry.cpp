#include "RawRegistry.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sqlite3.h>
#include <winreg_store.h>
#endif

void RawRegistry::setRaw(const std::string& subKey, const std::string& name, DWORD type,
                         const std::vector<uint8_t>& data)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

RawRegistry::StoredValue RawRegistry::queryRaw(const std::string& subKey, const std::string& name)
{
    StoredValue value;
    HKEY key = nullptr;
    DWORD size = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.found = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, value.data.data(), &size) ==
                      ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return value;
}

#ifndef _WIN32
void RawRegistry::damageValueOrder(const std::string& name)
{
    const std::string path = RegStorePath();
    RegStoreClose();
    // The index is rebuilt over an expression that moves the value's entry half a place on, then declared
    // a plain index again; each step needs a connection of its own to see the schema the last one wrote.
    const auto declare = [](const std::string& order) {
        return "PRAGMA writable_schema = ON; UPDATE sqlite_schema SET sql = 'CREATE INDEX vals_order ON "
               "vals(key, " +
               order + ")' WHERE name = 'vals_order'";
    };
    for (const std::string& step :
         {declare("(CASE WHEN name = ''" + name + "'' THEN seq + 0.5 ELSE seq END)"),
          std::string("REINDEX vals_order"), declare("seq")}) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        const int rc = sqlite3_exec(db, step.c_str(), nullptr, nullptr, nullptr);
        const std::string message = sqlite3_errmsg(db);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK) << message;
    }
}
#endif
