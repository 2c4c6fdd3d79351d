// A process that keeps its store open sees every other process's commit on its very next read, however
// its reads are answered, also across the log's checkpoints and restarts; and it does not keep the log
// from being started over.
#include "Payload.h"
#include "WorkerProcess.h"

#include "FreshRegistry.h"

#include <windows.h>
#include <winreg_store.h>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

using namespace dawdlex::reliability;

namespace {

// The worker's value size: large, so that the log fills and is started over within a few hundred writes.
constexpr std::size_t valueSize = 256 * 1024;

std::optional<std::uint64_t> readCounter(HKEY key)
{
    std::string data(valueSize + 64, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    if (RegQueryValueExA(key, "value", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return payloadCounter(data);
}

// The salts in the log file's header, which change each time the log is started over.
std::string logSalts(const std::string& storeFile)
{
    std::ifstream log(storeFile + "-wal", std::ios::binary);
    std::string salts(8, '\0');
    log.seekg(16);
    log.read(salts.data(), static_cast<std::streamsize>(salts.size()));
    return log ? salts : std::string();
}

bool writeElsewhere(std::uint64_t counter)
{
    WorkerProcess writer(workerProgram(), {"set", std::to_string(counter)});
    const int status = writer.wait();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(FreshReads, AnOpenStoreSeesEachCommitOfAnotherProcess)
{
    FreshRegistry registry;
    ASSERT_TRUE(writeElsewhere(0));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Fresh", 0, KEY_READ, &key), ERROR_SUCCESS);
    ASSERT_EQ(readCounter(key), std::optional<std::uint64_t>(0));
    // Until the log has been checkpointed and started over twice, so that reads are checked across that.
    const std::string storeFile = RegStorePath();
    std::string salts = logSalts(storeFile);
    int restarts = 0;
    std::uint64_t counter = 1;
    for (; counter <= 250 && restarts < 2; ++counter) {
        ASSERT_TRUE(writeElsewhere(counter));
        ASSERT_EQ(readCounter(key), std::optional<std::uint64_t>(counter)) << "a stale or torn read";
        // A second read in a row, which may be answered without the file.
        ASSERT_EQ(readCounter(key), std::optional<std::uint64_t>(counter)) << "a stale or torn read";
        const std::string now = logSalts(storeFile);
        restarts += !now.empty() && now != salts;
        salts = now;
    }
    // An open store must not hold the log back: a process that lost its locks on the shared memory did.
    EXPECT_GE(restarts, 2)
        << "the log was not started over in 250 writes of another process; it has grown to "
        << std::filesystem::file_size(storeFile + "-wal") << " bytes";
    RegCloseKey(key);
    std::cout << "commits of another process read back at once: " << counter - 1
              << ", log restarts: " << restarts << std::endl;
}

} // namespace
