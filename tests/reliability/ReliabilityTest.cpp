// The store under SIGKILL at random moments, many writers at once, a full disk, damaged files and reads
// across processes. The program is its own worker (Worker.cpp); every worker runs under a time limit.
// DAWDLEX_SOAK=N makes each run N times as long; DAWDLEX_SEED=N tries another seed.
#include "Harness.h"

#include "FreshRegistry.h"
#include "RawRegistry.h"

#include <sqlite3.h>
#include <winreg_store.h>

#include <gtest/gtest.h>

#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <set>

extern char** environ;

namespace dawdlex::reliability {
void PrintTo(const StoredValue& value, std::ostream* out)
{
    *out << value.name << " (" << value.data.size() << " bytes)";
}
} // namespace dawdlex::reliability

using namespace dawdlex::reliability;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

int soak()
{
    const char* factor = std::getenv("DAWDLEX_SOAK");
    return std::max(1, factor ? std::atoi(factor) : 1);
}

std::mt19937 seeded()
{
    const char* chosen = std::getenv("DAWDLEX_SEED");
    const auto seed = chosen ? static_cast<std::uint32_t>(std::strtoul(chosen, nullptr, 10)) : 20261207u;
    std::cout << "seed " << seed << " (DAWDLEX_SEED)" << std::endl;
    return std::mt19937(seed);
}

// A worker process; its reports come through a pipe. A worker still running at its time limit is killed
// and the test fails saying so.
class Worker
{
public:
    explicit Worker(std::vector<std::string> args, std::chrono::seconds limit = 30s)
        : m_deadline(std::chrono::steady_clock::now() + limit * soak()), m_name(args[0])
    {
        args.insert(args.begin(), {"/proc/self/exe", "worker"});
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int ends[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
        EXPECT_EQ(::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        m_reports = ends[0];
    }
    ~Worker()
    {
        kill();
        ::close(m_reports);
    }

    // The exit status, 128 + the signal that ended it, or -1 when it ran over its time limit.
    int wait()
    {
        int status = 0;
        bool late = false;
        while (m_pid > 0 && ::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (!late && std::chrono::steady_clock::now() > m_deadline) {
                ::kill(m_pid, SIGKILL);
                late = true;
                ADD_FAILURE() << "worker '" << m_name << "' ran over its time limit and was killed";
            }
            ::usleep(2000);
        }
        m_pid = -1;
        return late ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int kill()
    {
        if (m_pid > 0)
            ::kill(m_pid, SIGKILL);
        return wait();
    }
    std::vector<std::uint64_t> reports()
    {
        std::vector<std::uint64_t> numbers(1);
        while (::read(m_reports, &numbers.back(), 8) == 8)
            numbers.emplace_back();
        numbers.pop_back();
        return numbers;
    }

private:
    pid_t m_pid = -1;
    int m_reports = -1;
    std::chrono::steady_clock::time_point m_deadline;
    std::string m_name;
};

// SQLite's own checks through a read-only connection: "ok" when the file is sound and no row points at a
// missing key.
std::string checkStoreFile()
{
    sqlite3* db = nullptr;
    std::string found;
    if (sqlite3_open_v2(RegStorePath(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        sqlite3_exec(
            db, "PRAGMA integrity_check; PRAGMA foreign_key_check",
            [](void* out, int columns, char** row, char**) {
                for (int i = 0; i < columns; ++i)
                    *static_cast<std::string*>(out) += row[i] ? row[i] : "NULL";
                return 0;
            },
            &found, nullptr);
    sqlite3_close(db);
    return found;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file system of 1 MiB over the store's folder, seen by this process and the workers it starts, for
// as long as it lives; where mounting is refused, none.
struct SmallFileSystem
{
    SmallFileSystem(const fs::path& folder, bool wanted = true) : folder(folder)
    {
        if (!wanted)
            return;
        static const bool privateMounts =
            ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        fs::create_directories(folder);
        mounted = privateMounts && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m,mode=0700") == 0;
    }
    ~SmallFileSystem()
    {
        RegStoreClose();
        if (mounted)
            ::umount2(folder.c_str(), MNT_DETACH);
    }
    fs::path folder;
    bool mounted = false;
};

// A writer killed at random moments, over and over on one store; every fifth life starts with no store at
// all, so that kills also land while it is made. After each kill the store passes SQLite's checks, holds
// exactly what the writer reported done, or that and the step it was in, and no half-made store is left.
TEST(KillAtAnyMoment, EveryKillLeavesTheLastOrTheNextReportedState)
{
    FreshRegistry registry;
    std::mt19937 random = seeded();
    StoreContents model;
    std::uint64_t steps = 0;
    int inFlight = 0;
    for (int round = 0; round < 20 * soak(); ++round) {
        SCOPED_TRACE("kill " + std::to_string(round + 1) + " after step " + std::to_string(steps));
        if (round % 5 == 0) {
            RegStoreClose();
            fs::remove_all(registry.configHome() / "dawdlex");
            model.clear();
            steps = 0;
        }
        Worker worker({"churn", std::to_string(steps)});
        ::usleep(std::uniform_int_distribution<int>(0, round % 5 == 0   ? 8000
                                                       : round % 8 == 7 ? 200000
                                                                        : 30000)(random));
        ASSERT_EQ(worker.kill(), 128 + SIGKILL) << "the writer ended by itself";
        for (const std::uint64_t step : worker.reports()) {
            ASSERT_EQ(step, steps) << "steps reported out of order";
            churnStep(steps++, model, false);
        }
        StoreContents stored;
        ASSERT_EQ(readContents("Software\\Kill", stored), ERROR_SUCCESS) << "the store no longer opens";
        ASSERT_EQ(checkStoreFile(), "ok");
        if (stored != model) { // the step in flight was committed, not yet reported
            churnStep(steps++, model, false);
            ++inFlight;
            ASSERT_EQ(stored, model) << "neither the last reported state nor the next";
        }
        for (const auto& entry : fs::directory_iterator(registry.configHome() / "dawdlex"))
            EXPECT_EQ(entry.path().string().find(".new-"), std::string::npos)
                << "left behind: " << entry.path();
    }
    std::cout << "steps: " << steps << ", kills after an unreported commit: " << inFlight << std::endl;
}

// Four writers at once, each reading another's ever-replaced value: no call fails, no value read is torn,
// and every value written is there afterwards.
TEST(ManyWriters, LoseNothingAndNeverShowATornValue)
{
    FreshRegistry registry;
    const std::uint64_t count = 1000 * soak();
    std::vector<std::unique_ptr<Worker>> writers;
    for (int id = 0; id < 4; ++id)
        writers.push_back(std::make_unique<Worker>(
            std::vector<std::string>{"writer", std::to_string(id), std::to_string(count)}));
    for (auto& writer : writers)
        EXPECT_EQ(writer->wait(), 0) << "1: a call failed; 2: a torn value was read";
    std::set<std::string> expected;
    for (std::uint64_t id = 0; id < 4; ++id) {
        const std::string own = "Own" + std::to_string(id);
        expected.insert("Shared\\hot" + std::to_string(id) + "=" + std::to_string(id << 32 | (count - 1)));
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::string name =
                std::to_string(id) + "-" + std::to_string(i) + "=" + std::to_string(id << 32 | i);
            expected.insert("Shared\\" + name);
            expected.insert(own + "\\" + name);
        }
    }
    StoreContents stored;
    ASSERT_EQ(readContents("Software\\Many", stored), ERROR_SUCCESS);
    std::set<std::string> found;
    for (const auto& [key, values] : stored) {
        for (const StoredValue& value : values)
            found.insert(key + "\\" + value.name + "=" +
                         std::to_string(payloadCounter(value.data).value_or(~0ull)));
    }
    EXPECT_TRUE(found == expected) << found.size() << " values found whole where " << expected.size()
                                   << " were written";
}

// Writes meeting a full disk, the program's first start on one, and its settings save: each call reports
// failure, nothing reported stored is lost, nothing refused slipped in, and writes work once there is room.
TEST(DiskFull, WritesAreRefusedWithoutLossAndWorkAgainWithRoom)
{
    for (const bool fileSystem : {false, true}) {
        SCOPED_TRACE(fileSystem ? "a full file system" : "a file-size limit");
        FreshRegistry registry;
        SmallFileSystem small(registry.configHome() / "dawdlex", fileSystem);
        if (fileSystem && !small.mounted) {
            std::cout << "no private mount namespace here: a full file system is not tried" << std::endl;
            continue;
        }
        Worker worker({"fill", fileSystem ? (small.folder / "ballast").string() : ""});
        EXPECT_EQ(worker.wait(), 0);
        std::set<std::uint64_t> reported;
        int refused = 0;
        for (const std::uint64_t report : worker.reports()) {
            if (report >> 63 == 0) {
                reported.insert(report);
                continue;
            }
            ++refused;
            EXPECT_EQ(static_cast<LSTATUS>(report & 0xFFFFFFFF),
                      fileSystem ? ERROR_DISK_FULL : ERROR_REGISTRY_IO_FAILED);
        }
        EXPECT_GT(refused, 0) << "the full disk never refused a write";
        ASSERT_EQ(checkStoreFile(), "ok");
        StoreContents stored;
        ASSERT_EQ(readContents("Software\\Full", stored), ERROR_SUCCESS);
        std::set<std::uint64_t> found;
        for (const StoredValue& value : stored[""])
            found.insert(payloadCounter(value.data).value_or(~0ull));
        EXPECT_EQ(found, reported) << "stored values differ from those reported stored";
        std::cout << "values stored around the full disk: " << found.size() << ", refused: " << refused << std::endl;
    }
}

// The first start of all on a full disk, at each amount of room from none to enough: whatever the first
// call says, once there is room the store works, and nothing but its own files is left in its folder.
TEST(DiskFull, AFirstStartOnAFullDiskLeavesNoBrokenStore)
{
    for (off_t room = 0; room <= 96 * 1024; room += 4096) {
        SCOPED_TRACE("room " + std::to_string(room));
        FreshRegistry registry;
        SmallFileSystem small(registry.configHome() / "dawdlex");
        if (!small.mounted)
            GTEST_SKIP() << "no private mount namespace here";
        ASSERT_TRUE(fillDisk(small.folder / "ballast", room));
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\First", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        RegCloseKey(key);
        fs::remove(small.folder / "ballast");
        RegStoreClose();
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\First", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(setPayload(key, "value", 1, 100), ERROR_SUCCESS);
        RegCloseKey(key);
        for (const auto& entry : fs::directory_iterator(small.folder))
            EXPECT_TRUE(entry.path().filename().string().starts_with("registry.sqlite3"))
                << "left behind: " << entry.path();
    }
}

// The program's settings save meeting a full disk says it failed; with no room every setting stays as the
// last good save left it, with room for some each is whole, old or new; the next save with room stores all.
TEST(DiskFull, TheSettingsSaveSaysItFailedAndKeepsEachSettingWhole)
{
    FreshRegistry registry;
    const auto stored = [] {
        StoreContents contents;
        EXPECT_EQ(readContents("Software\\Pendlewick\\Dawdlex", contents), ERROR_SUCCESS);
        EXPECT_EQ(checkStoreFile(), "ok");
        RegStoreClose();
        return contents[""];
    };
    ASSERT_EQ(Worker({"settings", "new"}).wait(), 0);
    const std::vector<StoredValue> newer = stored();
    for (const char* room : {"0", "12600"}) {
        SCOPED_TRACE(std::string("room ") + room);
        ASSERT_EQ(Worker({"settings", "old!"}).wait(), 0);
        const std::vector<StoredValue> older = stored();
        EXPECT_EQ(Worker({"settings", "new", room}).wait(), 1) << "the save did not say it failed";
        const std::vector<StoredValue> after = stored();
        ASSERT_EQ(after.size(), 16u);
        for (std::size_t i = 0; i < 16; ++i)
            EXPECT_TRUE(after[i] == older[i] || (after[i] == newer[i] && *room != '0')) << after[i].name;
        ASSERT_EQ(Worker({"settings", "new"}).wait(), 0);
        EXPECT_EQ(stored(), newer);
    }
}

// A damaged store file, random bits flipped or cut short, or one of two damages that once made a listing
// run for ever: the program meeting it ends in time with a status for each call; once one says
// ERROR_BADDB every later one does, and the file is left as it was.
TEST(DamagedStore, DamageGivesStatusesNotHangsAndARefusedFileIsLeftAsItWas)
{
    FreshRegistry registry;
    for (int k = 0; k < 12; ++k) {
        for (int v = 0; v < 4; ++v)
            RawRegistry::setRaw("Software\\Damage\\K" + std::to_string(k), "v" + std::to_string(v),
                                REG_BINARY,
                                std::vector<uint8_t>(50 + 700 * v, static_cast<uint8_t>(k * 4 + v)));
    }
    RegStoreClose();
    const std::string store = RegStorePath();
    const std::string pristine = readFile(store);
    std::mt19937 random = seeded();
    std::map<std::string, int> outcomes;
    for (int round = 0; round < 2 + 150 * soak(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string damaged = pristine;
        if (round % 5 == 4)
            damaged.resize(std::uniform_int_distribution<std::size_t>(0, pristine.size() - 1)(random));
        for (int flips = round % 5 == 4 ? 0 : std::uniform_int_distribution<int>(1, 8)(random); flips > 0;
             --flips)
            damaged[random() % damaged.size()] ^= static_cast<char>(1 << random() % 8);
        std::ofstream(store, std::ios::binary | std::ios::trunc) << (round < 2 ? pristine : damaged);
        fs::remove(store + "-shm");
        if (round == 0) // an entry of the index of value order half a place on
            RawRegistry::damageValueOrder("v2");
        sqlite3* db = nullptr;
        if (round == 1) { // a key name stored as bytes instead of text
            sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
            EXPECT_EQ(sqlite3_exec(db, "UPDATE keys SET folded = CAST(folded AS BLOB) WHERE name = 'K3'",
                                   nullptr, nullptr, nullptr),
                      SQLITE_OK);
            sqlite3_close(db);
        }
        damaged = readFile(store);
        Worker probe({"probe"}, 20s);
        ASSERT_EQ(probe.wait(), 0);
        const std::vector<std::uint64_t> reports = probe.reports();
        ASSERT_EQ(reports.size(), 2u);
        const LSTATUS read = static_cast<LSTATUS>(reports[0]);
        const LSTATUS written = static_cast<LSTATUS>(reports[1]);
        EXPECT_TRUE(round >= 2 || read == ERROR_BADDB) << "a listing over damage was not refused";
        if (read == ERROR_BADDB) {
            EXPECT_EQ(written, ERROR_BADDB);
            EXPECT_TRUE(readFile(store) == damaged) << "a refused store was changed";
        }
        ++outcomes["read " + std::to_string(read) + ", write " + std::to_string(written)];
    }
    for (const auto& [outcome, count] : outcomes)
        std::cout << outcome << ": " << count << std::endl;
}

// A process keeping its store open sees each commit of another process on its next read and the one after
// (which may be answered from memory), also across the log's restarts; and it does not hold those back.
TEST(FreshReads, AnOpenStoreSeesEachCommitOfAnotherProcess)
{
    FreshRegistry registry;
    const auto readCounter = [](HKEY key) {
        std::string data(300000, '\0');
        DWORD size = static_cast<DWORD>(data.size());
        const LSTATUS status =
            RegQueryValueExA(key, "value", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
        return status == ERROR_SUCCESS ? payloadCounter(data.substr(0, size)) : std::nullopt;
    };
    // The salts in the log's header, new each time it is started over.
    const auto salts = [wal = RegStorePath() + std::string("-wal")] {
        std::ifstream log(wal, std::ios::binary);
        std::string salts(8, '\0');
        log.seekg(16).read(salts.data(), 8);
        return log ? salts : std::string();
    };
    ASSERT_EQ(Worker({"set", "0"}).wait(), 0);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Fresh", 0, KEY_READ, &key), ERROR_SUCCESS);
    ASSERT_EQ(readCounter(key), 0u);
    std::string last = salts();
    int restarts = 0;
    std::uint64_t n = 1;
    for (; n <= 250 && restarts < 2; ++n) {
        ASSERT_EQ(Worker({"set", std::to_string(n)}).wait(), 0);
        ASSERT_EQ(readCounter(key), n) << "a stale or torn read";
        ASSERT_EQ(readCounter(key), n) << "a stale or torn read";
        const std::string now = salts();
        restarts += !now.empty() && now != last;
        last = now;
    }
    RegCloseKey(key);
    EXPECT_GE(restarts, 2) << "the log was not started over in 250 commits of another process";
    std::cout << "commits read back at once: " << n - 1 << std::endl;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "worker")
        return runWorker(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
