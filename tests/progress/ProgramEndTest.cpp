#include "ProgramEnd.h"

#include "OptionsWindow.h"
#include "SettingsStore.h"
#include "ProgressWindow.h"
#include "CRegistry.h"
#include "FreshRegistry.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <functional>
#include <string>
#include <vector>

namespace dawdlex {
namespace {

struct Shown
{
    QString text;
    bool anyWindowVisible;
};

bool anyWindowVisible()
{
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            return true;
        }
    }
    return false;
}

// Each test starts the program as many times as it likes against a store of its own. Message boxes are
// recorded with whether any window was already on screen; `duringBox` runs while a box is "open".
class ProgramEndTest : public ::testing::Test
{
protected:
    DesktopServices seams()
    {
        DesktopServices fakes;
        fakes.showMessage = [this](const QString& text, MessageSymbol) {
            shown.push_back({text, anyWindowVisible()});
            if (duringBox) {
                duringBox();
            }
        };
        fakes.setScreenSaverActive = [](bool) { return true; };
        fakes.openUrl = [](const QString&) {};
        fakes.browseForFile = [](const QString&, const QString&, const QString&, quint32, QWidget*) {
            return QString();
        };
        return fakes;
    }

    static std::vector<std::string> storedNames()
    {
        CRegistry registry;
        std::vector<std::string> names;
        int32_t count = 0;
        if (!registry.OpenKey(kSettingsKey) || !registry.EnumerateValues(names, count)) {
            return {};
        }
        return names;
    }

    static std::string storedText(const std::string& name)
    {
        CRegistry registry;
        return registry.OpenKey(kSettingsKey) ? registry.ReadString(name) : std::string();
    }

    // After the first end has saved: further requests to end save nothing more.
    static void expectNoSecondSave(ProgressWindow& form)
    {
        {
            CRegistry registry;
            ASSERT_TRUE(registry.OpenKey(kSettingsKey));
            ASSERT_TRUE(registry.DeleteValue("Title"));
        }
        form.close();
        form.endProgram();
        EXPECT_EQ(storedNames().size(), 15u) << "saved a second time";
    }

    FreshRegistry freshRegistry;
    std::vector<Shown> shown;
    std::function<void()> duringBox;
};

TEST_F(ProgramEndTest, FirstStartWelcomesBeforeAnyWindowAndCancelSavesOnce)
{
    ProgressWindow form(seams());
    form.start();

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].text.startsWith("Welcome to the Dawdlex."));
    EXPECT_FALSE(shown[0].anyWindowVisible);
    EXPECT_TRUE(storedNames().empty());

    form.show();
    EXPECT_EQ(form.windowTitle(), "Processing...");
    EXPECT_EQ(form.cancelButton()->text(), "Cancel");
    EXPECT_EQ(form.statusLabel()->text(), "Reading Files...");

    form.onCancelClicked();

    EXPECT_EQ(storedNames().size(), 16u);
    EXPECT_EQ(storedText("Title"), "Processing...");
    expectNoSecondSave(form);
}

TEST_F(ProgramEndTest, ClearedStatusTwoComesBackAndTheRunCyclesPhasesZeroAndOne)
{
    {
        ProgressWindow first(seams());
        first.start();
        first.options()->statusEdits()[2]->clear();
        first.options()->titleEdit()->setText(QStringLiteral("Second run"));
        first.close(); // the close box
    }
    shown.clear();

    ProgressWindow second(seams());
    second.start();

    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(second.windowTitle(), "Second run");
    EXPECT_EQ(second.options()->statusEdits()[2]->text(), "");
    std::vector<int> phases;
    std::vector<QString> captions;
    for (int change = 0; change < 4; ++change) {
        for (int tick = 0; tick < ProgressRun::kCycle; ++tick) {
            second.onTick();
        }
        phases.push_back(second.run().phase());
        captions.push_back(second.statusLabel()->text());
    }
    EXPECT_EQ(phases, (std::vector<int>{1, 0, 1, 0}));
    EXPECT_EQ(captions, (std::vector<QString>{"Linking Data...", "Reading Files...", "Linking Data...",
                                              "Reading Files..."}));
}

// A way the program is asked to end: a signal, or the application quitting as the desktop makes it do when
// the session ends.
struct EndRequest
{
    const char* name;
    std::function<void()> make;
};

void PrintTo(const EndRequest& request, std::ostream* out)
{
    *out << request.name;
}

class ProgramEndRequest : public ProgramEndTest, public ::testing::WithParamInterface<EndRequest>
{
};

TEST_P(ProgramEndRequest, SavesOnceThroughEndProgram)
{
    ProgressWindow form(seams());
    ProgramEnd end([&form] { form.endProgram(); });
    form.start();
    form.show();
    form.options()->buttonTextEdit()->setText(QStringLiteral("Ended"));

    GetParam().make();
    ASSERT_TRUE(QTest::qWaitFor([&end] { return end.requested(); }, 10000));

    EXPECT_EQ(storedNames().size(), 16u);
    EXPECT_EQ(storedText("ButtonText"), "Ended");
    expectNoSecondSave(form);
}

INSTANTIATE_TEST_SUITE_P(Ways, ProgramEndRequest,
                         ::testing::Values(EndRequest{"SIGTERM", [] { std::raise(SIGTERM); }},
                                           EndRequest{"SIGINT", [] { std::raise(SIGINT); }},
                                           EndRequest{"SIGHUP", [] { std::raise(SIGHUP); }},
                                           EndRequest{"Quit",
                                                      [] {
                                                          QTimer::singleShot(
                                                              0, [] { QCoreApplication::quit(); });
                                                          QCoreApplication::exec();
                                                      }}),
                         [](const ::testing::TestParamInfo<EndRequest>& info) { return info.param.name; });

// The end can come while the welcome box waits for the user: the defaults are saved, once, and main then
// leaves without showing the window.
TEST_F(ProgramEndTest, EndDuringTheWelcomeBoxSavesTheDefaultsOnce)
{
    ProgressWindow form(seams());
    ProgramEnd end([&form] { form.endProgram(); });
    duringBox = [&end] {
        std::raise(SIGTERM);
        EXPECT_TRUE(QTest::qWaitFor([&end] { return end.requested(); }, 10000));
    };

    form.start();

    EXPECT_TRUE(end.requested());
    EXPECT_EQ(storedNames().size(), 16u);
    EXPECT_EQ(storedText("Status0"), "Reading Files...");
    expectNoSecondSave(form);
}

TEST(ProgramEnd, CallsTheHandlerOnceAndRestoresTheSignalHandlers)
{
    struct sigaction before = {};
    sigaction(SIGTERM, nullptr, &before);
    int calls = 0;
    {
        ProgramEnd end([&calls] { ++calls; });
        struct sigaction installed = {};
        sigaction(SIGTERM, nullptr, &installed);
        EXPECT_NE(installed.sa_handler, before.sa_handler);
        end.request();
        end.request();
        ASSERT_EQ(std::raise(SIGTERM), 0);
        QTest::qWait(0);
        EXPECT_EQ(calls, 1);
    }
    struct sigaction after = {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// When the X server ends, Qt's platform layer calls exit() from the event loop; the settings are saved
// then, unless the end handler already ran, and only by a live object.
TEST(ProgramEndDeathTest, ExitWithoutARequestSavesOnce)
{
    using ::testing::HasSubstr;
    using ::testing::Not;
    const auto program = [](bool requested, bool live) {
        auto end = std::make_unique<ProgramEnd>([] { std::fputs("ended\n", stderr); });
        end->setSaveAtExit([] { std::fputs("saved\n", stderr); });
        if (requested) {
            end->request();
        }
        if (!live) {
            end.reset();
        }
        std::fflush(stderr);
        std::exit(1);
    };
    EXPECT_EXIT(program(false, true), ::testing::ExitedWithCode(1),
                AllOf(HasSubstr("saved"), Not(HasSubstr("ended"))));
    EXPECT_EXIT(program(true, true), ::testing::ExitedWithCode(1),
                AllOf(HasSubstr("ended"), Not(HasSubstr("saved"))));
    EXPECT_EXIT(program(false, false), ::testing::ExitedWithCode(1), Not(HasSubstr("saved")));
}

} // namespace
} // namespace dawdlex
