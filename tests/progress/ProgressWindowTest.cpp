#include "ProgressWindow.h"
#include "ProgramEnd.h"
#include "TimerAlignment.h"
#include "OptionsWindow.h"
#include "PictureBox.h"
#include "SettingsStore.h"
#include "FreshRegistry.h"
#include "OptionsFakes.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace dawdlex {
namespace {

using namespace std::chrono_literals;

class ProgressWindowTest : public ::testing::Test, protected OptionsFakes
{
protected:
    // What the next start finds stored; without it a start is the first.
    static void store(const Settings& settings)
    {
        Settings created;
        ASSERT_NE(loadSettings(created), SettingsLoad::KeyUnavailable);
        ASSERT_TRUE(saveSettings(settings));
    }

    static std::string storedTitle()
    {
        Settings settings;
        return loadSettings(settings) == SettingsLoad::Loaded ? settings.title : "";
    }

    FreshRegistry freshRegistry;
    ProgressWindow form{seams()};
};

// The start shows the stored texts, runs the first phase at its own delay, shows the second bar and the
// icon as chosen and switches the screen saver off when asked. The title is longer than a line edit takes
// by default.
TEST_F(ProgressWindowTest, StoredSettingsShapeTheStart)
{
    Settings stored;
    stored.title = std::string(200000, 'x');
    stored.statuses[0] = "Step one";
    stored.delays = {"30", "60", "90", "120", "150"};
    stored.buttonText = "Stop";
    stored.dualBars = false;
    stored.disableScreenSaver = true;
    stored.icon = 5;
    store(stored);
    form.start();
    EXPECT_EQ(form.windowTitle().toStdString(), stored.title);
    EXPECT_EQ(form.cancelButton()->text(), "Stop");
    EXPECT_EQ(form.statusLabel()->text(), "Step one");
    EXPECT_EQ(form.tickTimer()->interval(), 30);
    EXPECT_TRUE(form.tickTimer()->isActive());
    EXPECT_TRUE(form.bars()[1]->isHidden());
    EXPECT_EQ(saverCalls, (std::vector<bool>{false, false})) << "the box's own switch, then start-up's";
    EXPECT_EQ(form.iconPicture()->picture().toImage(), QImage(":/dawdlex/icons/cd.svg"));
    EXPECT_TRUE(messages.empty());

    // Two bars, the screen saver left alone, and a custom picture that cannot be shown: a warning, and the
    // Options window opens.
    store({.icon = Settings::kCustomIcon, .customIconPath = "/nonexistent/picture.ico"});
    saverCalls.clear();
    ProgressWindow other(seams());
    other.start();
    EXPECT_FALSE(other.bars()[1]->isHidden());
    EXPECT_TRUE(saverCalls.empty());
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(other.options()->isVisible());
}

// Each change of phase reads its message and delay from the Options window as they are, Apply or not;
// Apply changes the rest at once and leaves the run where it is.
TEST_F(ProgressWindowTest, ThePhasesFollowTheOptionsAsTheyAreEdited)
{
    form.start();
    OptionsWindow& options = *form.options();
    options.statusEdits()[1]->setText("Edited");
    options.delayEdits()[1]->setText("321");
    EXPECT_NE(form.statusLabel()->text(), "Edited");
    for (int i = 0; i < ProgressRun::kCycle + 7; ++i)
        form.onTick();
    EXPECT_EQ(form.statusLabel()->text(), "Edited");
    EXPECT_EQ(form.tickTimer()->interval(), 321);
    options.titleEdit()->setText("Applied");
    options.buttonTextEdit()->setText("Stop");
    options.delayEdits()[1]->setText("650");
    options.dualBarsCheck()->setChecked(false);
    options.applyButton()->click();
    EXPECT_EQ(form.windowTitle(), "Applied");
    EXPECT_EQ(form.cancelButton()->text(), "Stop");
    EXPECT_EQ(form.tickTimer()->interval(), 650);
    EXPECT_TRUE(form.bars()[1]->isHidden());
    EXPECT_EQ(form.run().phase(), 1);
    EXPECT_EQ(form.bars()[0]->value(), 7);
    // The bars paint at the next frame, not never.
    EXPECT_TRUE(QTest::qWaitFor([this] { return form.bars()[0]->updatesEnabled(); }, 5000));
}

// Typed keys must reach the Options window's Title, not the banner (a space there opens the website),
// also when the window was already open behind the main window.
TEST_F(ProgressWindowTest, ClickingTheIconGivesTheOptionsWindowTheKeyboard)
{
    form.start();
    form.show();
    for (int click = 0; click < 2; ++click) {
        form.activateWindow();
        QTest::mouseClick(form.iconPicture(), Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_TRUE(QTest::qWaitFor(
            [this] { return QApplication::focusWidget() == form.options()->titleEdit(); }, 2000))
            << "click " << click;
    }
}

// Every way to end saves what the Options window holds, once, and stops the run.
TEST_F(ProgressWindowTest, EveryEndSavesOnceAndStopsTheRun)
{
    const std::pair<const char*, std::function<void(ProgressWindow&)>> ways[] = {
        {"Cancel", [](ProgressWindow& window) { window.cancelButton()->click(); }},
        {"SIGTERM", [](ProgressWindow&) { std::raise(SIGTERM); }},
        {"SIGINT", [](ProgressWindow&) { std::raise(SIGINT); }},
        {"SIGHUP", [](ProgressWindow&) { std::raise(SIGHUP); }}};
    for (const auto& [name, end] : ways) {
        SCOPED_TRACE(name);
        store(Settings{});
        ProgressWindow window(seams());
        ProgramEnd programEnd([&window] { window.endProgram(); });
        window.start();
        window.show();
        window.options()->titleEdit()->setText("Saved");
        end(window);
        EXPECT_TRUE(QTest::qWaitFor([] { return storedTitle() == "Saved"; }, 5000));
        window.options()->titleEdit()->setText("Not saved");
        window.close();
        programEnd.request();
        EXPECT_EQ(storedTitle(), "Saved") << "saved a second time";
        EXPECT_FALSE(window.tickTimer()->isActive());
        const int value = window.bars()[0]->value();
        window.onTick();
        EXPECT_EQ(window.bars()[0]->value(), value) << "a tick after the end";
    }
}

// An end requested while the first start's welcome box waits saves the defaults, once, and the run
// does not start.
TEST_F(ProgressWindowTest, EndDuringTheWelcomeBoxSavesOnce)
{
    ProgramEnd end([this] { form.endProgram(); });
    duringMessage = [&end] {
        std::raise(SIGTERM);
        EXPECT_TRUE(QTest::qWaitFor([&end] { return end.requested(); }, 5000));
    };
    form.start();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Welcome to the Dawdlex.  Click on the gear icon for options.  Enjoy!");
    EXPECT_EQ(storedTitle(), Settings{}.title);
    EXPECT_FALSE(form.tickTimer()->isActive());
    form.options()->titleEdit()->setText("Not saved");
    form.endProgram();
    EXPECT_EQ(storedTitle(), Settings{}.title);
}

// When the X server ends, Qt calls exit() from the event loop: a live ProgramEnd saves then, unless the
// end handler already ran.
TEST(ProgramEndDeathTest, ExitWithoutARequestSavesOnce)
{
    const auto program = [](bool requested, bool live) {
        auto end = std::make_unique<ProgramEnd>([] { std::fputs("ended.", stderr); });
        end->setSaveAtExit([] { std::fputs("saved.", stderr); });
        if (requested)
            end->request();
        if (!live)
            end.reset();
        std::exit(1);
    };
    EXPECT_EXIT(program(false, true), ::testing::ExitedWithCode(1), "^saved\\.$");
    EXPECT_EXIT(program(true, true), ::testing::ExitedWithCode(1), "^ended\\.$");
    EXPECT_EXIT(program(false, false), ::testing::ExitedWithCode(1), "^$");
}

// The sleep before the loop blocks puts the deadline 0.75 ms past a whole number of milliseconds away,
// or 0.25 ms in the past when it is nearer than that; within the tolerance it does not sleep.
TEST(TimerAlignment, SleepPutsTheDeadlineAtTheSamePhase)
{
    const std::pair<TimerAlignment::Clock::duration, TimerAlignment::Clock::duration> cases[] = {
        {49'300us, 550us}, {49'000us, 250us}, {48'750us, 0us}, {48'600us, 0us}, {48'590us, 840us},
        {1'000us, 250us},  {750us, 0us},      {500us, 750us},  {-100us, 150us}, {-400us, 0us}};
    const auto now = TimerAlignment::Clock::now();
    for (const auto& [remaining, sleep] : cases)
        EXPECT_EQ(TimerAlignment::sleepBefore(now + remaining, now), sleep) << remaining.count() << " ns";
}

} // namespace
} // namespace dawdlex
