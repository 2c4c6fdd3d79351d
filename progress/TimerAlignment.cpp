#include "TimerAlignment.h"

#include <QAbstractEventDispatcher>

#include <thread>

namespace dawdlex {

namespace {

using namespace std::chrono_literals;

// How late every tick lands: enough that the event loop's own few microseconds between this sleep and
// its wait never push the rounding into the next millisecond.
constexpr TimerAlignment::Clock::duration kLateness = 250us;
// How far the phase may have moved since an earlier alignment before it is aligned again.
constexpr TimerAlignment::Clock::duration kTolerance = 150us;
// Shorter sleeps are not worth a system call.
constexpr TimerAlignment::Clock::duration kSmallestSleep = 20us;

} // namespace

TimerAlignment::TimerAlignment(QObject* parent) : QObject(parent)
{
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TimerAlignment::aboutToBlock);
    }
}

void TimerAlignment::started(std::chrono::milliseconds interval, Clock::time_point now)
{
    m_interval = interval;
    m_next = now + interval;
    m_active = interval >= kShortestAligned;
}

void TimerAlignment::fired(Clock::time_point now)
{
    m_next += m_interval;
    if (m_next < now) {
        m_next = now + m_interval;
    }
}

TimerAlignment::Clock::duration TimerAlignment::sleepBefore(Clock::time_point deadline, Clock::time_point now)
{
    constexpr Clock::duration millisecond = 1ms;
    const Clock::duration remaining = deadline - now;
    if (remaining < millisecond - kLateness) {
        // The loop will wake at once or within the millisecond: sleep past the deadline by the lateness.
        return remaining + kLateness > Clock::duration::zero() ? remaining + kLateness
                                                               : Clock::duration::zero();
    }
    // Already close to the wanted phase (an earlier block aligned it a moment ago): leave it, so that a
    // loop that blocks several times between two ticks sleeps once.
    const Clock::duration phase = remaining % millisecond;
    if (phase <= millisecond - kLateness && phase >= millisecond - kLateness - kTolerance) {
        return Clock::duration::zero();
    }
    return (remaining - (millisecond - kLateness)) % millisecond;
}

void TimerAlignment::aboutToBlock()
{
    if (!m_active) {
        return;
    }
    const auto sleep = sleepBefore(m_next, Clock::now());
    if (sleep < kSmallestSleep) {
        return;
    }
    std::this_thread::sleep_for(sleep);
}

} // namespace dawdlex
