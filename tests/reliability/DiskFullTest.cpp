// Writes that find the disk full fail with a status, lose nothing stored before, store nothing they did not
// report, and the same process writes again once space is back. Two ways to fill the disk: a file-size
// limit on the writing process (EFBIG), and a small file system of its own filled by a ballast file
// (ENOSPC, a real full disk; needs a private mount namespace, so it is skipped where mounting is refused).
#include "ChurnScript.h"
#include "Payload.h"
#include "WorkerProcess.h"

#include "FreshRegistry.h"

#include <windows.h>
#include <winreg_store.h>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <set>

using namespace dawdlex::reliability;

namespace {

constexpr std::uint64_t statusMark = 1ull << 63;
constexpr int skipped = 77;

struct FillOutcome
{
    std::set<std::uint64_t> stored;
    std::vector<LSTATUS> refusals;
};

FillOutcome readReports(WorkerProcess& worker)
{
    FillOutcome outcome;
    for (const std::uint64_t report : worker.reports()) {
        if (report & statusMark)
            outcome.refusals.push_back(static_cast<LSTATUS>(report & ~statusMark));
        else
            outcome.stored.insert(report);
    }
    return outcome;
}

// The store after the worker ended holds exactly what it reported stored, whole, and takes writes.
void checkStoreAfterFill(const FillOutcome& outcome, LSTATUS expectedRefusal)
{
    ASSERT_FALSE(outcome.refusals.empty()) << "the full disk never refused a write";
    for (const LSTATUS refusal : outcome.refusals)
        EXPECT_EQ(refusal, expectedRefusal);

    RegStoreClose();
    ASSERT_EQ(checkStoreFile(RegStorePath()), "ok");
    StoreContents contents;
    ASSERT_EQ(readContents("Software", contents), ERROR_SUCCESS);
    std::set<std::uint64_t> stored;
    for (const StoredValue& value : contents["Full"]) {
        const auto counter = payloadCounter(value.data);
        ASSERT_TRUE(counter) << value.name << " is not whole";
        stored.insert(*counter);
    }
    // Nothing reported stored is lost, and no refused write slipped in.
    EXPECT_EQ(stored, outcome.stored);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Full", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const std::string data = makePayload(99999, 6000);
    EXPECT_EQ(RegSetValueExA(key, "later", 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
    std::cout << "values stored around the full disk: " << stored.size()
              << ", writes refused: " << outcome.refusals.size() << std::endl;
}

TEST(DiskFull, AFileSizeLimitRefusesWritesWithoutLoss)
{
    FreshRegistry registry;
    WorkerProcess worker(workerProgram(), {"fill", "{fd}", "limit"}, WorkerProcess::Reports::Pipe);
    ASSERT_TRUE(worker.started());
    const int status = worker.wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    // SQLite reports a refused write other than ENOSPC as an I/O error.
    checkStoreAfterFill(readReports(worker), ERROR_REGISTRY_IO_FAILED);
}

TEST(DiskFull, AFullFileSystemRefusesWritesWithoutLoss)
{
    FreshRegistry registry;
    const std::filesystem::path storeFolder = registry.configHome() / "dawdlex";
    const std::filesystem::path copy = registry.configHome() / "copy";
    std::filesystem::create_directories(storeFolder);
    std::filesystem::create_directories(copy);
    // The small file system exists only in the worker's mount namespace: the store is copied out after.
    const std::string script = R"(mount -t tmpfs -o size=1m,mode=0700 tmpfs "$2" || exit 77
"$1" fill 3 ballast "$2/ballast"
status=$?
cp -a "$2/." "$3/" || exit 1
exit $status)";
    WorkerProcess worker(
        "/usr/bin/unshare",
        {"-m", "/bin/sh", "-c", script, "sh", workerProgram(), storeFolder.string(), copy.string()},
        WorkerProcess::Reports::Pipe);
    ASSERT_TRUE(worker.started());
    const int status = worker.wait();
    if (WIFEXITED(status) && WEXITSTATUS(status) == skipped)
        GTEST_SKIP() << "no private mount namespace here";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    const FillOutcome outcome = readReports(worker);

    std::filesystem::remove_all(storeFolder);
    std::filesystem::rename(copy, storeFolder);
    checkStoreAfterFill(outcome, ERROR_DISK_FULL);
}

// The first start of all finding the disk full, at every amount of room from none to enough: once the room
// is back the store works, and nothing is left behind but the store's own files.
TEST(DiskFull, AFirstStartOnAFullDiskLeavesNoBrokenStore)
{
    const std::string script = R"(mount -t tmpfs -o size=1m,mode=0700 tmpfs "$2" || exit 77
"$1" first-start 3 "$2/ballast" "$3" || exit 1
for f in "$2"/*; do
  case "${f##*/}" in
    registry.sqlite3|registry.sqlite3-wal|registry.sqlite3-shm) ;;
    *) echo "left behind: ${f##*/}" >&2; exit 3 ;;
  esac
done)";
    std::map<LSTATUS, int> firstCalls;
    for (int spare = 0; spare <= 96 * 1024; spare += 4096) {
        SCOPED_TRACE("room left: " + std::to_string(spare));
        FreshRegistry registry;
        const std::filesystem::path storeFolder = registry.configHome() / "dawdlex";
        std::filesystem::create_directories(storeFolder);
        WorkerProcess worker("/usr/bin/unshare",
                             {"-m", "/bin/sh", "-c", script, "sh", workerProgram(), storeFolder.string(),
                              std::to_string(spare)},
                             WorkerProcess::Reports::Pipe);
        ASSERT_TRUE(worker.started());
        const int status = worker.wait();
        if (WIFEXITED(status) && WEXITSTATUS(status) == skipped)
            GTEST_SKIP() << "no private mount namespace here";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        const std::vector<std::uint64_t> reports = worker.reports();
        ASSERT_EQ(reports.size(), 2u);
        ++firstCalls[static_cast<LSTATUS>(reports[0])];
        EXPECT_EQ(reports[1], static_cast<std::uint64_t>(ERROR_SUCCESS)) << "first call " << reports[0];
    }
    for (const auto& [status, count] : firstCalls)
        std::cout << "first call status " << status << ": " << count << " times" << std::endl;
}

} // namespace
