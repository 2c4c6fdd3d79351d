#include "ProgressRun.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace dawdlex {
namespace {

class FakeDisplay : public ProgressDisplay
{
public:
    std::string status;
    std::int32_t interval = 0;
    std::array<float, 2> bars{-1, -1};
    int statusChanges = 0;

    void showPhaseMessage(const std::string& text) override
    {
        status = text;
        ++statusChanges;
    }
    void setTickInterval(std::int32_t milliseconds) override { interval = milliseconds; }
    void showBarValue(int bar, float value) override { bars.at(std::size_t(bar)) = value; }
};

class ProgressRunTest : public ::testing::Test
{
protected:
    ProgressRunTest() { run.reset(); }

    void tick(int count)
    {
        for (int i = 0; i < count; ++i) {
            run.tick(settings);
        }
    }

    // Runs through `changes` changes of phase and records the phase entered at each.
    std::vector<int> phasesEntered(int changes)
    {
        std::vector<int> phases;
        for (int i = 0; i < changes; ++i) {
            tick(ProgressRun::kCycle);
            phases.push_back(run.phase());
        }
        return phases;
    }

    Settings settings;
    FakeDisplay display;
    ProgressRun run{display};
};

TEST_F(ProgressRunTest, FirstCycleFillsTheFirstBarThenEntersTheNextPhase)
{
    tick(1);
    EXPECT_EQ(display.bars[0], 1.0f);
    EXPECT_EQ(display.statusChanges, 0);

    tick(39);
    EXPECT_EQ(display.bars[0], 40.0f) << "tick 40: first bar full";
    EXPECT_EQ(display.bars[1], 0.0f) << "tick 40: second bar empty";
    EXPECT_EQ(run.phase(), 0);

    tick(1);
    EXPECT_EQ(display.bars[0], 0.0f) << "tick 41";
    EXPECT_EQ(display.bars[1], 1.0f);
    EXPECT_EQ(display.status, "Linking Data...");
    EXPECT_EQ(display.interval, 200);
    EXPECT_EQ(run.phase(), 1);
    EXPECT_EQ(run.firstBarStep(), 0);
    EXPECT_EQ(run.secondBarStep(), 1);
}

TEST_F(ProgressRunTest, EachPhaseShowsItsMessageAndItsDelayAsAWholeNumber)
{
    settings.delays = {"3.5", " 200 ", "2.5", "200", "200"};
    const std::vector<std::pair<const char*, int>> expected{
        {"Linking Data...", 200}, {"Updating...", 2}, {"Reading Files...", 4}, {"Linking Data...", 200}};
    for (const auto& [status, interval] : expected) {
        tick(ProgressRun::kCycle);
        EXPECT_EQ(display.status, status);
        EXPECT_EQ(display.interval, interval);
    }
}

TEST_F(ProgressRunTest, PhaseOrderFollowsTheFirstEmptyMessage)
{
    struct Case
    {
        const char* name;
        std::array<std::string, 5> status;
        std::vector<int> phases;
    };
    const std::vector<Case> cases{
        {"all five", {"a", "b", "c", "d", "e"}, {1, 2, 3, 4, 0, 1}},
        {"Status(2) empty, Status(3) not", {"a", "b", "", "d", "e"}, {1, 0, 1, 0}},
        {"Status(1) empty", {"a", "", "c", "d", "e"}, {0, 0, 0}},
        {"Status(0) empty", {"", "b", "c", "", ""}, {1, 2, 0, 1}},
    };
    for (const Case& c : cases) {
        settings.statuses = c.status;
        run.reset();
        EXPECT_EQ(phasesEntered(int(c.phases.size())), c.phases) << c.name;
    }
}

TEST_F(ProgressRunTest, StayingInPhaseZeroStillReappliesItsSettingsEachCycle)
{
    settings.statuses = {"Only", "", "x", "y", "z"};
    settings.delays[0] = "75";
    tick(ProgressRun::kCycle);
    EXPECT_EQ(display.status, "Only");
    EXPECT_EQ(display.interval, 75);
    settings.statuses[0] = "Edited";
    settings.delays[0] = "90";
    tick(ProgressRun::kCycle);
    EXPECT_EQ(display.status, "Edited") << "read afresh at every change of phase";
    EXPECT_EQ(display.interval, 90);
    EXPECT_EQ(display.statusChanges, 2);
}

TEST_F(ProgressRunTest, EmptyFirstMessageShowsAnEmptyLine)
{
    settings.statuses[0] = "";
    phasesEntered(3); // 1, 2, back to 0
    EXPECT_EQ(run.phase(), 0);
    EXPECT_EQ(display.status, "");
    EXPECT_EQ(display.interval, 50);
}

TEST_F(ProgressRunTest, SecondBarFullAfterFortyChangesAndEmptyAtTheFortyFirst)
{
    phasesEntered(40);
    EXPECT_EQ(display.bars[1], 40.0f);
    tick(40);
    EXPECT_EQ(display.bars[1], 40.0f);
    tick(1);
    EXPECT_EQ(display.bars[1], 0.0f);
    EXPECT_EQ(run.secondBarStep(), 0);
}

TEST_F(ProgressRunTest, ResetPutsEveryCounterBackToZero)
{
    tick(ProgressRun::kCycle * 2 + 5);
    ASSERT_NE(run.phase(), 0);
    run.reset();
    EXPECT_EQ(run.firstBarStep(), 0);
    EXPECT_EQ(run.secondBarStep(), 0);
    EXPECT_EQ(run.phase(), 0);
}

} // namespace
} // namespace dawdlex
