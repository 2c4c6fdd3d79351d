#include "progress/ProgressRun.h"

#include "options/Conversions.h"

namespace dawdlex {

ProgressRun::ProgressRun(const PhaseSettings& settings, ProgressDisplay& display)
    : m_settings(settings), m_display(display)
{}

void ProgressRun::reset()
{
    Bar0Step = 0;
    Bar1Step = 0;
    PhaseIndex = 0;
}

void ProgressRun::tick()
{
    Bar0Step += 1;
    if (Bar0Step == kCycle) {
        Bar0Step = 0;
        Bar1Step += 1;
        enterNextPhase();
    }
    if (Bar1Step == kCycle) {
        Bar1Step = 0;
    }
    m_display.setBarValue(0, float(Bar0Step));
    m_display.setBarValue(1, float(Bar1Step));
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
