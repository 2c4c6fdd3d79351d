#include "core/ProgressRun.h"

#include "core/Conversions.h"

namespace dawdlex {

ProgressRun::ProgressRun(const PhaseSettings& settings, ProgressDisplay& display)
    : m_settings(settings), m_display(display)
{}

void ProgressRun::reset()
{
    m_firstBarStep = 0;
    m_secondBarStep = 0;
    PhaseIndex = 0;
}

void ProgressRun::tick()
{
    m_firstBarStep += 1;
    if (m_firstBarStep == kCycle) {
        m_firstBarStep = 0;
        m_secondBarStep += 1;
        enterNextPhase();
    }
    if (m_secondBarStep == kCycle) {
        m_secondBarStep = 0;
    }
    m_display.setBarValue(0, float(m_firstBarStep));
    m_display.setBarValue(1, float(m_secondBarStep));
}

// Phase 0 is entered whether or not its own message is empty: only the phase being entered is tested.
void ProgressRun::enterNextPhase()
{
    PhaseIndex += 1;
    if (PhaseIndex == kPhaseCount) {
        PhaseIndex = 0;
    }
    if (m_settings.statusText(PhaseIndex).isEmpty()) {
        PhaseIndex = 0;
    }
    m_display.setStatusCaption(m_settings.statusText(PhaseIndex));
    m_display.setTimerInterval(delayInterval(m_settings.delayText(PhaseIndex).toStdString()));
}

} // namespace dawdlex
