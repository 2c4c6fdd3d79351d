// Reads may be answered from what the layer read before, but only while nothing has been committed since:
// a change made anywhere (another handle, another connection, another process) must be seen by the very
// next read.
#include "StoreFixture.h"

#include <sqlite3.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

enum class Writer
{
    OtherHandle,
    OtherConnection,
    OtherProcess,
};

class ReadCacheTest : public StoreTest, public ::testing::WithParamInterface<Writer>
{
protected:
    static std::string query(HKEY key, const char* name, LSTATUS* status = nullptr)
    {
        char buffer[64] = {};
        DWORD length = sizeof buffer;
        const LSTATUS result =
            RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &length);
        if (status)
            *status = result;
        return result == ERROR_SUCCESS ? std::string(buffer) : std::string();
    }

    void sql(const std::string& statement)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(storeFile().c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << statement;
        sqlite3_close(db);
    }

    // Sets Software\Cached\p0 to "p0" the way the parameter says, creating it when missing.
    void writeElsewhere()
    {
        switch (GetParam()) {
        case Writer::OtherHandle: {
            HKEY other = create("Software\\Cached");
            EXPECT_EQ(setString(other, "p0", "p0"), ERROR_SUCCESS);
            RegCloseKey(other);
            break;
        }
        case Writer::OtherConnection:
            sql("INSERT INTO vals(key, folded, name, seq, type, data) "
                "SELECT id, 'P0', 'p0', 1000, 1, CAST('p0' || char(0) AS BLOB) FROM keys WHERE name = "
                "'Cached' "
                "ON CONFLICT(key, folded) DO UPDATE SET data = excluded.data");
            break;
        case Writer::OtherProcess: {
            const char* argv[] = {WINREG_WRITER, "Software\\Cached", "p", "1", nullptr};
            pid_t pid = -1;
            ASSERT_EQ(
                ::posix_spawn(&pid, WINREG_WRITER, nullptr, nullptr, const_cast<char* const*>(argv), environ),
                0);
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            break;
        }
        }
    }
};

TEST_P(ReadCacheTest, AChangeIsSeenByTheNextQuery)
{
    HKEY key = create("Software\\Cached");
    ASSERT_EQ(setString(key, "p0", "old"), ERROR_SUCCESS);
    // Read twice, so that the second answer may come from the cache.
    ASSERT_EQ(query(key, "p0"), "old");
    ASSERT_EQ(query(key, "p0"), "old");
    LSTATUS status = ERROR_SUCCESS;
    query(key, "missing", &status);
    ASSERT_EQ(status, ERROR_FILE_NOT_FOUND);

    writeElsewhere();
    EXPECT_EQ(query(key, "p0"), "p0");
    RegCloseKey(key);
}

TEST_P(ReadCacheTest, ANewValueIsFoundWhereThereWasNone)
{
    HKEY key = create("Software\\Cached");
    LSTATUS status = ERROR_SUCCESS;
    query(key, "p0", &status);
    query(key, "p0", &status);
    ASSERT_EQ(status, ERROR_FILE_NOT_FOUND);
    writeElsewhere();
    EXPECT_EQ(query(key, "p0"), "p0");
    RegCloseKey(key);
}

TEST_P(ReadCacheTest, AKeyDeletedElsewhereIsGoneForOpenAndForItsHandles)
{
    HKEY key = create("Software\\Cached\\Doomed");
    ASSERT_EQ(setString(key, "v", "x"), ERROR_SUCCESS);
    HKEY opened = nullptr;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Cached\\Doomed", 0, KEY_READ, &opened),
                  ERROR_SUCCESS);
        RegCloseKey(opened);
        ASSERT_EQ(query(key, "v"), "x");
    }
    if (GetParam() == Writer::OtherHandle) {
        ASSERT_EQ(RegDeleteValueA(key, "v"), ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Cached\\Doomed"), ERROR_SUCCESS);
    } else {
        sql("DELETE FROM vals WHERE name = 'v'; DELETE FROM keys WHERE name = 'Doomed'");
    }
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Cached\\Doomed", 0, KEY_READ, &opened),
              ERROR_FILE_NOT_FOUND);
    LSTATUS status = ERROR_SUCCESS;
    query(key, "v", &status);
    EXPECT_EQ(status, ERROR_KEY_DELETED);
    RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(Writers, ReadCacheTest,
                         ::testing::Values(Writer::OtherHandle, Writer::OtherConnection,
                                           Writer::OtherProcess),
                         [](const auto& info) {
                             switch (info.param) {
                             case Writer::OtherHandle:
                                 return "OtherHandle";
                             case Writer::OtherConnection:
                                 return "OtherConnection";
                             case Writer::OtherProcess:
                                 return "OtherProcess";
                             }
                             return "Unknown";
                         });

} // namespace
