#include "RegistryFixture.h"

#include "RootKeys.h"
#include "RunningUnderWine.h"

#include <windows.h>
#ifndef _WIN32
#include <winreg_store.h>
#endif

#include <algorithm>

namespace {

using Keys = RegistryFixture;

TEST(RootKeys, NamesStandForThePredefinedHandles)
{
    const std::vector<std::pair<std::string_view, HKEY>> expected{
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {"HKEY_USERS", HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}, {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    };
    ASSERT_EQ(dawdlex::kRootKeys.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(dawdlex::kRootKeys[i].name, expected[i].first);
        EXPECT_EQ(dawdlex::kRootKeys[i].handle(), expected[i].second) << expected[i].first;
    }
}

TEST_F(Keys, OpenKeySplitsPathsAndSetsCurrentPathAndKey)
{
    makeKey(baseSubKey + "\\Child");
    struct Case
    {
        std::string path;
        bool opens;
        std::string currentKey;
    };
    const std::vector<Case> cases{
        {"HKEY_CURRENT_USER", true, "HKEY_CURRENT_USER"},
        {base, true, "DawdlexRegistryTest"},
        {base + "\\Child", true, "Child"},
        {base + "\\", true, ""},
        {"hkey_current_user\\" + baseSubKey, false, ""},
        {"HKCU\\" + baseSubKey, false, ""},
        {"HKEY_PERFORMANCE_DATA", false, ""},
        {"\\HKEY_CURRENT_USER", false, ""},
        {"HKEY_CURRENT_USER_\\" + baseSubKey, false, ""},
        {base + "\\Missing", false, ""},
        {"Child", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CRegistry registry;
        ASSERT_TRUE(registry.OpenKey(base + "\\Child"));
        EXPECT_EQ(registry.OpenKey(c.path), c.opens);
        // A failed open still closes the key that was open before.
        EXPECT_EQ(registry.CurrentPath(), c.opens ? c.path : "");
        EXPECT_EQ(registry.CurrentKey(), c.currentKey);
        EXPECT_EQ(registry.CloseKey(), c.opens);
        EXPECT_EQ(registry.CurrentPath(), "");
        EXPECT_EQ(registry.CurrentKey(), "");
    }
}

TEST_F(Keys, NoKeyOpenLeavesOutputsAlone)
{
    CRegistry registry;
    EXPECT_FALSE(registry.CloseKey());
    EXPECT_FALSE(registry.HasSubKeys());
    std::vector<std::string> names{"kept"};
    int32_t count = 42;
    EXPECT_FALSE(registry.EnumerateKeys(names, count));
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    EXPECT_EQ(count, 42);
    EXPECT_FALSE(registry.CreateKey("Relative"));
    EXPECT_FALSE(registry.DeleteKey("Relative"));
}

TEST_F(Keys, CreateKeyIsTrueOnlyForANewKeyAndLeavesTheCurrentKey)
{
    CRegistry registry;
    EXPECT_TRUE(registry.CreateKey(base));
    EXPECT_FALSE(registry.CreateKey(base));
    EXPECT_EQ(registry.CurrentPath(), "");

    ASSERT_TRUE(registry.OpenKey(base));
    EXPECT_TRUE(registry.CreateKey(base + "\\Made"));
    EXPECT_EQ(registry.CurrentPath(), base);
    EXPECT_TRUE(registry.KeyExists(base + "\\Made"));

    // Relative paths go below the current key, for create and delete only.
    EXPECT_TRUE(registry.CreateKey("Sub\\Child"));
    EXPECT_TRUE(registry.KeyExists(base + "\\Sub\\Child"));
    EXPECT_FALSE(registry.KeyExists("Sub\\Child"));
    EXPECT_FALSE(registry.OpenKey("Sub\\Child"));
}

TEST_F(Keys, CreateKeyOfABareRootOpensItAndCreatesNothing)
{
    SKIP_UNDER_WINE("creating a predefined key with no subkey path reports a new key");
    CRegistry registry;
    EXPECT_FALSE(registry.CreateKey("HKEY_CURRENT_USER"));
}

TEST_F(Keys, DeleteKeyProtectsOnlyTheExactCurrentPath)
{
    makeKey(baseSubKey + "\\Sub\\Child");
    makeKey(baseSubKey + "\\Leaf");
    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base + "\\Leaf"));
    EXPECT_FALSE(registry.DeleteKey(base + "\\Leaf"));
    EXPECT_TRUE(registry.KeyExists(base + "\\Leaf"));

    ASSERT_TRUE(registry.OpenKey(base));
    // A key that still has subkeys is the registry's to refuse; the class does not recurse.
    EXPECT_FALSE(registry.DeleteKey("Sub"));
    EXPECT_TRUE(registry.KeyExists(base + "\\Sub\\Child"));
    EXPECT_TRUE(registry.DeleteKey("Sub\\Child"));
    EXPECT_FALSE(registry.KeyExists(base + "\\Sub\\Child"));
    EXPECT_TRUE(registry.DeleteKey("Sub"));
    EXPECT_TRUE(registry.DeleteKey(base + "\\Leaf"));
    EXPECT_FALSE(registry.KeyExists(base + "\\Leaf"));
    EXPECT_FALSE(registry.DeleteKey(base + "\\Leaf"));
    EXPECT_EQ(registry.CurrentPath(), base);
}

TEST_F(Keys, EnumerateKeysListsSubkeysOrLeavesTheCountAlone)
{
    makeKey(baseSubKey);
    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    std::vector<std::string> names{"stale"};
    int32_t count = 42;
    EXPECT_FALSE(registry.HasSubKeys());
    EXPECT_FALSE(registry.EnumerateKeys(names, count));
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(count, 42);

    for (const char* name : {"Gamma", "Alpha", "Beta"})
        makeKey(baseSubKey + "\\" + name);
    EXPECT_TRUE(registry.HasSubKeys());
    EXPECT_TRUE(registry.EnumerateKeys(names, count));
    EXPECT_EQ(count, 3);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
}

TEST_F(Keys, KeyExistsNeedsFullAccessAndLeavesTheCurrentKey)
{
#ifdef _WIN32
    GTEST_SKIP() << "read-only keys are made with the store's own call";
#else
    makeKey(baseSubKey + "\\Locked");
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, (baseSubKey + "\\Locked").c_str(), TRUE),
              ERROR_SUCCESS);
    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    EXPECT_TRUE(registry.KeyExists(base));
    EXPECT_FALSE(registry.KeyExists(base + "\\Locked"));
    EXPECT_FALSE(registry.KeyExists(base + "\\Missing"));
    EXPECT_EQ(registry.CurrentPath(), base);
    EXPECT_FALSE(registry.CreateKey("Locked\\Below"));
#endif
}

TEST_F(Keys, HiveAndSearchPlaceholdersChangeNothing)
{
    makeKey(baseSubKey);
    for (const bool open : {false, true}) {
        SCOPED_TRACE(open);
        CRegistry registry;
        if (open) {
            ASSERT_TRUE(registry.OpenKey(base));
        }
        EXPECT_FALSE(registry.SaveKey());
        EXPECT_FALSE(registry.LoadKey());
        EXPECT_FALSE(registry.UnLoadKey());
        EXPECT_FALSE(registry.RestoreKey());
        EXPECT_FALSE(registry.ReplaceKey());
        EXPECT_TRUE(std::holds_alternative<std::monostate>(registry.FindKey()));
        EXPECT_TRUE(std::holds_alternative<std::monostate>(registry.FindValue()));
        EXPECT_EQ(registry.CurrentPath(), open ? base : "");
        EXPECT_EQ(registry.CloseKey(), open);
    }
}

} // namespace
