#include "SettingsStore.h"
#include "MessageBoxes.h"
#include "OptionsWindow.h"
#include "FreshRegistry.h"
#include "OptionsFakes.h"
#include "RawRegistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <gtest/gtest.h>
#include <windows.h>
#include <winreg_store.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dawdlex {
namespace {

using namespace std::string_literals;

constexpr char kSubKey[] = "Software\\Pendlewick\\Dawdlex";
constexpr char kWelcome[] = "Welcome to the Dawdlex.  Click on the gear icon for options.  Enjoy!";

// The stored settings as the Options window loads, shows and saves them; the store's own rules are
// SettingsStoreTest's. Each test gets an empty store of its own and recorded boxes and platform calls.
class OptionsWindowSettingsTest : public ::testing::Test, protected OptionsFakes, protected RawRegistry
{
protected:
    // A start of the program as far as the settings go: a fresh Options window loaded from the store.
    std::unique_ptr<OptionsWindow> start()
    {
        auto form = std::make_unique<OptionsWindow>(seams());
        form->loadStoredSettings();
        return form;
    }

    // The settings of a run that saved what `edit` set in the controls, ready for a second start.
    void savedRun(const std::function<void(OptionsWindow&)>& edit)
    {
        auto form = start();
        edit(*form);
        form->saveStoredSettings();
        messages.clear();
        saverCalls.clear();
    }

    static std::string storedBytes(const std::string& name)
    {
        const StoredValue value = queryRaw(kSubKey, name);
        return {value.data.begin(), value.data.end()};
    }

    FreshRegistry freshRegistry;
};

TEST_F(OptionsWindowSettingsTest, FirstStartWelcomesAndKeepsTheDefaults)
{
    auto form = start();

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kWelcome);
    EXPECT_EQ(messages[0].symbol, MessageSymbol::Information);
    expectDefaults(*form);
    EXPECT_TRUE(saverCalls.empty());
}

TEST_F(OptionsWindowSettingsTest, SecondStartShowsWhatTheControlsHeldSilently)
{
    savedRun([](OptionsWindow& form) {
        form.titleEdit()->setText(QStringLiteral("Défragmentation"));
        form.buttonTextEdit()->clear();
        for (std::size_t i = 0; i < 5; ++i) {
            form.statusEdits()[i]->setText(QStringLiteral("Phase %1").arg(i));
            form.delayEdits()[i]->setText(QString::number(100 * (i + 1)));
        }
        form.delayEdits()[4]->setText(QStringLiteral("0"));
        form.dualBarsCheck()->setChecked(false);
        form.disableSaverCheck()->setChecked(true);
        form.iconChoice()->setCurrentIndex(7);
    });
    EXPECT_EQ(storedBytes("Speed4"), "1\0"s) << "the corrected delay";

    auto form = start();

    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(form->titleEdit()->text(), QStringLiteral("Défragmentation"));
    EXPECT_EQ(form->buttonTextEdit()->text(), "");
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(form->statusEdits()[i]->text(), QStringLiteral("Phase %1").arg(i));
        EXPECT_EQ(form->delayEdits()[i]->text(), QString::number(100 * (i + 1)));
    }
    EXPECT_EQ(form->delayEdits()[4]->text(), "1");
    EXPECT_FALSE(form->dualBarsCheck()->isChecked());
    EXPECT_TRUE(form->disableSaverCheck()->isChecked());
    EXPECT_EQ(form->iconChoice()->currentIndex(), 7);
    EXPECT_EQ(form->customIconPathEdit()->text(), "");
    // The loaded screen-saver choice acts at once; the hidden window opens no file dialog.
    EXPECT_EQ(saverCalls, std::vector<bool>{false});
    EXPECT_EQ(browseCalls, 0);
}

TEST_F(OptionsWindowSettingsTest, LongTextsStayWholeAndBrokenOnesAreSavedAsTheControlHoldsThem)
{
    const std::string huge(200000, 'x');
    const std::string hugeStored = huge + '\0';
    setRaw(kSubKey, "Title", REG_SZ, {hugeStored.begin(), hugeStored.end()});
    const std::string broken = "caf\xe9 \xff"s + '\0';
    setRaw(kSubKey, "ButtonText", REG_SZ, {broken.begin(), broken.end()});

    auto form = start();
    // Longer than a line edit takes by default: it stays whole, and the save writes it back whole.
    EXPECT_EQ(form->titleEdit()->text().size(), qsizetype(huge.size()));
    EXPECT_EQ(form->buttonTextEdit()->text(), QStringLiteral("caf\uFFFD \uFFFD"));

    form->saveStoredSettings();
    EXPECT_EQ(storedBytes("Title"), huge + '\0');
    EXPECT_EQ(storedBytes("ButtonText"), "caf\xef\xbf\xbd \xef\xbf\xbd\0"s);
}

TEST_F(OptionsWindowSettingsTest, UnavailableKeyWarnsAndKeepsTheDefaults)
{
    setRaw(kSubKey, "Title", REG_SZ, {'K', 'e', 'p', 't', '\0'});
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, kSubKey, TRUE), ERROR_SUCCESS);

    auto form = start();

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error creating registry key");
    EXPECT_EQ(messages[0].symbol, MessageSymbol::Warning);
    expectDefaults(*form);
}

} // namespace
} // namespace dawdlex
