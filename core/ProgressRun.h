#pragma once

#include <QString>

#include <cstdint>

namespace dawdlex {

// The current phase of the progress run, 0 to 4: one variable for the whole process, written by the tick
// and read by the Options window's Apply.
inline std::int32_t PhaseIndex = 0;

// Where the run reads each phase's message and delay, afresh at every change of phase.
class PhaseSettings
{
public:
    virtual ~PhaseSettings() = default;
    virtual QString statusText(int phase) const = 0;
    virtual QString delayText(int phase) const = 0;
};

// What the run drives: the status line, the timer's interval and the two bars.
class ProgressDisplay
{
public:
    virtual ~ProgressDisplay() = default;
    virtual void setStatusCaption(const QString& text) = 0;
    virtual void setTimerInterval(std::int32_t milliseconds) = 0;
    virtual void setBarValue(int bar, float value) = 0;
};

// The make-believe job: the two bar counters and the phase, advanced one tick at a time. It owns no timer
// and no widget; the main window forwards its timer's ticks here.
class ProgressRun
{
public:
    ProgressRun(const PhaseSettings& settings, ProgressDisplay& display);

    // Puts the run in its initial state: both bars and PhaseIndex at 0.
    void reset();

    // One tick: advances the first bar; every 41st tick empties it, advances the second bar and enters the
    // next phase, whose message and delay are read from the settings.
    void tick();

    std::int32_t firstBarStep() const { return m_firstBarStep; }
    std::int32_t secondBarStep() const { return m_secondBarStep; }

    // A bar shows 1 to 40 and then 0, so one cycle is 41 ticks.
    static constexpr std::int32_t kCycle = 41;
    static constexpr std::int32_t kPhaseCount = 5;

private:
    void enterNextPhase();

    const PhaseSettings& m_settings;
    ProgressDisplay& m_display;
    std::int32_t m_firstBarStep = 0;
    std::int32_t m_secondBarStep = 0;
};

} // namespace dawdlex
