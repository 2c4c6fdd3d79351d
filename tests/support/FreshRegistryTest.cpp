#include "FreshRegistry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

bool keyExists(const char* subKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void makeKey(const char* subKey)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY)) << "the registry was not fresh";
    RegCloseKey(key);
}

#ifndef _WIN32
// Outside a FreshRegistry nothing here may reach a store: it would be the user's own.
class FreshRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", "/nonexistent/dawdlex-outside", 1); }
    void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }
};
#else
using FreshRegistryTest = ::testing::Test;
#endif

TEST_F(FreshRegistryTest, EachOneStartsEmptyAndLeavesNothingBehind)
{
    {
        FreshRegistry first;
        makeKey("Software\\Pendlewick\\Dawdlex");
    }
    {
        FreshRegistry second;
        EXPECT_FALSE(keyExists("Software\\Pendlewick"));
        makeKey("Software\\Pendlewick\\Dawdlex");
    }
#ifdef _WIN32
    // The redirection is over: this is the real HKEY_CURRENT_USER again, and nothing was left in it.
    EXPECT_FALSE(keyExists("Software\\DawdlexTests"));
    EXPECT_TRUE(keyExists("Software"));
#endif
}

#ifndef _WIN32
TEST_F(FreshRegistryTest, TheConfigurationFolderIsTemporaryAndTheVariableComesBack)
{
    std::filesystem::path folder;
    {
        FreshRegistry registry;
        folder = registry.configHome();
        EXPECT_EQ(std::string(std::getenv("XDG_CONFIG_HOME")), folder.string());
        makeKey("Software\\Kept");
        EXPECT_TRUE(std::filesystem::exists(folder / "dawdlex"));
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(std::string(std::getenv("XDG_CONFIG_HOME")), "/nonexistent/dawdlex-outside");
}
#endif

} // namespace
