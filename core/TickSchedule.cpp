#include "TickSchedule.h"

namespace dawdlex {

void TickSchedule::start(std::chrono::milliseconds interval)
{
    m_interval = interval;
    m_started = false;
}

int TickSchedule::due(Clock::time_point now)
{
    if (m_interval <= Clock::duration::zero()) {
        return 1;
    }
    if (!m_started || now - m_next > kMaxCatchUp) {
        m_started = true;
        m_next = now + m_interval;
        return 1;
    }
    // An event a little ahead of our deadline is the platform timer's own schedule: it counts as on time.
    if (now < m_next) {
        m_next += m_interval;
        return 1;
    }
    const auto owed = 1 + (now - m_next) / m_interval;
    m_next += owed * m_interval;
    return int(owed);
}

} // namespace dawdlex
