// Four processes writing at once while two others read: no call fails, nothing is lost, and no reader ever
// sees part of a value.
#include "Payload.h"
#include "WorkerProcess.h"

#include "FreshRegistry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <fstream>
#include <iostream>
#include <memory>

using namespace dawdlex::reliability;

namespace {

constexpr int writers = 4;
constexpr int readers = 2;
constexpr int valuesEach = 1000;

bool endedWell(int status)
{
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Checks that `path` holds exactly the values writer `id` wrote there, each whole; returns how many.
int checkWriterValues(const std::string& path, int id)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS) << path;
    int found = 0;
    for (int i = 0; i < valuesEach; ++i) {
        // Appended, not `"w" + std::to_string(id)`, which GCC 12 at -O3 misreads as an overlapping copy.
        std::string name = "w";
        name += std::to_string(id) + "-" + std::to_string(i);
        std::string data(8192, '\0');
        DWORD size = static_cast<DWORD>(data.size());
        if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                             &size) != ERROR_SUCCESS) {
            ADD_FAILURE() << path << "\\" << name << " is missing";
            continue;
        }
        data.resize(size);
        const auto counter = payloadCounter(data);
        EXPECT_TRUE(counter && *counter == static_cast<std::uint64_t>(id) * 1000000 + i)
            << path << "\\" << name;
        ++found;
    }
    RegCloseKey(key);
    return found;
}

TEST(ManyWriters, FourWritersAndTwoReadersAtOnce)
{
    FreshRegistry registry;
    const std::string stopFile = (registry.configHome() / "stop").string();

    std::vector<std::unique_ptr<WorkerProcess>> readerProcesses;
    for (int r = 0; r < readers; ++r) {
        const std::string result = (registry.configHome() / ("reader" + std::to_string(r))).string();
        readerProcesses.push_back(std::make_unique<WorkerProcess>(
            workerProgram(), std::vector<std::string>{"reader", stopFile, result}));
        ASSERT_TRUE(readerProcesses.back()->started());
    }
    std::vector<std::unique_ptr<WorkerProcess>> writerProcesses;
    for (int w = 0; w < writers; ++w) {
        writerProcesses.push_back(std::make_unique<WorkerProcess>(
            workerProgram(),
            std::vector<std::string>{"writer", std::to_string(w), std::to_string(valuesEach)}));
        ASSERT_TRUE(writerProcesses.back()->started());
    }
    for (auto& writer : writerProcesses)
        EXPECT_TRUE(endedWell(writer->wait())) << "a writer saw a call fail";
    std::ofstream(stopFile) << "stop\n";
    long seen = 0;
    long passes = 0;
    for (int r = 0; r < readers; ++r) {
        EXPECT_TRUE(endedWell(readerProcesses[r]->wait())) << "a reader saw a torn value or a failed call";
        long checked = 0;
        long readerPasses = 0;
        std::ifstream(registry.configHome() / ("reader" + std::to_string(r))) >> checked >> readerPasses;
        // More than a pass or two, or the readers never overlapped the writers.
        EXPECT_GT(readerPasses, 10) << "reader " << r << " hardly ran";
        seen += checked;
        passes += readerPasses;
    }

    int stored = 0;
    for (int w = 0; w < writers; ++w) {
        stored += checkWriterValues("Software\\Many\\Shared", w);
        stored += checkWriterValues("Software\\Many\\Own" + std::to_string(w), w);
    }
    EXPECT_EQ(stored, 2 * writers * valuesEach);
    std::cout << "values written and checked: " << stored
              << ", values checked by the readers meanwhile: " << seen << " in " << passes << " passes"
              << std::endl;
}

} // namespace
