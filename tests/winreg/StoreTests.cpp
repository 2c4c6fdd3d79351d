// Our store's own scenarios: transactions, other processes, the read cache and the store file.
#include "StoreFixture.h"

#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

// A process of its own running `body`, killed at the latest on destruction. The store is closed first: a
// connection must not cross a fork.
struct Child
{
    pid_t pid = -1;

    explicit Child(const std::function<int()>& body)
    {
        RegStoreClose();
        pid = ::fork();
        if (pid == 0)
            ::_exit(body());
    }
    ~Child() { kill(); }
    void kill()
    {
        if (pid > 0 && ::kill(pid, SIGKILL) == 0)
            ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
};

class StoreFileTest : public StoreTest
{
protected:
    // Runs SQL on the store through a connection of its own, as another program would.
    int sql(const std::string& statement) const
    {
        sqlite3* db = nullptr;
        sqlite3_open(storeFile().c_str(), &db);
        const int rc = sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return rc;
    }

    std::string readFile() const
    {
        std::ifstream in(storeFile(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Sets the values <prefix>0 … <prefix><count - 1> of HKEY_CURRENT_USER\Race, each to its own name; gives
    // the number of writes that failed.
    static int writeValues(const std::string& prefix, int count)
    {
        HKEY key = create("Race");
        int failures = 0;
        for (int i = 0; i < count; ++i) {
            std::string name = prefix;
            name += std::to_string(i);
            failures += setString(key, name, name) != ERROR_SUCCESS;
        }
        RegCloseKey(key);
        return failures;
    }

    static mode_t modeOf(const std::string& path)
    {
        struct stat info = {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return info.st_mode & 0777;
    }
};

TEST_F(StoreFileTest, AFailedChangeEndsItsTransactionAndAFailedCommitIsReported)
{
    RegCloseKey(create("Tree\\Leaf"));
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Tree"), ERROR_ACCESS_DENIED);
    // Another program may write at once, without waiting for a lock.
    EXPECT_EQ(sql("UPDATE keys SET read_only = 0"), SQLITE_OK);

    HKEY key = create("Tree");
    ASSERT_EQ(setString(key, "v", "old"), ERROR_SUCCESS);
    RegStoreClose(); // its log goes into the file: the next commit writes a new one from the start
    key = create("Tree");
    // No file may grow past 64 KiB, and a write that would fails instead of killing the process.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit tight{64 * 1024, saved.rlim_max};
    ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    const LSTATUS status = setString(key, "v", std::string(512 * 1024, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, SIG_DFL);
    EXPECT_NE(status, ERROR_SUCCESS);
    EXPECT_EQ(getString(key, "v"), "old");
    EXPECT_EQ(setString(key, "v", "new"), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(StoreFileTest, ProcessesWritingAtOnceLoseNothingAndAKilledOneLeavesRepairableSideFiles)
{
    // Both sides create the key, so that the creation races too; the child writes until it is killed.
    Child child([] { return writeValues("c", 1'000'000); });
    EXPECT_EQ(writeValues("p", 300), 0);
    RegStoreClose(); // the child's connection keeps the side files
    // Killed once its log is well filled; the bound keeps a broken child from hanging the test.
    struct stat log = {};
    for (int polls = 0; ::stat((storeFile() + "-wal").c_str(), &log) != 0 || log.st_size < 4'000'000;
         ++polls) {
        ASSERT_LT(polls, 30'000) << "the child never got going";
        ::usleep(1000);
    }
    child.kill();
    // As a process of the owner that could only read them would leave them.
    for (const char* suffix : {"-wal", "-shm"}) {
        ASSERT_GT(std::filesystem::file_size(storeFile() + suffix), 0u) << suffix;
        ASSERT_EQ(::chmod((storeFile() + suffix).c_str(), 0400), 0);
    }

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Race", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(setString(key, "after", "after"), ERROR_SUCCESS);
    EXPECT_EQ(modeOf(storeFile() + "-wal"), 0600u);
    EXPECT_EQ(modeOf(storeFile() + "-shm"), 0600u);
    // Each value holds its own name; the parent's are all there, the child's an unbroken run.
    std::vector<std::string> childValues;
    int parentValues = 0;
    for (const std::string& name : valueNames(key)) {
        EXPECT_EQ(getString(key, name), name);
        if (name[0] == 'c')
            childValues.push_back(name);
        parentValues += name[0] == 'p';
    }
    EXPECT_EQ(parentValues, 300);
    ASSERT_GE(childValues.size(), 100u);
    for (std::size_t i = 0; i < childValues.size(); ++i)
        ASSERT_EQ(childValues[i].substr(1), std::to_string(i));
    RegCloseKey(key);
}

TEST_F(StoreFileTest, ReadsSeeEveryCommittedChangeAtOnce)
{
    HKEY key = create("Race");
    for (const bool sameProcess : {true, false}) {
        SCOPED_TRACE(sameProcess ? "through another handle" : "by another program");
        const std::string changed = sameProcess ? "c" : "CX"; // upper case: the SQL below stores it as folded
        const std::string added = sameProcess ? "n" : "NX";
        ASSERT_EQ(setString(key, changed + "0", "old"), ERROR_SUCCESS);
        // Read twice, so that the second answer may come from the cache.
        for (int read = 0; read < 2; ++read) {
            EXPECT_EQ(getString(key, changed + "0"), "old");
            EXPECT_EQ(getString(key, added + "0"), "");
        }
        for (const std::string& prefix : {changed, added}) {
            const std::string name = "'" + prefix + "0'";
            EXPECT_EQ(sameProcess
                          ? writeValues(prefix, 1)
                          : sql("REPLACE INTO vals SELECT id, " + name + ", " + name + ", 9, 1, CAST(" +
                                name + " || char(0) AS BLOB) FROM keys WHERE name = 'Race'"),
                      0);
        }
        EXPECT_EQ(getString(key, changed + "0"), changed + "0");
        EXPECT_EQ(getString(key, added + "0"), added + "0");
    }
    RegCloseKey(key);
}

TEST_F(StoreFileTest, TheStoreIsPrivateAndWritableOnlyWhileItsFileIs)
{
    HKEY key = create("Software\\Frozen");
    ASSERT_EQ(setString(key, "v", "kept"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(modeOf(std::filesystem::path(storeFile()).parent_path()), 0700u);
    EXPECT_EQ(modeOf(storeFile()), 0600u);

    // A store file without its owner's write permission makes every key read-only, and keeps what it has.
    RegStoreClose();
    ASSERT_EQ(::chmod(storeFile().c_str(), 0400), 0);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Frozen", 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
        ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Frozen", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(getString(key, "v"), "kept");
    EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

// Out of file descriptors at any step of opening, the store must say it cannot open, not that it is
// read-only: the program would then keep the user's settings unsaved without a word.
TEST_F(StoreFileTest, RunningOutOfDescriptorsIsNotTakenForAReadOnlyStore)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own to report";
#endif
    RegCloseKey(create("Software\\Filler"));
    RegStoreClose();
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ::close(lowestFree);
    for (int left = 0; left <= 12; ++left) {
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(lowestFree + left);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        HKEY key = nullptr;
        LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Filler", 0, KEY_ALL_ACCESS, &key);
        if (status == ERROR_SUCCESS)
            status = setString(key, "v", "x");
        RegCloseKey(key);
        ::setrlimit(RLIMIT_NOFILE, &saved);
        RegStoreClose();
        EXPECT_NE(status, ERROR_ACCESS_DENIED) << left << " descriptors left";
        EXPECT_TRUE(status == ERROR_SUCCESS || left < 12) << left << " descriptors left";
    }
}

// Stores made before key classes and last-write times are brought up to date in place, data and all.
TEST_F(StoreFileTest, AStoreOfAnOlderBuildKeepsItsDataAndIsBroughtUpToDate)
{
    HKEY key = create("Software\\Old");
    ASSERT_EQ(setString(key, "Title", "kept"), ERROR_SUCCESS);
    RegCloseKey(key);
    RegStoreClose();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(storeFile().c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "DROP TRIGGER key_created; DROP TRIGGER key_deleted; DROP TRIGGER value_added; "
                           "DROP TRIGGER value_changed; DROP TRIGGER value_deleted; "
                           "ALTER TABLE keys DROP COLUMN class; ALTER TABLE keys DROP COLUMN written",
                           nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    // A class needs the column the update adds.
    char className[] = "leaf";
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Old\\New", 0, className, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Old", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(getString(key, "Title"), "kept");
    RegCloseKey(key);
}

TEST_F(StoreFileTest, ADamagedOrForeignStoreIsRefusedAndLeftAsItIs)
{
    const std::pair<const char*, std::function<void()>> damages[] = {
        {"text", [this] { std::ofstream(storeFile()) << std::string(8192, 'x'); }},
        {"last page cut", [this] { std::filesystem::resize_file(storeFile(), readFile().size() - 4096); }},
        {"newer schema", [this] { ASSERT_EQ(sql("PRAGMA user_version = 2"), SQLITE_OK); }},
        {"someone else's database",
         [this] {
             std::filesystem::remove(storeFile());
             ASSERT_EQ(sql("CREATE TABLE notes(text)"), SQLITE_OK);
         }},
    };
    for (const auto& [what, damage] : damages) {
        SCOPED_TRACE(what);
        HKEY key = create("Software\\Filler");
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(setString(key, "value" + std::to_string(i), std::string(100, 'x')), ERROR_SUCCESS);
        RegStoreClose();
        damage();
        const std::string content = readFile();
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_BADDB);
        EXPECT_EQ(setString(HKEY_CURRENT_USER, "v", "x"), ERROR_BADDB);
        EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software"), ERROR_BADDB);
        EXPECT_EQ(readFile(), content);
        // Once the file is gone, and only after the store is closed, a new one is made.
        std::filesystem::remove(storeFile());
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key), ERROR_BADDB);
        RegStoreClose();
    }
}

} // namespace
