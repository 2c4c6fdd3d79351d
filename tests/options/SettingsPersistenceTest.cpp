#include "options/SettingsPersistence.h"

#include "options/OptionsWindow.h"
#include "options/MessageBoxes.h"
#include "registry/CRegistry.h"
#include "tests/support/FreshRegistry.h"
#include "tests/support/OptionsFakes.h"
#include "tests/support/RawRegistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <gtest/gtest.h>
#include <windows.h>
#include <winreg_store.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace dawdlex {
namespace {

using namespace std::string_literals;

constexpr char kSubKey[] = "Software\\Pendlewick\\Dawdlex";
constexpr char kWelcome[] = "Welcome to the Dawdlex.  Click on the gear icon for options.  Enjoy!";

// Each test gets an empty store of its own, message boxes that record instead of blocking, and Options
// windows whose platform calls are recorded.
class SettingsPersistenceTest : public ::testing::Test, protected OptionsFakes, protected RawRegistry
{
protected:
    std::unique_ptr<OptionsWindow> makeForm() { return std::make_unique<OptionsWindow>(seams()); }

    // A start of the program as far as the settings go: a fresh Options window loaded from the store.
    std::unique_ptr<OptionsWindow> start()
    {
        auto form = makeForm();
        loadSettings(*form);
        return form;
    }

    // The settings of a run that saved what `edit` set, ready for a second start.
    void savedRun(const std::function<void(OptionsWindow&)>& edit)
    {
        auto form = start();
        edit(*form);
        saveSettings(*form);
        messages.clear();
        saverCalls.clear();
    }

    static void storeRaw(const std::string& name, DWORD type, const std::string& bytes)
    {
        setRaw(kSubKey, name, type, {bytes.begin(), bytes.end()});
    }

    // A text as a REG_SZ value, terminator included, the way other programs store one.
    static void storeText(const std::string& name, const std::string& text)
    {
        storeRaw(name, REG_SZ, text + '\0');
    }

    static void createKey()
    {
        CRegistry create;
        ASSERT_TRUE(create.CreateKey(kSettingsKey));
    }

    static std::vector<std::string> storedNames() { return valueNamesRaw(kSubKey); }

    static std::string storedBytes(const std::string& name)
    {
        const StoredValue value = queryRaw(kSubKey, name);
        return {value.data.begin(), value.data.end()};
    }

    FreshRegistry freshRegistry;
};

TEST_F(SettingsPersistenceTest, FirstStartWelcomesAndLeavesAnEmptyKey)
{
    auto form = start();

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kWelcome);
    EXPECT_EQ(messages[0].symbol, MessageSymbol::Information);
    CRegistry check;
    EXPECT_TRUE(check.OpenKey(kSettingsKey));
    EXPECT_TRUE(storedNames().empty());
    expectDefaults(*form);
    EXPECT_TRUE(saverCalls.empty());
}

TEST_F(SettingsPersistenceTest, SaveWritesSixteenStringsInOrder)
{
    auto form = start();
    saveSettings(*form);

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

TEST_F(SettingsPersistenceTest, SecondStartRestoresEverySettingSilently)
{
    savedRun([](OptionsWindow& form) {
        form.titleEdit->setText(QStringLiteral("Défragmentation"));
        form.buttonTextEdit->setText(QStringLiteral("Stop"));
        for (std::size_t i = 0; i < 5; ++i) {
            form.statusEdits[i]->setText(QStringLiteral("Phase %1").arg(i));
            form.delayEdits[i]->setText(QString::number(100 * (i + 1)));
        }
        form.dualBarsCheck->setChecked(false);
        form.disableSaverCheck->setChecked(true);
        form.customIconPathEdit->setText(QStringLiteral("/home/someone/pictures/my icon.ico"));
        form.iconChoice->setCurrentIndex(7);
    });
    EXPECT_EQ(storedBytes("Saver"), "1\0"s);
    EXPECT_EQ(storedBytes("Dual"), "0\0"s);

    auto form = start();

    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(form->titleEdit->text(), QStringLiteral("Défragmentation"));
    EXPECT_EQ(form->buttonTextEdit->text(), "Stop");
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(form->statusEdits[i]->text(), QStringLiteral("Phase %1").arg(i));
        EXPECT_EQ(form->delayEdits[i]->text(), QString::number(100 * (i + 1)));
    }
    EXPECT_FALSE(form->dualBarsCheck->isChecked());
    EXPECT_TRUE(form->disableSaverCheck->isChecked());
    EXPECT_EQ(form->iconChoice->currentIndex(), 7);
    EXPECT_EQ(form->customIconPathEdit->text(), "/home/someone/pictures/my icon.ico");
    // The loaded screen-saver choice acts at once; the hidden window opens no file dialog.
    EXPECT_EQ(saverCalls, std::vector<bool>{false});
    EXPECT_EQ(browseCalls, 0);
}

TEST_F(SettingsPersistenceTest, EmptyTextsComeBackEmptyAndAnEmptyCustomPathOpensNoDialogWhileHidden)
{
    savedRun([](OptionsWindow& form) {
        form.statusEdits[2]->clear();
        form.titleEdit->clear();
        form.buttonTextEdit->clear();
        form.iconChoice->setCurrentIndex(7);
    });

    auto form = start();

    EXPECT_EQ(texts(form->statusEdits), (QStringList{"Reading Files...", "Linking Data...", "", "", ""}));
    EXPECT_EQ(form->titleEdit->text(), "");
    EXPECT_EQ(form->buttonTextEdit->text(), "");
    EXPECT_EQ(form->iconChoice->currentIndex(), 7);
    EXPECT_EQ(form->customIconPathEdit->text(), "");
    EXPECT_EQ(browseCalls, 0);
}

TEST_F(SettingsPersistenceTest, ValuesDeletedByHandComeBackAsDefaults)
{
    savedRun([](OptionsWindow& form) {
        form.titleEdit->setText(QStringLiteral("Mine"));
        form.delayEdits[1]->setText(QStringLiteral("999"));
        form.iconChoice->setCurrentIndex(3);
        form.dualBarsCheck->setChecked(false);
        form.buttonTextEdit->setText(QStringLiteral("Halt"));
    });
    {
        CRegistry edit;
        ASSERT_TRUE(edit.OpenKey(kSettingsKey));
        for (const char* name : {"Title", "Speed1", "Icon", "Dual"}) {
            ASSERT_TRUE(edit.DeleteValue(name)) << name;
        }
    }

    auto form = start();

    EXPECT_EQ(form->titleEdit->text(), "Processing...");
    EXPECT_EQ(form->delayEdits[1]->text(), "200");
    EXPECT_EQ(form->iconChoice->currentIndex(), 0);
    EXPECT_TRUE(form->dualBarsCheck->isChecked());
    EXPECT_EQ(form->buttonTextEdit->text(), "Halt");
    EXPECT_TRUE(messages.empty());
}

// One stored value, put in by hand next to an otherwise empty key, and what the start makes of it.
struct LoadCase
{
    const char* name;
    std::string stored;
    const char* expected; // the control's text, "checked"/"clear", or the icon entry's index
};

void PrintTo(const LoadCase& c, std::ostream* os)
{
    *os << c.name << '=' << ::testing::PrintToString(c.stored);
}

class StoredValueLoad : public SettingsPersistenceTest, public ::testing::WithParamInterface<LoadCase>
{
};

QString loadedAs(const OptionsWindow& form, const std::string& name)
{
    if (name == "Dual" || name == "Saver") {
        const QCheckBox* box = name == "Dual" ? form.dualBarsCheck : form.disableSaverCheck;
        return box->isChecked() ? QStringLiteral("checked") : QStringLiteral("clear");
    }
    if (name == "Icon") {
        return QString::number(form.iconChoice->currentIndex());
    }
    if (name == "Title") {
        return form.titleEdit->text();
    }
    return form.delayEdits[std::size_t(name.back() - '0')]->text();
}

TEST_P(StoredValueLoad, LoadsThroughTheControl)
{
    const LoadCase& c = GetParam();
    createKey();
    storeText(c.name, c.stored);
    storeText("ButtonText", "Still loaded");

    auto form = start();

    EXPECT_EQ(loadedAs(*form, c.name), QString::fromUtf8(c.expected));
    EXPECT_EQ(form->buttonTextEdit->text(), "Still loaded");
    EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, StoredValueLoad,
    ::testing::Values(
        // Delays are corrected into 1..50000 as the box takes them.
        LoadCase{"Speed1", "0", "1"}, LoadCase{"Speed1", "70000", "50000"}, LoadCase{"Speed1", "-5", "1"},
        LoadCase{"Speed1", "abc", "1"}, LoadCase{"Speed4", "1234", "1234"},
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
        // A text ends at its first NUL character; bytes that are not UTF-8 do not stop the load.
        LoadCase{"Title", "ab\0cd"s, "ab"}, LoadCase{"Title", "\0"s, ""},
        LoadCase{"Dual",
                 "0\0"s
                 "1",
                 "clear"},
        LoadCase{"Title", "caf\xe9 \xff", "caf\xef\xbf\xbd \xef\xbf\xbd"}));

TEST_F(SettingsPersistenceTest, HostileValuesNeverStopTheLoad)
{
    createKey();
    const std::string huge(200000, 'x');
    storeText("Title", huge);
    storeText("Speed0", std::string(100000, '9'));
    storeRaw("Dual", REG_DWORD, "\x00\x00\x00\x00"s);
    storeRaw("Saver", REG_BINARY, "\x01"s);
    storeRaw("Icon", REG_DWORD, "\x03\x00\x00\x00"s);
    storeRaw("Status0", REG_NONE, ""s);
    storeRaw("Status1", REG_MULTI_SZ, "one\0two\0\0"s);
    storeRaw("CustIconPath", REG_BINARY, std::string(5000, '\0'));
    storeText("ButtonText", "Done");

    auto form = start();

    EXPECT_TRUE(huge.starts_with(form->titleEdit->text().toStdString()));
    EXPECT_FALSE(form->titleEdit->text().isEmpty());
    EXPECT_EQ(form->delayEdits[0]->text(), "50000");
    EXPECT_TRUE(form->dualBarsCheck->isChecked());
    EXPECT_FALSE(form->disableSaverCheck->isChecked());
    EXPECT_EQ(form->iconChoice->currentIndex(), 0);
    EXPECT_EQ(form->statusEdits[0]->text(), "Reading Files...");
    EXPECT_EQ(form->statusEdits[1]->text(), "one");
    EXPECT_EQ(form->customIconPathEdit->text(), "");
    EXPECT_EQ(form->buttonTextEdit->text(), "Done");
    EXPECT_TRUE(saverCalls.empty());
}

TEST_F(SettingsPersistenceTest, ReadOnlyKeyWarnsKeepsDefaultsAndIsNotWritten)
{
    createKey();
    storeText("Title", "Kept");
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, kSubKey, TRUE), ERROR_SUCCESS);

    for (int run = 0; run < 2; ++run) {
        messages.clear();
        auto form = start();
        ASSERT_EQ(messages.size(), 1u) << run;
        EXPECT_EQ(messages[0].text, "Error creating registry key");
        EXPECT_EQ(messages[0].symbol, MessageSymbol::Warning);
        expectDefaults(*form);
        form->titleEdit->setText(QStringLiteral("Edited"));
        messages.clear();
        saveSettings(*form);
        EXPECT_TRUE(messages.empty());
    }
    EXPECT_EQ(storedNames(), std::vector<std::string>{"Title"});
    EXPECT_EQ(storedBytes("Title"), "Kept\0"s);
}

TEST_F(SettingsPersistenceTest, KeyThatCannotBeCreatedWarnsAndSaveCreatesNothing)
{
    ASSERT_TRUE(CRegistry().CreateKey("HKEY_CURRENT_USER\\Software\\Pendlewick"));
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, "Software\\Pendlewick", TRUE), ERROR_SUCCESS);

    auto form = start();
    saveSettings(*form);

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error creating registry key");
    CRegistry check;
    EXPECT_FALSE(check.KeyExists(kSettingsKey));
}

TEST_F(SettingsPersistenceTest, SaveNeverCreatesTheKey)
{
    auto form = makeForm();
    saveSettings(*form);

    CRegistry check;
    EXPECT_FALSE(check.KeyExists(kSettingsKey));
    EXPECT_TRUE(messages.empty());
}

} // namespace
} // namespace dawdlex
