#include "StoreFixture.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {

class StoreFileTest : public StoreTest
{
protected:
    std::string readFile() const
    {
        std::ifstream in(storeFile(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    void writeFile(const std::string& content) const
    {
        std::filesystem::create_directories(configFolder() + "/dawdlex");
        std::ofstream out(storeFile(), std::ios::binary | std::ios::trunc);
        out << content;
    }

    // A store with enough data to span several pages, closed so that it is all in the main file.
    void makeStore()
    {
        HKEY key = create("Software\\Filler");
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(setString(key, ("value" + std::to_string(i)).c_str(), std::string(100, 'x')),
                      ERROR_SUCCESS);
        RegCloseKey(key);
        RegStoreClose();
    }

    // Every kind of call fails with ERROR_BADDB, and the file keeps every byte.
    void expectRefused(const std::string& content)
    {
        HKEY key = nullptr;
        DWORD size = 0;
        char name[8];
        DWORD nameLength = sizeof name;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_BADDB);
        EXPECT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_USER, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_BADDB);
        EXPECT_EQ(setString(HKEY_CURRENT_USER, "v", "x"), ERROR_BADDB);
        EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "v", nullptr, nullptr, nullptr, &size), ERROR_BADDB);
        EXPECT_EQ(RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software"), ERROR_BADDB);
        EXPECT_EQ(readFile(), content);
    }
};

TEST_F(StoreFileTest, RandomBytesAreNotAStore)
{
    std::mt19937 random(1009);
    std::string noise(8192, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    writeFile(noise);
    expectRefused(noise);
}

TEST_F(StoreFileTest, ATruncatedStoreIsRefusedAndLeftAsItIs)
{
    makeStore();
    const std::string whole = readFile();
    ASSERT_GT(whole.size(), 4u * 4096);
    for (const std::size_t cut : {whole.size() / 2 + 1000, whole.size() - 4096, std::size_t{60}}) {
        SCOPED_TRACE(cut);
        const std::string part = whole.substr(0, cut);
        writeFile(part);
        RegStoreClose();
        expectRefused(part);
    }
}

TEST_F(StoreFileTest, ANewerSchemaOrAForeignDatabaseIsRefused)
{
    makeStore();
    struct Case
    {
        const char* name;
        const char* sql;
    };
    const Case cases[] = {
        {"newer schema", "PRAGMA user_version = 2"},
        {"other application", "PRAGMA application_id = 7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(storeFile().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, c.sql, nullptr, nullptr, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
        RegStoreClose();
        expectRefused(readFile());
        ASSERT_EQ(sqlite3_open(storeFile().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 1; PRAGMA application_id = 1146571864", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
    }

    // Someone else's database in the store's place.
    std::filesystem::remove(storeFile());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(storeFile().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(text)", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
    RegStoreClose();
    expectRefused(readFile());
}

TEST_F(StoreFileTest, ARefusedFileIsUsedAgainOnceRepaired)
{
    writeFile(
        "not a database at all, just some text that is long enough to fill a header......................");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key), ERROR_BADDB);
    std::filesystem::remove(storeFile());
    // Still refused until the store is closed: a call never switches files under open handles.
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key), ERROR_BADDB);
    RegStoreClose();
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(StoreFileTest, AnEmptyFileBecomesAStore)
{
    writeFile("");
    HKEY key = create("Fresh");
    EXPECT_EQ(setString(key, "v", "x"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(readFile().substr(0, 15), "SQLite format 3");
}

// A store as builds before key classes and last-write times made it, with a key and a value.
constexpr const char* olderStoreSql = R"sql(
PRAGMA journal_mode = WAL;
CREATE TABLE keys(
    id INTEGER PRIMARY KEY,
    parent INTEGER REFERENCES keys(id),
    name TEXT NOT NULL,
    folded TEXT NOT NULL,
    depth INTEGER NOT NULL,
    read_only INTEGER NOT NULL DEFAULT 0,
    UNIQUE(parent, folded));
CREATE TABLE vals(
    key INTEGER NOT NULL REFERENCES keys(id),
    folded TEXT NOT NULL,
    name TEXT NOT NULL,
    seq INTEGER NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY(key, folded)) WITHOUT ROWID;
CREATE INDEX vals_order ON vals(key, seq);
INSERT INTO keys(id, parent, name, folded, depth) VALUES
    (1, NULL, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT', 0),
    (2, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER', 0),
    (3, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE', 0),
    (4, NULL, 'HKEY_USERS', 'HKEY_USERS', 0),
    (6, NULL, 'HKEY_CURRENT_CONFIG', 'HKEY_CURRENT_CONFIG', 0),
    (7, NULL, 'HKEY_DYN_DATA', 'HKEY_DYN_DATA', 0),
    (4096, 2, 'Software', 'SOFTWARE', 1);
INSERT INTO vals VALUES(4096, 'TITLE', 'Title', 1, 1, CAST('Old' || char(0) AS BLOB));
PRAGMA application_id = 1146571864;
PRAGMA user_version = 1;
)sql";

TEST_F(StoreFileTest, AStoreOfAnOlderBuildKeepsItsDataAndIsBroughtUpToDateWhenWritable)
{
    std::filesystem::create_directories(configFolder() + "/dawdlex");
    const auto exec = [this](const char* sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(storeFile().c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
        sqlite3_close(db);
    };
    exec(olderStoreSql);
    ASSERT_EQ(::chmod(storeFile().c_str(), 0400), 0);
    struct stat file = {};
    ASSERT_EQ(::stat(storeFile().c_str(), &file), 0);
    const std::int64_t fileTime =
        116'444'736'000'000'000 + std::int64_t{file.st_mtim.tv_sec} * 10'000'000 + file.st_mtim.tv_nsec / 100;

    const auto expectKept = [](std::int64_t lastWrite) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_SUCCESS);
        char text[8] = {};
        DWORD size = sizeof text;
        EXPECT_EQ(RegQueryValueExA(key, "title", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
                  ERROR_SUCCESS);
        EXPECT_STREQ(text, "Old");
        DWORD classLength = 9;
        FILETIME time{};
        EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, &classLength, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, &time),
                  ERROR_SUCCESS);
        EXPECT_EQ(classLength, 0u);
        EXPECT_EQ((std::int64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime, lastWrite);
        RegCloseKey(key);
    };

    // Without write permission it is read as it is, and left as it is.
    const std::string before = readFile();
    expectKept(fileTime);
    HKEY key = nullptr;
    char className[] = "new";
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, className, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_ACCESS_DENIED);
    // Until it is opened again, even once the owner may write.
    ASSERT_EQ(::chmod(storeFile().c_str(), 0600), 0);
    EXPECT_EQ(setString(HKEY_CURRENT_USER, "v", "x"), ERROR_ACCESS_DENIED);
    RegStoreClose();
    EXPECT_EQ(readFile(), before);

    // With it, the next opening brings it up to date in place; older builds still take it.
    expectKept(fileTime);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, className, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    RegStoreClose();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(storeFile().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* version = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(version, 0), 1);
    sqlite3_finalize(version);
    sqlite3_close(db);

    // A key an older build adds gets its time all the same.
    exec("INSERT INTO keys(id, parent, name, folded, depth) VALUES(4097, 4096, 'Older', 'OLDER', 2)");
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Older", 0, KEY_READ, &key), ERROR_SUCCESS);
    FILETIME time{};
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, &time),
              ERROR_SUCCESS);
    EXPECT_GT((std::int64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime, fileTime);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(subKeys(key), (std::vector<std::string>{"New", "Older"}));
    char text[8] = {};
    DWORD length = sizeof text;
    char name[8];
    DWORD nameLength = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &nameLength, nullptr, text, &length, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(text, "new");
    RegCloseKey(key);
}

TEST_F(StoreFileTest, SidecarsLeftReadOnlyGetTheirWritePermissionBack)
{
    makeStore();
    // What a read-only open by a process of the owner leaves behind once the file is writable again.
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string sidecar = storeFile() + suffix;
        std::ofstream(sidecar).close();
        ASSERT_EQ(::chmod(sidecar.c_str(), 0400), 0);
    }
    HKEY key = create("Software\\Again");
    EXPECT_EQ(setString(key, "v", "x"), ERROR_SUCCESS);
    RegCloseKey(key);
    for (const char* suffix : {"-wal", "-shm"}) {
        struct stat info = {};
        ASSERT_EQ(::stat((storeFile() + suffix).c_str(), &info), 0) << suffix;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << suffix;
    }
}

TEST_F(StoreFileTest, RunningOutOfFileDescriptorsIsReportedNotTakenForAReadOnlyStore)
{
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers' runtime opens a pipe to check a type it has not seen yet; out of descriptors, it
    // reports the store's own exception as a bad object.
    GTEST_SKIP() << "needs descriptors the sanitizer runtime takes for itself";
#endif
    makeStore();
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    // Every count of descriptors left, from none to plenty: each open of the store runs out at another
    // step, and none of them may pass for a store the user cannot write.
    bool worked = false;
    for (int left = 0; left <= 12; ++left) {
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(lowestFree + left);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        HKEY key = nullptr;
        const LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Filler", 0, KEY_ALL_ACCESS, &key);
        const LSTATUS written = status == ERROR_SUCCESS ? setString(key, "v", "x") : status;
        if (key)
            RegCloseKey(key);
        ::setrlimit(RLIMIT_NOFILE, &saved);
        RegStoreClose();
        EXPECT_NE(status, ERROR_ACCESS_DENIED) << left << " descriptors left";
        EXPECT_NE(written, ERROR_ACCESS_DENIED) << left << " descriptors left";
        worked = worked || written == ERROR_SUCCESS;
    }
    EXPECT_TRUE(worked);
}

} // namespace
