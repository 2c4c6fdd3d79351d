#include "TimerAlignment.h"

#include <gtest/gtest.h>

namespace dawdlex {
namespace {

using namespace std::chrono_literals;
using Clock = TimerAlignment::Clock;

struct SleepCase
{
    Clock::duration remaining; // to the deadline
    Clock::duration sleep;
};

class SleepBeforeTest : public ::testing::TestWithParam<SleepCase>
{
};

// After the sleep the deadline is 0.75 ms past a whole number of milliseconds away (Qt's rounding up
// then makes the tick 0.25 ms late), or, when it is nearer than that, 0.25 ms in the past.
TEST_P(SleepBeforeTest, PutsTheDeadlineAtTheSamePhase)
{
    const auto now = Clock::now();
    EXPECT_EQ(TimerAlignment::sleepBefore(now + GetParam().remaining, now), GetParam().sleep)
        << "remaining " << std::chrono::duration<double, std::milli>(GetParam().remaining).count() << " ms";
}

INSTANTIATE_TEST_SUITE_P(Cases, SleepBeforeTest,
                         ::testing::Values(SleepCase{49'300us, 550us}, SleepCase{49'000us, 250us},
                                           SleepCase{48'900us, 150us},
                                           // Within the tolerance of the wanted phase: no sleep.
                                           SleepCase{48'750us, 0us}, SleepCase{48'650us, 0us},
                                           SleepCase{48'590us, 840us}, SleepCase{1'750us, 0us},
                                           SleepCase{1'000us, 250us},
                                           // Nearer than 0.75 ms: past the deadline by 0.25 ms.
                                           SleepCase{500us, 750us}, SleepCase{0us, 250us},
                                           SleepCase{-100us, 150us}, SleepCase{-400us, 0us}));

} // namespace
} // namespace dawdlex
