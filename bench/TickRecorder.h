#pragma once

#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace dawdlex::bench {

// Watches the main window's timer from outside: an event filter on the timer object stamps each timer
// event with the steady clock before the tick handler runs, together with the run's position at that
// moment. The product knows nothing of it. Owns only the samples.
class TickRecorder : public QObject
{
public:
    using Clock = std::chrono::steady_clock;

    struct Sample
    {
        Clock::time_point time;
        // Position of the run before this event's tick: 41 x second bar + first bar.
        int position = 0;
    };

    // position() reads the run's position; it is called from the filter.
    TickRecorder(QObject* timer, std::function<int()> position, QObject* parent = nullptr);

    const std::vector<Sample>& samples() const { return m_samples; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<int()> m_position;
    std::vector<Sample> m_samples;
};

} // namespace dawdlex::bench
