// A writer killed with SIGKILL at random moments, over and over on the same store: after every kill the
// store must pass SQLite's checks and hold exactly what the writer had reported stored, or that plus the
// one step it was in.
#include "ChurnScript.h"
#include "Payload.h"
#include "WorkerProcess.h"

#include "FreshRegistry.h"

#include <windows.h>
#include <winreg_store.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <sstream>

using namespace dawdlex::reliability;

namespace {

int killCount()
{
    const char* text = std::getenv("DAWDLEX_KILLS");
    const int count = text ? std::atoi(text) : 0;
    return count > 0 ? count : 20;
}

std::string describe(const StoreContents& contents)
{
    std::ostringstream out;
    for (const auto& [path, values] : contents) {
        out << "  [" << path << "]";
        for (const StoredValue& value : values)
            out << " " << value.name << "(" << value.data.size() << ")";
        out << "\n";
    }
    return out.str();
}

// Every value of the churn is a payload written at the step its counter names.
int checkPayloads(const StoreContents& contents, std::uint64_t steps)
{
    int checked = 0;
    for (const auto& [path, values] : contents) {
        for (const StoredValue& value : values) {
            const auto counter = payloadCounter(value.data);
            EXPECT_TRUE(counter && *counter <= steps) << path << "\\" << value.name << " is not whole";
            ++checked;
        }
    }
    return checked;
}

TEST(KillAtAnyMoment, EveryKillLeavesTheLastOrTheNextReportedState)
{
    FreshRegistry registry;
    const std::string storeFile = RegStorePath();
    const int kills = killCount();
    const auto seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);

    ChurnScript model;
    long valuesChecked = 0;
    int inFlightCommitted = 0;
    for (int round = 0; round < kills; ++round) {
        SCOPED_TRACE("kill " + std::to_string(round + 1));
        const std::uint64_t first = model.steps();
        WorkerProcess worker(workerProgram(), {"churn", std::to_string(first), "{fd}"},
                             WorkerProcess::Reports::Pipe);
        ASSERT_TRUE(worker.started());
        // Mostly short lives, so that kills also land while the store opens; now and then a long one.
        const int longest = round % 8 == 7 ? 200000 : 30000;
        ::usleep(std::uniform_int_distribution<int>(0, longest)(random));
        worker.kill();
        const int status = worker.wait();
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the writer ended by itself, status " << status;

        const std::vector<std::uint64_t> reported = worker.reports();
        for (std::size_t i = 0; i < reported.size(); ++i)
            ASSERT_EQ(reported[i], first + i) << "steps reported out of order";
        while (model.steps() < first + reported.size())
            model.advance();

        if (std::filesystem::exists(storeFile)) {
            ASSERT_EQ(checkStoreFile(storeFile), "ok");
        }
        StoreContents stored;
        ASSERT_EQ(readContents(ChurnScript::base, stored), ERROR_SUCCESS) << "the store no longer opens";
        RegStoreClose();
        if (stored != model.expected()) {
            ChurnScript next = model;
            next.advance();
            ASSERT_EQ(stored, next.expected()) << "stored:\n"
                                               << describe(stored) << "after the last reported step:\n"
                                               << describe(model.expected()) << "after the one in flight:\n"
                                               << describe(next.expected());
            model = next;
            ++inFlightCommitted;
        }
        valuesChecked += checkPayloads(stored, model.steps());
    }
    std::cout << "kills survived: " << kills << ", steps: " << model.steps()
              << ", kills after an unreported commit: " << inFlightCommitted
              << ", values checked: " << valuesChecked << std::endl;
}

// Kills in the first milliseconds of a first start, while the store is being made: the next start always
// finds a working store, and nothing of the half-made one is left beside it.
TEST(KillAtAnyMoment, AKillDuringTheFirstStartNeverLeavesABrokenStore)
{
    const auto seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    int leftovers = 0;
    const int rounds = 30;
    for (int round = 0; round < rounds; ++round) {
        FreshRegistry registry;
        WorkerProcess worker(workerProgram(), {"churn", "0", "{fd}"}, WorkerProcess::Reports::Pipe);
        ASSERT_TRUE(worker.started());
        ::usleep(std::uniform_int_distribution<int>(0, 8000)(random));
        worker.kill();
        worker.wait();
        const std::vector<std::uint64_t> reported = worker.reports();

        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ChurnScript::base, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS)
            << "round " << round << ", killed after " << reported.size() << " steps";
        RegCloseKey(key);
        ASSERT_EQ(checkStoreFile(RegStorePath()), "ok");
        RegStoreClose();
        for (const auto& entry : std::filesystem::directory_iterator(registry.configHome() / "dawdlex"))
            leftovers += entry.path().filename().string().find(".new-") != std::string::npos;
    }
    EXPECT_EQ(leftovers, 0) << "files of half-made stores were left behind";
    std::cout << "first starts killed: " << rounds << std::endl;
}

} // namespace
