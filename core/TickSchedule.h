#pragma once

#include <chrono>

namespace dawdlex {

// The absolute deadlines of a repeating tick, so that the run keeps its rhythm when the event loop is
// late: a timer event that arrives after one or more deadlines have passed owes one tick per deadline.
// The schedule starts at the first timer event after start(), so start-up time is never made up for; a
// delay longer than a second (a suspended machine, a stopped debugger) starts it afresh instead of
// replaying it. Plain arithmetic on the caller's clock readings: it owns no timer.
class TickSchedule
{
public:
    using Clock = std::chrono::steady_clock;

    // Longest delay that is made up for.
    static constexpr std::chrono::milliseconds kMaxCatchUp{1000};

    // A new interval (a timer (re)start): the next timer event begins the schedule anew.
    void start(std::chrono::milliseconds interval);

    // How many ticks a timer event arriving at `now` owes: at least 1.
    int due(Clock::time_point now);

private:
    Clock::duration m_interval{};
    Clock::time_point m_next{};
    bool m_started = false;
};

} // namespace dawdlex
