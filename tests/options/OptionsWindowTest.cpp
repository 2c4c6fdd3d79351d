#include "OptionsWindow.h"
#include "MainWindowLink.h"
#include "MessageBoxes.h"
#include "PictureBox.h"
#include "OptionsFakes.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace dawdlex {
namespace {

// Records what Apply does to the main window.
class FakeMainWindow : public MainWindowLink
{
public:
    std::int32_t phase = 0;
    QString status, caption, button;
    std::optional<std::int32_t> interval;
    std::optional<bool> secondBar;
    std::optional<int> builtIn;
    QString file;
    bool fileLoads = true;

    std::int32_t currentPhase() const override { return phase; }
    void setStatusCaption(const QString& text) override { status = text; }
    void setTimerInterval(std::int32_t milliseconds) override { interval = milliseconds; }
    void setWindowCaption(const QString& text) override { caption = text; }
    void setButtonCaption(const QString& text) override { button = text; }
    void setSecondBarVisible(bool visible) override { secondBar = visible; }
    void showBuiltInIcon(int index) override { builtIn = index; }
    bool showIconFile(const QString& path) override
    {
        if (!fileLoads) {
            return false;
        }
        file = path;
        return true;
    }
};

class OptionsWindowTest : public ::testing::Test, protected OptionsFakes
{
protected:
    OptionsWindowTest() : form(seams()) { form.setMainWindow(&mainWindow); }

    void replaceText(QLineEdit* box, const QString& text)
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
    }

    FakeMainWindow mainWindow;
    OptionsWindow form;
};

TEST_F(OptionsWindowTest, StartsWithTheDefaultSettingsAndTheEightIconEntries)
{
    EXPECT_FALSE(form.isVisible());
    expectDefaults(form);
    QStringList entries;
    for (int i = 0; i < form.iconChoice()->count(); ++i)
        entries << form.iconChoice()->itemText(i);
    EXPECT_EQ(entries,
              (QStringList{"Gear", "Arrow", "Scissors", "Folder", "Files", "CD", "Monitor", "(Custom...)"}));
    EXPECT_EQ(browseCalls, 0);
    EXPECT_TRUE(saverCalls.empty());
}

TEST_F(OptionsWindowTest, IsAFixedToolWindowWithTheFocusOrderOfTheLayout)
{
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::Tool));
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form.minimumSize(), QSize(589, 292));
    EXPECT_EQ(form.maximumSize(), QSize(589, 292));
    EXPECT_EQ(form.windowTitle(), "Options");
    EXPECT_EQ(form.bannerPicture()->cursor().hotSpot(), QPoint(12, 9));

    form.show();
    QApplication::setActiveWindow(&form);
    form.titleEdit()->setFocus();
    std::vector<QWidget*> expected;
    for (std::size_t i = 0; i < form.statusEdits().size(); ++i) {
        expected.push_back(form.statusEdits()[i]);
        expected.push_back(form.delayEdits()[i]);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{
             form.buttonTextEdit(), form.dualBarsCheck(), form.disableSaverCheck(), form.iconChoice(),
             form.customIconPathEdit(), form.browseButton(), form.websiteButton(), form.applyButton(),
             form.okButton(), form.bannerPicture(), form.titleEdit()}) {
        expected.push_back(w);
    }
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->metaObject()->className();
    }
}

TEST_F(OptionsWindowTest, TypingIntoADelayBoxIsCorrectedAtOnce)
{
    form.show();
    QLineEdit* box = form.delayEdits()[1];

    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(box->text(), "1") << "deleting everything";

    replaceText(box, "0");
    EXPECT_EQ(box->text(), "1") << "a zero";

    box->setText("50000");
    box->end(false);
    QTest::keyClick(box, Qt::Key_7);
    EXPECT_EQ(box->text(), "50000") << "a sixth digit";

    box->setText("200");
    box->selectAll();
    QApplication::clipboard()->setText("123456");
    QTest::keySequence(box, QKeySequence::Paste);
    EXPECT_EQ(box->text(), "50000") << "a pasted number above the range";

    replaceText(box, "750");
    EXPECT_EQ(box->text(), "750");
}

TEST_F(OptionsWindowTest, SettingADelayByProgramIsCorrectedToo)
{
    // "5abc": its number lies within range.
    for (const auto& [given, kept] : {std::pair{"0", "1"}, {"70000", "50000"}, {"5abc", "5abc"}}) {
        for (QLineEdit* box : form.delayEdits()) {
            box->setText(given);
            EXPECT_EQ(box->text(), kept) << given;
        }
    }
}

TEST_F(OptionsWindowTest, ApplyUsesTheCurrentPhaseAndEveryOtherSetting)
{
    mainWindow.phase = 2;
    form.titleEdit()->setText("Busy");
    form.buttonTextEdit()->setText("Stop");
    form.delayEdits()[2]->setText("3.5");
    form.dualBarsCheck()->setChecked(false);
    form.iconChoice()->setCurrentIndex(3);

    form.applyButton()->click();

    EXPECT_EQ(mainWindow.status, "Updating...");
    EXPECT_EQ(mainWindow.interval, 4);
    EXPECT_EQ(mainWindow.caption, "Busy");
    EXPECT_EQ(mainWindow.button, "Stop");
    EXPECT_EQ(mainWindow.secondBar, false);
    EXPECT_EQ(mainWindow.builtIn, 3);
    EXPECT_EQ(mainWindow.phase, 2) << "Apply never moves the run";

    form.dualBarsCheck()->setChecked(true);
    form.applyButton()->click();
    EXPECT_EQ(mainWindow.secondBar, true);
    EXPECT_TRUE(messages.empty());
}

TEST_F(OptionsWindowTest, ApplyWithACustomIconFollowsThePictureRule)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString existing = dir.filePath("mine.ico");
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    form.customIconPathEdit()->setText(dir.filePath("missing.ico"));
    form.iconChoice()->setCurrentIndex(7);
    form.applyButton()->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Custom icon file does not exist.");
    EXPECT_EQ(messages[0].symbol, MessageSymbol::Warning);
    EXPECT_EQ(mainWindow.file, "");
    EXPECT_EQ(mainWindow.caption, "Processing...") << "the steps before the picture still ran";

    form.customIconPathEdit()->setText(existing);
    mainWindow.fileLoads = false;
    EXPECT_FALSE(form.applyChosenIcon());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].symbol, MessageSymbol::Warning);
    EXPECT_NE(messages[1].text, messages[0].text) << "an unreadable picture is not a missing file";

    mainWindow.fileLoads = true;
    EXPECT_TRUE(form.applyChosenIcon());
    EXPECT_EQ(mainWindow.file, existing);
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(OptionsWindowTest, ClosingHidesKeepingTheEditsAndOkAppliesThemAndHides)
{
    form.show();
    form.titleEdit()->setText("Unapplied");
    form.statusEdits()[3]->setText("More...");
    EXPECT_FALSE(form.close()) << "a close request is refused";
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.titleEdit()->text(), "Unapplied");
    EXPECT_EQ(form.statusEdits()[3]->text(), "More...");
    EXPECT_EQ(mainWindow.caption, "") << "closing applies nothing";

    form.show();
    form.okButton()->click();
    EXPECT_EQ(mainWindow.caption, "Unapplied");
    EXPECT_FALSE(form.isVisible());
}

TEST_F(OptionsWindowTest, EnterAndEscapePressNothing)
{
    form.show();
    QSignalSpy ok(form.okButton(), &QPushButton::clicked);
    QSignalSpy apply(form.applyButton(), &QPushButton::clicked);
    QSignalSpy website(form.websiteButton(), &QPushButton::clicked);
    QSignalSpy browse(form.browseButton(), &QPushButton::clicked);
    for (QLineEdit* box :
         {form.titleEdit(), form.statusEdits()[0], form.delayEdits()[0], form.customIconPathEdit()}) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClick(box, Qt::Key_Enter);
        QTest::keyClick(box, Qt::Key_Escape);
    }
    EXPECT_EQ(ok.count() + apply.count() + website.count() + browse.count(), 0);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(mainWindow.caption, "");
}

TEST_F(OptionsWindowTest, ScreenSaverBoxSwitchesAtOnce)
{
    form.disableSaverCheck()->click();
    form.disableSaverCheck()->click();
    form.disableSaverCheck()->setChecked(true);
    EXPECT_EQ(saverCalls, (std::vector<bool>{false, true, false}));
    form.applyButton()->click();
    EXPECT_EQ(saverCalls.size(), 3u) << "Apply leaves the screen saver alone";
}

TEST_F(OptionsWindowTest, WebsiteButtonAndBannerOpenTheHomePage)
{
    form.show();
    form.websiteButton()->click();
    QTest::mouseClick(form.bannerPicture(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::keyClick(form.bannerPicture(), Qt::Key_Space);
    EXPECT_EQ(opened, (std::vector<QString>{MakerHomePage, MakerHomePage, MakerHomePage}));
}

TEST_F(OptionsWindowTest, ChoosingCustomOpensTheChooserOnlyWhenShownAndThePathIsEmpty)
{
    form.iconChoice()->setCurrentIndex(7);
    EXPECT_EQ(browseCalls, 0) << "hidden";

    form.iconChoice()->setCurrentIndex(0);
    form.show();
    form.iconChoice()->setCurrentIndex(7);
    EXPECT_EQ(browseCalls, 1);
    EXPECT_EQ(browseFilter, kIconFilter);
    EXPECT_EQ(browseExt, "ico");
    EXPECT_EQ(form.customIconPathEdit()->text(), "") << "cancelled";
    EXPECT_EQ(form.iconChoice()->currentIndex(), 7);

    chosenFile = "/pictures/mine.ico";
    form.iconChoice()->setCurrentIndex(0);
    form.iconChoice()->setCurrentIndex(7);
    EXPECT_EQ(browseCalls, 2);
    EXPECT_EQ(form.customIconPathEdit()->text(), chosenFile);
    form.iconChoice()->setCurrentIndex(0);
    form.iconChoice()->setCurrentIndex(7);
    EXPECT_EQ(browseCalls, 2) << "a path is already there";

    chosenFile.clear();
    form.browseButton()->click();
    EXPECT_EQ(form.customIconPathEdit()->text(), "/pictures/mine.ico")
        << "a cancelled chooser keeps the path";
}

} // namespace
} // namespace dawdlex
