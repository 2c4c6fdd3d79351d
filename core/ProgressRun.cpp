#include "ProgressRun.h"

#include "Conversions.h"

namespace dawdlex {

ProgressRun::ProgressRun(ProgressDisplay& display) : m_display(display) {}

void ProgressRun::reset()
{
    m_firstBarStep = 0;
    m_secondBarStep = 0;
    m_phase = 0;
}

void ProgressRun::tick(const Settings& settings)
{
    m_firstBarStep += 1;
    if (m_firstBarStep == kCycle) {
        m_firstBarStep = 0;
        m_secondBarStep += 1;
        enterNextPhase(settings);
    }
    if (m_secondBarStep == kCycle) {
        m_secondBarStep = 0;
    }
    m_display.showBarValue(0, float(m_firstBarStep));
    m_display.showBarValue(1, float(m_secondBarStep));
}

// Phase 0 is entered whether or not its own message is empty: only the phase being entered is tested.
void ProgressRun::enterNextPhase(const Settings& settings)
{
    m_phase += 1;
    if (m_phase == kPhaseCount) {
        m_phase = 0;
    }
    const auto phase = std::size_t(m_phase);
    if (settings.statuses[phase].empty()) {
        m_phase = 0;
    }
    m_display.showPhaseMessage(settings.statuses[std::size_t(m_phase)]);
    m_display.setTickInterval(delayInterval(settings.delays[std::size_t(m_phase)]));
}

} // namespace dawdlex
