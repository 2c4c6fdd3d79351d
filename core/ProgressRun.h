#pragma once

#include "Settings.h"

#include <cstdint>
#include <string>

namespace dawdlex {

// What the run drives: the status line, the tick interval and the two bars.
class ProgressDisplay
{
public:
    virtual ~ProgressDisplay() = default;
    virtual void showPhaseMessage(const std::string& text) = 0;
    virtual void setTickInterval(std::int32_t milliseconds) = 0;
    virtual void showBarValue(int bar, float value) = 0;
};

// The make-believe job: the two bar counters and the current phase, advanced one tick at a time. It owns
// no timer and no widget; the main window forwards its timer's ticks here.
class ProgressRun
{
public:
    explicit ProgressRun(ProgressDisplay& display);

    // Puts the run in its initial state: both bars and the phase at 0.
    void reset();

    // One tick: advances the first bar; every 41st tick empties it, advances the second bar and enters the
    // next phase, whose message and delay are read from `settings` as they are at that moment.
    void tick(const Settings& settings);

    // The current phase, 0 to 4.
    std::int32_t phase() const { return m_phase; }
    std::int32_t firstBarStep() const { return m_firstBarStep; }
    std::int32_t secondBarStep() const { return m_secondBarStep; }

    // A bar shows 1 to 40 and then 0, so one cycle is 41 ticks.
    static constexpr std::int32_t kCycle = 41;
    static constexpr std::int32_t kPhaseCount = std::int32_t(Settings::kPhaseCount);

private:
    void enterNextPhase(const Settings& settings);

    ProgressDisplay& m_display;
    std::int32_t m_phase = 0;
    std::int32_t m_firstBarStep = 0;
    std::int32_t m_secondBarStep = 0;
};

} // namespace dawdlex
