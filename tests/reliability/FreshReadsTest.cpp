// A process that keeps its store open sees every other process's commit on its very next read, however
// its reads are answered, also across the log's checkpoints and restarts.
#include "Payload.h"
#include "WorkerProcess.h"

#include "tests/support/FreshRegistry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <iostream>
#include <optional>

using namespace dawdlex::reliability;

namespace {

std::optional<std::uint64_t> readCounter(HKEY key)
{
    std::string data(32768, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    if (RegQueryValueExA(key, "value", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return payloadCounter(data);
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
    // 20 KB values fill the log's 1,000 pages in about 200 writes, so it is checkpointed and started
    // over more than once.
    constexpr std::uint64_t writes = 500;
    for (std::uint64_t counter = 1; counter <= writes; ++counter) {
        ASSERT_TRUE(writeElsewhere(counter));
        ASSERT_EQ(readCounter(key), std::optional<std::uint64_t>(counter)) << "a stale or torn read";
        // A second read in a row, which may be answered without the file.
        ASSERT_EQ(readCounter(key), std::optional<std::uint64_t>(counter)) << "a stale or torn read";
    }
    RegCloseKey(key);
    std::cout << "commits of another process read back at once: " << writes << std::endl;
}

} // namespace
