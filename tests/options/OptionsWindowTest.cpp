#include "OptionsWindow.h"
#include "FileDialog.h"
#include "MainWindowLink.h"
#include "FreshRegistry.h"
#include "OptionsFakes.h"
#include "RawRegistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>
#include <winreg_store.h>

#include <tuple>

namespace dawdlex {
namespace {

// Records what Apply does to the main window, in order. The run is in phase 2.
struct FakeMainWindow : MainWindowLink
{
    bool fileLoads = true;
    QStringList log;

    std::int32_t currentPhase() const override { return 2; }
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

// Apply and OK push the settings, with the current phase's message and delay; OK and the close box hide
// the window; closing applies nothing and keeps the edits.
TEST_F(OptionsWindowTest, ApplyOkAndCloseEachDoTheirShare)
{
    const QStringList applied{"status Third", "interval 4",   "title Busy",
                              "button Stop",  "second bar 0", "built-in 3"};
    for (const int way : {0, 1, 2}) { // Apply, OK, the close box
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
    for (const auto& [typed, kept] : cases) {
        form.delayEdits()[4]->setText(typed);
        EXPECT_EQ(form.delayEdits()[4]->text(), kept) << typed;
        EXPECT_EQ(form.settings().delays[4], kept) << typed;
    }
}

// Entries 0 to 6 are built-in pictures; 7 is the custom picture file, which must exist and be a picture.
// A path with a NUL in it is missing: the system would see only the part before it.
TEST_F(OptionsWindowTest, ChosenIconReachesTheMainWindowOrWarns)
{
    const QString mine = QCoreApplication::applicationFilePath();
    const QString unreadable = "The custom icon file is not a picture that can be shown.";
    const std::tuple<int, QString, bool, QString, QString> cases[] = {
        {0, "", true, "built-in 0", ""},
        {6, mine, true, "built-in 6", ""},
        {7, mine, true, "file " + mine, ""},
        {7, mine + ".gone", true, "", "Custom icon file does not exist."},
        {7, mine + QChar(u'\0') + "tail", true, "", "Custom icon file does not exist."},
        {7, mine, false, "file " + mine, unreadable},
        {-1, mine, true, "", ""}};
    for (const auto& [index, path, loads, shown, warning] : cases) {
        mainWindow.log.clear();
        mainWindow.fileLoads = loads;
        messages.clear();
        form.customIconPathEdit()->setText(path);
        form.iconChoice()->setCurrentIndex(index);
        EXPECT_EQ(form.applyChosenIcon(), warning.isEmpty()) << index;
        EXPECT_EQ(mainWindow.log.join(""), shown) << index;
        EXPECT_EQ(messages.size(), warning.isEmpty() ? 0u : 1u) << index;
        EXPECT_EQ(messages.empty() ? QString() : messages[0].text, warning) << index;
    }
}

TEST_F(OptionsWindowTest, ScreenSaverBoxSwitchesAtOnceAndApplyLeavesItAlone)
{
    form.disableSaverCheck()->click();
    form.disableSaverCheck()->click();
    form.applyButton()->click();
    EXPECT_EQ(saverCalls, (std::vector<bool>{false, true}));
}

TEST_F(OptionsWindowTest, UnavailableKeyWarnsAndKeepsWhatTheControlsHeld)
{
    RawRegistry::setRaw("Software\\Pendlewick\\Dawdlex", "Other", REG_SZ, {0}); // makes the key
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, "Software\\Pendlewick\\Dawdlex", TRUE), 0);
    form.titleEdit()->setText("Mine");
    form.loadStoredSettings();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error creating registry key");
    EXPECT_EQ(messages[0].symbol, MessageSymbol::Warning);
    EXPECT_EQ(form.titleEdit()->text(), "Mine");
}

TEST(FileDialog, FilterTextBecomesQtNameFiltersInOrder)
{
    const auto filters = parseFileFilter("Icons(*.ico;*.gif)|*.ico;*.gif|All files (*.*)|*.*|Orphan");
    ASSERT_EQ(filters.size(), 2u) << "a description without patterns offers nothing";
    EXPECT_EQ(toNameFilter(filters[0]), "Icons(*.ico;*.gif) (*.ico *.gif)");
    // "*.*" would hide files without a dot here; the filter means every file.
    EXPECT_EQ(toNameFilter(filters[1]), "All files (*.*) (*)");
}

// The program always offers "ico" as the default extension.
TEST(FileDialog, ChosenPathGetsTheDefaultExtensionAndMustFitTheLimit)
{
    const std::pair<QString, QString> cases[] = {{"/u/pic", "/u/pic.ico"},
                                                 {"/u/pic.bmp", "/u/pic.bmp"},
                                                 {"/u/my.pics/pic", "/u/my.pics/pic.ico"},
                                                 {"/u/pic.", "/u/pic."},
                                                 {"", ""}};
    for (const auto& [typed, chosen] : cases)
        EXPECT_EQ(acceptChosenPath(applyDefaultExtension(typed, "ico")), chosen) << typed.toStdString();
    const QString atLimit = "/" + QString(MaxChosenPathLength - 5, u'a');
    EXPECT_EQ(acceptChosenPath(applyDefaultExtension(atLimit, "ico")), atLimit + ".ico");
    EXPECT_EQ(acceptChosenPath(applyDefaultExtension(atLimit + "b", "ico")), "");
}

} // namespace
} // namespace dawdlex
