// The store under SIGKILL at random moments, many writers at once, a full disk, damaged files and reads
// across processes. The program is also the worker these tests start (`reliability_tests worker MODE ARG`,
// reporting 8-byte numbers on its standard output), and every worker runs under a time limit.
#include "FreshRegistry.h"
#include "RawRegistry.h"
#include "SettingsStore.h"

#include <sqlite3.h>
#include <windows.h>
#include <winreg_store.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

namespace fs = std::filesystem;

namespace {

// DAWDLEX_SOAK=N makes each run N times as long, for the long runs (scripts/soak).
const int soak = std::max(1, std::atoi(std::getenv("DAWDLEX_SOAK") ? std::getenv("DAWDLEX_SOAK") : "1"));

// The counter it was written for, as text, then bytes made from it and the length, `size` bytes in all but
// never shorter than the text: a torn, cut or mixed-up value shows by its bytes alone.
std::string makePayload(std::uint64_t counter, std::size_t size)
{
    std::string out = std::to_string(counter).append(";");
    for (std::mt19937_64 bytes(counter * 65536 + size); out.size() < size;)
        out += static_cast<char>(bytes());
    return out;
}

std::optional<std::uint64_t> payloadCounter(const std::string& data)
{
    const std::uint64_t counter = std::strtoull(data.c_str(), nullptr, 10);
    return makePayload(counter, data.size()) == data ? std::optional(counter) : std::nullopt;
}

LSTATUS setPayload(HKEY key, const std::string& name, std::uint64_t counter, std::size_t size)
{
    const std::string data = makePayload(counter, size);
    return RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

HKEY createKey(const std::string& path)
{
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

// No file of this process may grow past `bytes` from now on: a write past that fails (EFBIG) as on a
// full disk, instead of raising SIGXFSZ.
bool limitFileSize(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, RLIM_INFINITY};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// Each key below a base by its path from there ("" for the base), with its values in listing order.
using StoreContents = std::map<std::string, std::vector<std::pair<std::string, std::string>>>;

// Reads everything below HKEY_CURRENT_USER\base (an absent base reads as nothing); the first status that
// is neither success nor the end of a listing.
LSTATUS readContents(const std::string& base, StoreContents& contents, const std::string& below = "")
{
    HKEY key = nullptr;
    const std::string path = below.empty() ? base : base + "\\" + below;
    LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        return below.empty() && status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    std::vector<std::pair<std::string, std::string>>& values = contents[below];
    for (std::string name(16384, '\0'), data(65536, '\0'); status == ERROR_SUCCESS;) {
        DWORD nameSize = 16384, size = 65536;
        status = RegEnumValueA(key, static_cast<DWORD>(values.size()), name.data(), &nameSize, nullptr,
                               nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
        if (status == ERROR_SUCCESS)
            values.emplace_back(name.substr(0, nameSize), data.substr(0, size));
    }
    std::vector<std::string> subkeys;
    char name[256];
    for (DWORD size = sizeof name; status == ERROR_NO_MORE_ITEMS; size = sizeof name) {
        const LSTATUS listed = RegEnumKeyExA(key, static_cast<DWORD>(subkeys.size()), name, &size, nullptr,
                                             nullptr, nullptr, nullptr);
        if (listed == ERROR_SUCCESS)
            subkeys.push_back(below.empty() ? name : below + "\\" + name);
        else
            status = listed == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : listed;
    }
    RegCloseKey(key);
    for (std::size_t i = 0; i < subkeys.size() && status == ERROR_SUCCESS; ++i)
        status = readContents(base, contents, subkeys[i]);
    return status;
}

// A fixed, endless script below HKEY_CURRENT_USER\Software\Kill, each step one changing call (one
// transaction), in rounds of five: a value V0..V2 set or replaced (spelled v<i> in odd rounds; one in eight
// spans several database pages), T\A made in one call, a value set in T, T\A deleted, T deleted with it.
std::string churnName(std::uint64_t n)
{
    return std::string(n / 5 % 2 ? "v" : "V").append(std::to_string(n / 5 % 3));
}

std::size_t churnSize(std::uint64_t n)
{
    return n % 8 == 0 ? 8000 + n * 7919 % 12000 : 16 + n * 7919 % 1500;
}

bool churnStep(std::uint64_t n)
{
    const char* const keys[] = {"Software\\Kill", "Software\\Kill\\T\\A", "Software\\Kill\\T",
                                "Software\\Kill\\T\\A", "Software\\Kill\\T"};
    if (n % 5 >= 3)
        return RegDeleteKeyA(HKEY_CURRENT_USER, keys[n % 5]) == ERROR_SUCCESS;
    HKEY key = createKey(keys[n % 5]);
    const bool done =
        key && (n % 5 == 1 || setPayload(key, n % 5 ? "x" : churnName(n), n, churnSize(n)) == 0);
    RegCloseKey(key);
    return done;
}

// What the store must hold below Software\Kill after `steps` steps.
StoreContents churnState(std::uint64_t steps)
{
    StoreContents state{{"", {}}};
    for (std::uint64_t first = 0; first < std::min<std::uint64_t>(steps, 15); first += 5) {
        std::uint64_t last = first;
        while (last + 15 < steps)
            last += 15;
        state[""].emplace_back(churnName(first), makePayload(last, churnSize(last)));
    }
    if (steps % 5 >= 2)
        state["T"];
    if (steps % 5 == 2 || steps % 5 == 3)
        state["T\\A"];
    if (steps % 5 >= 3)
        state["T"].emplace_back("x", makePayload(steps - steps % 5 + 2, churnSize(steps - steps % 5 + 2)));
    return state;
}

bool report(std::uint64_t number)
{
    return ::write(1, &number, sizeof number) == sizeof number;
}

int runWorker(const std::string& mode, std::uint64_t number)
{
    if (mode == "churn") { // from step `number` on, for ever, reporting each step done
        while (churnStep(number) && report(number))
            ++number;
        return 1;
    }
    // Four processes at once, each writing values W<i>-n in a shared key and in key W<i>.
    if (mode == "writers") {
        int id = 0;
        while (id < 3 && ::fork() > 0)
            ++id;
        const std::string own = std::string("W").append(std::to_string(id));
        HKEY shared = createKey("Software\\Many\\Shared");
        HKEY key = createKey("Software\\Many\\" + own);
        bool ok = shared && key;
        for (std::uint64_t i = 0; ok && i < 1000u * soak; ++i) {
            const std::string name = own + "-" + std::to_string(i);
            ok = !setPayload(shared, name, i, i % 3000) && !setPayload(key, name, i, 100);
        }
        for (int status = 0; id == 3 && ::wait(&status) > 0;)
            ok = ok && status == 0;
        return ok ? 0 : 1;
    }
    if (mode == "fill") { // 20 values; 6 KB ones with little room until five are refused; ten with room again
        HKEY key = createKey("Software\\Full");
        const std::string store = RegStorePath();
        for (std::uint64_t i = 0, refused = 0; i < 220 && refused < 5; ++i) {
            if (i == 20 &&
                !limitFileSize(std::max(fs::file_size(store), fs::file_size(store + "-wal")) + 65536))
                return 1;
            const LSTATUS status = setPayload(key, std::to_string(i), i, i < 20 ? 200 : 6000);
            refused += status != ERROR_SUCCESS;
            report(status == ERROR_SUCCESS ? i : 1ull << 63 | static_cast<std::uint64_t>(status));
        }
        if (!limitFileSize(RLIM_INFINITY))
            return 1;
        for (std::uint64_t i = 1000; i < 1010; ++i) {
            if (setPayload(key, std::to_string(i), i, 6000) || !report(i))
                return 1;
        }
        return 0;
    }
    if (mode == "set") // one 256 KB value, for another process to read at once
        return setPayload(createKey("Software\\Fresh"), "value", number, 256 * 1024) == ERROR_SUCCESS ? 0 : 1;
    if (mode == "probe") { // what a program meets on a damaged store: a read of everything, then a write
        StoreContents contents;
        HKEY key = nullptr;
        report(static_cast<std::uint64_t>(readContents("Software", contents)));
        const LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Probe", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
        return report(static_cast<std::uint64_t>(status ? status : setPayload(key, "probe", 1, 100))) ? 0 : 1;
    }
    return 3;
}

std::mt19937 seeded()
{
    const char* chosen = std::getenv("DAWDLEX_SEED");
    const auto seed = chosen ? static_cast<std::uint32_t>(std::strtoul(chosen, nullptr, 10)) : 20261207u;
    std::cout << "seed " << seed << " (DAWDLEX_SEED)" << std::endl;
    return std::mt19937(seed);
}

// Runs `reliability_tests worker MODE ARG`, killed with SIGKILL after `killAfter` microseconds when given;
// how it ended (the exit status, or 128 + the signal) and what it reported. A worker still running after
// its time limit is killed, and the test fails saying so.
std::pair<int, std::vector<std::uint64_t>> work(const std::string& mode, const std::string& arg = "",
                                                int killAfter = -1)
{
    int ends[2] = {-1, -1};
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const pid_t pid = ::fork();
    if (pid == 0 && ::dup2(ends[1], 1) == 1)
        ::execl("/proc/self/exe", "reliability_tests", "worker", mode.c_str(), arg.c_str(), nullptr);
    if (pid == 0)
        ::_exit(127);
    ::close(ends[1]);
    if (killAfter >= 0) {
        ::usleep(static_cast<useconds_t>(killAfter));
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    for (int waited = 0; ::waitpid(pid, &status, WNOHANG) == 0; waited += 2) {
        if (waited == 20000 * soak) {
            ADD_FAILURE() << "worker " << mode << " ran over its time limit of " << 20 * soak << " s";
            ::kill(pid, SIGKILL);
        }
        ::usleep(2000);
    }
    std::vector<std::uint64_t> reports;
    for (std::uint64_t number = 0; ::read(ends[0], &number, 8) == 8;)
        reports.push_back(number);
    ::close(ends[0]);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), reports};
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A writer killed at random moments, over and over on one store; every fifth life starts with no store at
// all, so that kills also land while it is made. After each kill the store opens and holds exactly what the
// writer reported done, or that and the step it was in, and no half-made store is left beside it.
TEST(KillAtAnyMoment, EveryKillLeavesTheLastOrTheNextReportedState)
{
    FreshRegistry registry;
    const fs::path folder = registry.configHome() / "dawdlex";
    std::mt19937 random = seeded();
    std::uint64_t steps = 0;
    for (int round = 0; round < 20 * soak; ++round) {
        SCOPED_TRACE(testing::Message() << "kill " << round + 1 << " after step " << steps);
        if (round % 5 == 0) {
            RegStoreClose();
            fs::remove_all(folder);
            steps = 0;
        }
        const int longest = round % 5 == 0 ? 8000 : round % 8 == 7 ? 200000 : 30000;
        const auto [status, reports] =
            work("churn", std::to_string(steps), std::uniform_int_distribution<int>(0, longest)(random));
        ASSERT_EQ(status, 128 + SIGKILL) << "the writer ended by itself";
        for (const std::uint64_t step : reports)
            ASSERT_EQ(step, steps++) << "steps reported out of order";
        StoreContents stored;
        ASSERT_EQ(readContents("Software\\Kill", stored), ERROR_SUCCESS) << "the store no longer opens";
        stored[""];                           // the first step makes it before it sets its value
        steps += stored != churnState(steps); // the step in flight was committed, not yet reported
        ASSERT_TRUE(stored == churnState(steps)) << "neither the last reported state nor the next";
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_EQ(entry.path().string().find(".new-"), std::string::npos) << "left: " << entry.path();
    }
    std::cout << "steps: " << steps << std::endl;
}

TEST(ManyWriters, FourWritersAtOnceLoseNothing)
{
    FreshRegistry registry;
    EXPECT_EQ(work("writers").first, 0) << "a call failed";
    StoreContents stored;
    ASSERT_EQ(readContents("Software\\Many", stored), ERROR_SUCCESS);
    std::uint64_t whole = 0;
    for (const auto& [key, values] : stored) {
        for (const auto& [name, data] : values)
            whole += (key == "Shared" || name.starts_with(key + "-")) &&
                     payloadCounter(data) == std::stoull(name.substr(name.find('-') + 1));
    }
    EXPECT_EQ(whole, 8000u * soak) << "values lost or not whole";
}

// Writes meeting a full disk are refused with a status; nothing reported stored is lost, nothing refused
// slipped in, and the same process writes again once there is room.
TEST(DiskFull, WritesAreRefusedWithoutLossAndWorkAgainWithRoom)
{
    FreshRegistry registry;
    const auto [status, reports] = work("fill");
    EXPECT_EQ(status, 0);
    std::set<std::uint64_t> reported;
    std::vector<LSTATUS> refusals;
    for (const std::uint64_t report : reports) {
        if (report >> 63)
            refusals.push_back(static_cast<LSTATUS>(report & 0xFFFF));
        else
            reported.insert(report);
    }
    EXPECT_FALSE(refusals.empty()) << "the full disk never refused a write";
    EXPECT_EQ(refusals, std::vector<LSTATUS>(refusals.size(), ERROR_REGISTRY_IO_FAILED));
    StoreContents stored;
    ASSERT_EQ(readContents("Software\\Full", stored), ERROR_SUCCESS);
    std::set<std::uint64_t> found;
    for (const auto& value : stored[""])
        found.insert(payloadCounter(value.second).value_or(~0ull));
    EXPECT_EQ(found, reported) << "what is stored is not what was reported stored";
}

// The program's settings save on a full disk says it failed: with no room every setting stays as the last
// good save left it; with room for a few each is whole, old or new; with room again a save stores all.
TEST(DiskFull, TheSettingsSaveSaysItFailedAndKeepsEachSettingWhole)
{
    FreshRegistry registry;
    // Saves settings made from `text` (texts of different lengths differ in all sixteen values) with no
    // file growing past `room` bytes; what the save said, and what is stored then.
    const auto save = [](const std::string& text, rlim_t room) {
        dawdlex::Settings settings;
        (void)dawdlex::loadSettings(settings);
        settings.title = settings.buttonText = settings.customIconPath = text;
        settings.statuses.fill(text);
        settings.delays.fill(std::to_string(text.size()));
        settings.dualBars = settings.disableScreenSaver = text.size() % 2;
        settings.icon = static_cast<int>(text.size());
        const bool saved = limitFileSize(room) && dawdlex::saveSettings(settings);
        StoreContents stored;
        EXPECT_TRUE(limitFileSize(RLIM_INFINITY));
        EXPECT_EQ(readContents("Software\\Pendlewick\\Dawdlex", stored), ERROR_SUCCESS);
        RegStoreClose();
        return std::pair(saved, stored[""]);
    };
    const auto newer = save("new", RLIM_INFINITY).second;
    for (const rlim_t room : {0, 12600}) {
        SCOPED_TRACE(testing::Message() << "room " << room);
        const auto older = save("old!", RLIM_INFINITY).second;
        const auto [saved, after] = save("new", room);
        EXPECT_FALSE(saved) << "the save did not say it failed";
        ASSERT_EQ(after.size(), 16u);
        for (std::size_t i = 0; i < after.size(); ++i)
            EXPECT_TRUE(after[i] == older[i] || (after[i] == newer[i] && room)) << after[i].first;
    }
    EXPECT_TRUE(save("new", RLIM_INFINITY) == std::pair(true, newer));
}

// A damaged store file, bits flipped or cut short, or one of two damages that once made a listing go on
// for ever: a program that meets it ends in time with a status for each call; once one says ERROR_BADDB
// the next does too, and the file is left as it was.
TEST(DamagedStore, DamageGivesStatusesNotHangsAndARefusedFileIsLeftAsItWas)
{
    FreshRegistry registry;
    for (int k = 0; k < 48; ++k)
        RawRegistry::setRaw(std::string("Software\\Damage\\K").append(std::to_string(k / 4)),
                            std::string("v").append(std::to_string(k % 4)), REG_BINARY,
                            std::vector<uint8_t>(50 + 700 * (k % 4), static_cast<uint8_t>(k)));
    RegStoreClose();
    const std::string store = RegStorePath();
    const std::string pristine = readFile(store);
    std::mt19937 random = seeded();
    int refused = 0;
    for (int round = 0; round < 2 + 150 * soak; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const bool cut = round % 5 == 4;
        std::string damaged = pristine.substr(0, cut ? random() % pristine.size() : pristine.size());
        for (auto flips = cut ? 0 : 1 + random() % 8; flips > 0; --flips)
            damaged[random() % damaged.size()] ^= static_cast<char>(1 << random() % 8);
        std::ofstream(store, std::ios::binary | std::ios::trunc) << (round < 2 ? pristine : damaged);
        fs::remove(store + "-shm");
        sqlite3* db = nullptr;
        if (round == 0) { // an entry of the index of value order half a place on
            RawRegistry::damageValueOrder("v2");
        } else if (round == 1) { // a key name stored as bytes instead of text
            sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_exec(db, "UPDATE keys SET folded = CAST(folded AS BLOB) WHERE name = 'K3'", nullptr,
                         nullptr, nullptr);
            sqlite3_close(db);
        }
        damaged = readFile(store);
        const auto [status, reports] = work("probe");
        ASSERT_EQ(status, 0);
        ASSERT_EQ(reports.size(), 2u);
        EXPECT_TRUE(round >= 2 || reports[0] == ERROR_BADDB) << "a listing over damage was not refused";
        refused += reports[0] == ERROR_BADDB;
        if (reports[0] == ERROR_BADDB) {
            EXPECT_EQ(reports[1], static_cast<std::uint64_t>(ERROR_BADDB));
            EXPECT_TRUE(readFile(store) == damaged) << "a refused store was changed";
        }
    }
    std::cout << "refused as damaged: " << refused << " of " << 2 + 150 * soak << std::endl;
}

// A process keeping its store open sees each commit of another process on its next read (of the size, then
// of the data, which may come from memory), also across the log's restarts, which it does not hold back.
TEST(FreshReads, AnOpenStoreSeesEachCommitOfAnotherProcess)
{
    FreshRegistry registry;
    const auto counter = [] {
        const std::vector<uint8_t> data = RawRegistry::queryRaw("Software\\Fresh", "value").data;
        return payloadCounter(std::string(data.begin(), data.end()));
    };
    // The salts in the log's header, new each time the log is started over.
    const auto salts = [] {
        std::ifstream log(RegStorePath() + std::string("-wal"), std::ios::binary);
        std::string salts(8, '\0');
        log.seekg(16).read(salts.data(), 8);
        return log ? salts : std::string();
    };
    std::string last;
    int restarts = 0;
    std::uint64_t n = 0;
    for (; n < 250 && restarts < 1; ++n) {
        ASSERT_EQ(work("set", std::to_string(n)).first, 0);
        ASSERT_EQ(counter(), n) << "a stale or torn read";
        const std::string now = salts();
        restarts += !last.empty() && !now.empty() && now != last;
        last = now.empty() ? last : now;
    }
    EXPECT_EQ(restarts, 1) << "the log was not started over in 250 commits of another process";
    std::cout << "commits read back at once: " << n << std::endl;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "worker")
        return runWorker(argv[2], std::strtoull(argc > 3 ? argv[3] : "0", nullptr, 10));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
