#pragma once

#include "TickSchedule.h"

#include <QObject>

#include <chrono>

namespace dawdlex {

// Keeps a precise Qt timer's ticks evenly spaced. Qt rounds the wait for its next timer up to a whole
// millisecond counted from the moment the event loop goes to sleep, so a tick lands anywhere in the
// millisecond after its deadline and the intervals wobble by up to a millisecond. Just before the loop
// blocks, this sleeps the fraction of a millisecond that puts the deadline a fixed 0.25 ms short of a
// whole number of milliseconds away: every tick is then 0.25 ms late, the same each time. It follows
// the timer's deadlines the way Qt computes them (start + k x interval, restarted from the current
// time when a tick comes more than an interval late). It does nothing for intervals under 10 ms,
// where a sleep of up to a millisecond before each block would cost too much of the interval. Owns no
// timer; the window tells it when its timer starts and fires.
class TimerAlignment : public QObject
{
public:
    using Clock = TickSchedule::Clock;

    explicit TimerAlignment(QObject* parent);

    void started(std::chrono::milliseconds interval, Clock::time_point now);
    void stopped() { m_active = false; }
    void fired(Clock::time_point now);

    // How long to sleep at `now` before the loop blocks, for a next deadline at `deadline`.
    static Clock::duration sleepBefore(Clock::time_point deadline, Clock::time_point now);

    static constexpr std::chrono::milliseconds kShortestAligned{10};

private:
    void aboutToBlock();

    Clock::duration m_interval{};
    Clock::time_point m_next{};
    bool m_active = false;
};

} // namespace dawdlex
