#include "SettingsStore.h"

#include "CRegistry.h"
#include "FreshRegistry.h"
#include "RawRegistry.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winreg_store.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace dawdlex {
namespace {

using namespace std::string_literals;

constexpr char kSubKey[] = "Software\\Pendlewick\\Dawdlex";

// Each test gets an empty store of its own.
class SettingsStoreTest : public ::testing::Test, protected RawRegistry
{
protected:
    static void storeRaw(const std::string& name, DWORD type, const std::string& bytes)
    {
        setRaw(kSubKey, name, type, {bytes.begin(), bytes.end()});
    }

    // A text as a REG_SZ value, terminator included, the way other programs store one.
    static void storeText(const std::string& name, const std::string& text)
    {
        storeRaw(name, REG_SZ, text + '\0');
    }

    static std::vector<std::string> storedNames() { return valueNamesRaw(kSubKey); }

    static std::string storedBytes(const std::string& name)
    {
        const StoredValue value = queryRaw(kSubKey, name);
        return {value.data.begin(), value.data.end()};
    }

    static Settings load(SettingsLoad expected = SettingsLoad::Loaded)
    {
        Settings settings;
        EXPECT_EQ(loadSettings(settings), expected);
        return settings;
    }

    FreshRegistry freshRegistry;
};

TEST_F(SettingsStoreTest, FirstLoadCreatesAnEmptyKeyAndKeepsTheDefaults)
{
    EXPECT_EQ(load(SettingsLoad::KeyCreated), Settings{});
    EXPECT_TRUE(CRegistry().KeyExists(kSettingsKey));
    EXPECT_TRUE(storedNames().empty());
    EXPECT_EQ(load(SettingsLoad::Loaded), Settings{}) << "the second start finds the key";
}

TEST_F(SettingsStoreTest, SaveWritesSixteenStringsInOrder)
{
    (void)load(SettingsLoad::KeyCreated);
    EXPECT_TRUE(saveSettings(Settings{}));

    // An empty text is stored as a single NUL character.
    const std::vector<std::pair<std::string, std::string>> expected{{"Title", "Processing...\0"s},
                                                                    {"Status0", "Reading Files...\0"s},
                                                                    {"Speed0", "50\0"s},
                                                                    {"Status1", "Linking Data...\0"s},
                                                                    {"Speed1", "200\0"s},
                                                                    {"Status2", "Updating...\0"s},
                                                                    {"Speed2", "400\0"s},
                                                                    {"Status3", "\0\0"s},
                                                                    {"Speed3", "200\0"s},
                                                                    {"Status4", "\0\0"s},
                                                                    {"Speed4", "200\0"s},
                                                                    {"Dual", "1\0"s},
                                                                    {"Saver", "0\0"s},
                                                                    {"Icon", "0\0"s},
                                                                    {"CustIconPath", "\0\0"s},
                                                                    {"ButtonText", "Cancel\0"s}};
    std::vector<std::pair<std::string, std::string>> saved;
    for (const std::string& name : storedNames()) {
        EXPECT_EQ(queryRaw(kSubKey, name).type, DWORD(REG_SZ)) << name;
        saved.emplace_back(name, storedBytes(name));
    }
    EXPECT_EQ(saved, expected);
}

TEST_F(SettingsStoreTest, EverySettingComesBackIncludingEmptyTexts)
{
    (void)load(SettingsLoad::KeyCreated);
    Settings edited;
    edited.title = "Défragmentation";
    edited.buttonText = "";
    for (std::size_t i = 0; i < Settings::kPhaseCount; ++i) {
        edited.statuses[i] = "Phase " + std::to_string(i);
        edited.delays[i] = std::to_string(100 * (i + 1));
    }
    edited.statuses[2] = "";
    edited.dualBars = false;
    edited.disableScreenSaver = true;
    edited.icon = Settings::kCustomIcon;
    edited.customIconPath = "/home/someone/pictures/my icon.ico";
    ASSERT_TRUE(saveSettings(edited));

    EXPECT_EQ(load(), edited);
}

TEST_F(SettingsStoreTest, ValuesDeletedByHandKeepTheirSettings)
{
    (void)load(SettingsLoad::KeyCreated);
    Settings edited;
    edited.title = "Mine";
    edited.delays[1] = "999";
    edited.icon = 3;
    edited.dualBars = false;
    edited.buttonText = "Halt";
    ASSERT_TRUE(saveSettings(edited));
    {
        CRegistry edit;
        ASSERT_TRUE(edit.OpenKey(kSettingsKey));
        for (const char* name : {"Title", "Speed1", "Icon", "Dual"}) {
            ASSERT_TRUE(edit.DeleteValue(name)) << name;
        }
    }

    Settings expected;
    expected.buttonText = "Halt";
    EXPECT_EQ(load(), expected);
}

// One stored value, put in by hand next to an otherwise empty key, and what the load makes of it.
struct LoadCase
{
    const char* name;
    std::string stored;
    std::string expected; // the text, "checked"/"clear", or the icon entry's index
};

void PrintTo(const LoadCase& c, std::ostream* os)
{
    *os << c.name << '=' << ::testing::PrintToString(c.stored);
}

class StoredValueLoad : public SettingsStoreTest, public ::testing::WithParamInterface<LoadCase>
{
};

std::string loadedAs(const Settings& settings, const std::string& name)
{
    if (name == "Dual" || name == "Saver") {
        return (name == "Dual" ? settings.dualBars : settings.disableScreenSaver) ? "checked" : "clear";
    }
    if (name == "Icon") {
        return std::to_string(settings.icon);
    }
    if (name == "Title") {
        return settings.title;
    }
    return settings.delays.at(std::size_t(name.back() - '0'));
}

TEST_P(StoredValueLoad, TakesOnlyWhatItsSettingCanUse)
{
    const LoadCase& c = GetParam();
    makeKey(kSubKey);
    storeText(c.name, c.stored);
    storeText("ButtonText", "Still loaded");

    const Settings settings = load();

    EXPECT_EQ(loadedAs(settings, c.name), c.expected);
    EXPECT_EQ(settings.buttonText, "Still loaded");
}

INSTANTIATE_TEST_SUITE_P(
    Table, StoredValueLoad,
    ::testing::Values(
        // Delays are corrected into 1..50000.
        LoadCase{"Speed1", "0", "1"}, LoadCase{"Speed1", "70000", "50000"}, LoadCase{"Speed1", "-5", "1"},
        LoadCase{"Speed1", "abc", "1"}, LoadCase{"Speed4", "1234", "1234"},
        LoadCase{"Speed0", "5abc", "5abc"},
        // The icon index: read leniently, halves to the even neighbour; outside the list keeps entry 0.
        LoadCase{"Icon", "3.5", "4"}, LoadCase{"Icon", "2.5", "2"}, LoadCase{"Icon", "7", "7"},
        LoadCase{"Icon", "6.7", "7"}, LoadCase{"Icon", "5 apples", "5"}, LoadCase{"Icon", "-1", "0"},
        LoadCase{"Icon", "8", "0"}, LoadCase{"Icon", "7.5", "0"}, LoadCase{"Icon", "99999", "0"},
        LoadCase{"Icon", "1e300", "0"}, LoadCase{"Icon", "Folder", "0"},
        // Check boxes take only 0 and 1, by the strict conversion; anything else keeps the default.
        LoadCase{"Dual", "0", "clear"}, LoadCase{"Dual", " 0 ", "clear"}, LoadCase{"Dual", "0.4", "clear"},
        LoadCase{"Dual", "2", "checked"}, LoadCase{"Dual", "-1", "checked"},
        LoadCase{"Dual", "False", "checked"}, LoadCase{"Dual", "0x", "checked"},
        LoadCase{"Saver", "1", "checked"}, LoadCase{"Saver", "1.5", "clear"},
        LoadCase{"Saver", "yes", "clear"}, LoadCase{"Saver", "70000", "clear"},
        // A text ends at its first NUL character.
        LoadCase{"Title", "ab\0cd"s, "ab"}, LoadCase{"Title", "\0"s, ""},
        LoadCase{"Dual",
                 "0\0"s
                 "1",
                 "clear"}));

TEST_F(SettingsStoreTest, HostileValuesNeverStopTheLoad)
{
    makeKey(kSubKey);
    storeText("Speed0", std::string(100000, '9'));
    storeRaw("Dual", REG_DWORD, "\x00\x00\x00\x00"s);
    storeRaw("Saver", REG_BINARY, "\x01"s);
    storeRaw("Icon", REG_DWORD, "\x03\x00\x00\x00"s);
    storeRaw("Status0", REG_NONE, ""s);
    storeRaw("Status1", REG_MULTI_SZ, "one\0two\0\0"s);
    storeRaw("CustIconPath", REG_BINARY, std::string(5000, '\0'));
    storeText("ButtonText", "Done");

    Settings expected;
    expected.delays[0] = "50000";
    expected.statuses[1] = "one";
    expected.buttonText = "Done";
    EXPECT_EQ(load(), expected);
}

TEST_F(SettingsStoreTest, ReadOnlyKeyIsUnavailableAndIsNotWritten)
{
    storeText("Title", "Kept");
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, kSubKey, TRUE), ERROR_SUCCESS);

    EXPECT_EQ(load(SettingsLoad::KeyUnavailable), Settings{});
    Settings edited;
    edited.title = "Edited";
    EXPECT_FALSE(saveSettings(edited));
    EXPECT_EQ(storedNames(), std::vector<std::string>{"Title"});
    EXPECT_EQ(storedBytes("Title"), "Kept\0"s);
}

TEST_F(SettingsStoreTest, SaveNeverCreatesTheKey)
{
    EXPECT_FALSE(saveSettings(Settings{}));
    EXPECT_FALSE(CRegistry().KeyExists(kSettingsKey));

    ASSERT_TRUE(CRegistry().CreateKey("HKEY_CURRENT_USER\\Software\\Pendlewick"));
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, "Software\\Pendlewick", TRUE), ERROR_SUCCESS);
    EXPECT_EQ(load(SettingsLoad::KeyUnavailable), Settings{});
    EXPECT_FALSE(saveSettings(Settings{}));
    EXPECT_FALSE(CRegistry().KeyExists(kSettingsKey));
}

} // namespace
} // namespace dawdlex
