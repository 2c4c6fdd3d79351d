#include "TickSchedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace dawdlex {
namespace {

using namespace std::chrono_literals;

struct Event
{
    std::chrono::milliseconds at; // since start()
    int owed;
};

struct ScheduleCase
{
    const char* name;
    std::chrono::milliseconds interval;
    std::vector<Event> events;
};

class TickScheduleTest : public ::testing::TestWithParam<ScheduleCase>
{
};

TEST_P(TickScheduleTest, OwesOneTickPerPassedDeadline)
{
    const ScheduleCase& c = GetParam();
    TickSchedule schedule;
    schedule.start(c.interval);
    const auto origin = TickSchedule::Clock::now();
    for (const Event& event : c.events) {
        EXPECT_EQ(schedule.due(origin + event.at), event.owed)
            << c.name << " at " << event.at.count() << " ms";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TickScheduleTest,
    ::testing::Values(
        // The first event starts the schedule, however late start-up made it.
        ScheduleCase{"on time", 10ms, {{35ms, 1}, {45ms, 1}, {55ms, 1}, {65ms, 1}}},
        ScheduleCase{"late by less than an interval", 10ms, {{35ms, 1}, {54ms, 1}, {55ms, 1}}},
        // The tick at 54 ms was for the 45 ms deadline; at 78 ms those of 55, 65 and 75 ms are owed.
        ScheduleCase{"late by two intervals", 10ms, {{35ms, 1}, {54ms, 1}, {78ms, 3}, {85ms, 1}}},
        // The platform timer firing a little before our deadline is on time, and does not shift it.
        ScheduleCase{"a little early", 10ms, {{35ms, 1}, {44ms, 1}, {55ms, 1}}},
        ScheduleCase{"one millisecond", 1ms, {{3ms, 1}, {4ms, 1}, {20ms, 16}, {21ms, 1}}},
        // Longer than a second behind: start again rather than replay it.
        ScheduleCase{"suspended", 10ms, {{35ms, 1}, {3035ms, 1}, {3045ms, 1}, {3065ms, 2}}},
        ScheduleCase{"no interval", 0ms, {{5ms, 1}, {500ms, 1}}}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) {
                ch = '_';
            }
        }
        return name;
    });

TEST(TickSchedule, StartingAgainWaitsForTheNextEvent)
{
    TickSchedule schedule;
    schedule.start(10ms);
    const auto origin = TickSchedule::Clock::now();
    EXPECT_EQ(schedule.due(origin), 1);
    // A new phase's delay, set from a tick that came 25 ms late: nothing is owed for the old rhythm.
    schedule.start(20ms);
    EXPECT_EQ(schedule.due(origin + 45ms), 1);
    EXPECT_EQ(schedule.due(origin + 65ms), 1);
    EXPECT_EQ(schedule.due(origin + 105ms), 2);
}

} // namespace
} // namespace dawdlex
