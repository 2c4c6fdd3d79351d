// The program ending with a full disk: the save fails quietly, each stored setting stays whole, and with
// no room at all the settings of the last good save stay exactly as they were.
#include "ChurnScript.h"
#include "WorkerProcess.h"

#include "FreshRegistry.h"

#include <windows.h>
#include <winreg_store.h>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <iostream>

using namespace dawdlex::reliability;

namespace {

constexpr char kSettingsKey[] = "Software\\Pendlewick";

std::vector<StoredValue> storedSettings()
{
    RegStoreClose();
    EXPECT_EQ(checkStoreFile(RegStorePath()), "ok");
    StoreContents contents;
    EXPECT_EQ(readContents(kSettingsKey, contents), ERROR_SUCCESS);
    RegStoreClose();
    return contents["Dawdlex"];
}

// Runs the program's load-change-save once; true when it ended normally and said nothing on saving.
bool saveRun(const char* variant, const char* disk = nullptr)
{
    std::vector<std::string> arguments{variant};
    if (disk)
        arguments.emplace_back(disk);
    WorkerProcess run(RELIABILITY_SETTINGS_WORKER, arguments);
    const int status = run.wait();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class SettingsDiskFull : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(saveRun("B"));
        variantB = storedSettings();
        ASSERT_TRUE(saveRun("A"));
        variantA = storedSettings();
        ASSERT_EQ(variantA.size(), 16u);
        ASSERT_EQ(variantB.size(), 16u);
        ASSERT_NE(variantA, variantB);
    }

    FreshRegistry registry;
    std::vector<StoredValue> variantA;
    std::vector<StoredValue> variantB;
};

TEST_F(SettingsDiskFull, NoRoomKeepsTheLastGoodSave)
{
    EXPECT_TRUE(saveRun("B", "full"));
    EXPECT_EQ(storedSettings(), variantA);
}

TEST_F(SettingsDiskFull, RoomForSomeLeavesEachSettingWhole)
{
    EXPECT_TRUE(saveRun("B", "nearly-full"));
    const std::vector<StoredValue> after = storedSettings();
    ASSERT_EQ(after.size(), variantA.size());
    int saved = 0;
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_TRUE(after[i] == variantA[i] || after[i] == variantB[i]) << after[i].name << " is neither";
        saved += after[i] == variantB[i] && variantA[i] != variantB[i];
    }
    std::cout << "settings saved before the disk was full: " << saved << " of " << after.size() << std::endl;
    // The next save with room again stores them all.
    EXPECT_TRUE(saveRun("B"));
    EXPECT_EQ(storedSettings(), variantB);
}

} // namespace
