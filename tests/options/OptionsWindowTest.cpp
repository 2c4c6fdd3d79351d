#include "OptionsWindow.h"
#include "MainWindowLink.h"
#include "FreshRegistry.h"
#include "OptionsFakes.h"
#include "RawRegistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <winreg_store.h>

namespace dawdlex {
namespace {

// Records what Apply does to the main window, in order.
struct FakeMainWindow : MainWindowLink
{
    std::int32_t phase = 2;
    bool fileLoads = true;
    QStringList log;

    std::int32_t currentPhase() const override { return phase; }
    void setStatusCaption(const QString& text) override { log << "status " + text; }
    void setTimerInterval(std::int32_t ms) override { log << "interval " + QString::number(ms); }
    void setWindowCaption(const QString& text) override { log << "title " + text; }
    void setButtonCaption(const QString& text) override { log << "button " + text; }
    void setSecondBarVisible(bool visible) override { log << "second bar " + QString::number(visible); }
    void showBuiltInIcon(int index) override { log << "built-in " + QString::number(index); }
    bool showIconFile(const QString& path) override
    {
        log << "file " + path;
        return fileLoads;
    }
};

class OptionsWindowTest : public ::testing::Test, protected OptionsFakes
{
protected:
    OptionsWindowTest() { form.setMainWindow(&mainWindow); }

    FreshRegistry freshRegistry;
    FakeMainWindow mainWindow;
    OptionsWindow form{seams()};
};

// Apply and OK push the settings, with the current phase's message and delay, and leave the run's phase
// alone; OK and the close box hide the window; closing applies nothing and keeps the edits.
TEST_F(OptionsWindowTest, ApplyOkAndCloseEachDoTheirShare)
{
    const QStringList applied{"status Third", "interval 4",   "title Busy",
                              "button Stop",  "second bar 0", "built-in 3"};
    // Apply, OK, the close box.
    for (const int way : {0, 1, 2}) {
        mainWindow.log.clear();
        form.show();
        form.titleEdit()->setText("Busy");
        form.buttonTextEdit()->setText("Stop");
        form.statusEdits()[2]->setText("Third");
        form.delayEdits()[2]->setText("3.5");
        form.dualBarsCheck()->setChecked(false);
        form.iconChoice()->setCurrentIndex(3);
        if (way < 2) {
            (way == 0 ? form.applyButton() : form.okButton())->click();
        } else {
            EXPECT_FALSE(form.close());
        }
        EXPECT_EQ(mainWindow.log, way < 2 ? applied : QStringList()) << way;
        EXPECT_EQ(form.isVisible(), way == 0) << way;
        EXPECT_EQ(form.titleEdit()->text(), "Busy");
    }
}

TEST_F(OptionsWindowTest, DelayBoxesAreCorrectedAtOnce)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "1"}, {"0", "1"}, {"500000", "50000"}, {"750", "750"}, {"5abc", "5abc"}};
    QLineEdit* box = form.delayEdits()[4];
    form.show();
    for (const auto& [typed, kept] : cases) {
        box->setText("2");
        box->selectAll();
        QTest::keyClicks(box, typed);
        if (*typed == '\0')
            QTest::keyClick(box, Qt::Key_Backspace);
        EXPECT_EQ(box->text(), kept) << "typed " << typed;
        EXPECT_EQ(form.settings().delays[4], kept);
        box->setText(typed);
        EXPECT_EQ(box->text(), kept) << "set " << typed;
    }
}

// Entries 0 to 6 are built-in pictures; 7 is the custom picture file, which must exist and be a picture.
TEST_F(OptionsWindowTest, ChosenIconReachesTheMainWindowOrWarns)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString mine = dir.filePath("mine.ico");
    QFile file(mine);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const struct
    {
        int index;
        QString path;
        bool loads;
        QString shown, warning;
    } cases[] = {
        {0, "", true, "built-in 0", ""},
        {6, mine, true, "built-in 6", ""},
        {7, mine, true, "file " + mine, ""},
        {7, dir.filePath("gone.ico"), true, "", "Custom icon file does not exist."},
        {7, mine, false, "file " + mine, "The custom icon file is not a picture that can be shown."},
        {-1, mine, true, "", ""},
    };
    for (const auto& c : cases) {
        mainWindow.log.clear();
        mainWindow.fileLoads = c.loads;
        messages.clear();
        form.customIconPathEdit()->setText(c.path);
        form.iconChoice()->setCurrentIndex(c.index);
        EXPECT_EQ(form.applyChosenIcon(), c.warning.isEmpty()) << c.index;
        EXPECT_EQ(mainWindow.log.join(""), c.shown) << c.index;
        EXPECT_EQ(messages.size(), c.warning.isEmpty() ? 0u : 1u);
        EXPECT_EQ(messages.empty() ? QString() : messages[0].text, c.warning) << c.index;
    }
}

TEST_F(OptionsWindowTest, ScreenSaverBoxSwitchesAtOnceAndApplyLeavesItAlone)
{
    form.disableSaverCheck()->click();
    form.disableSaverCheck()->click();
    form.applyButton()->click();
    EXPECT_EQ(saverCalls, (std::vector<bool>{false, true}));
}

// A first start welcomes and saves what the controls hold; the next start shows it silently, every
// setting in its own control, a text longer than a line edit's default cap whole.
TEST_F(OptionsWindowTest, StoredSettingsComeBackIntoTheControls)
{
    form.loadStoredSettings();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Welcome to the Dawdlex.  Click on the gear icon for options.  Enjoy!");
    Settings edited;
    edited.title = std::string(200000, 'x');
    edited.buttonText = "Stop";
    edited.statuses = {"a", "b", "c", "d", "e"};
    edited.delays = {"10", "20", "30", "40", "1"};
    edited.dualBars = false;
    edited.disableScreenSaver = true;
    edited.icon = 7;
    edited.customIconPath = "/pictures/mine.ico";
    form.showSettings(edited);
    form.saveStoredSettings();
    messages.clear();
    saverCalls.clear();

    OptionsWindow next(seams());
    next.loadStoredSettings();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(next.settings(), edited);
    EXPECT_EQ(saverCalls, std::vector<bool>{false}) << "the loaded box acts at once";
}

TEST_F(OptionsWindowTest, UnavailableKeyWarnsAndKeepsWhatTheControlsHeld)
{
    const char* key = "Software\\Pendlewick\\Dawdlex";
    RawRegistry::makeKey(key);
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, key, TRUE), ERROR_SUCCESS);
    form.titleEdit()->setText("Mine");
    form.loadStoredSettings();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error creating registry key");
    EXPECT_EQ(messages[0].symbol, MessageSymbol::Warning);
    EXPECT_EQ(form.titleEdit()->text(), "Mine");
}

} // namespace
} // namespace dawdlex
