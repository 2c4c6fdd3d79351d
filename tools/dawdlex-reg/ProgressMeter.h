// A progress bar on one terminal line for imports and exports that take a while.
//
// It draws nothing during the first second, so short runs stay quiet, and only when enabled (the caller
// passes whether its stream is a terminal). Redraws at most ten times a second. It owns no stream.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

namespace dawdlex::regtool {

class ProgressMeter
{
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    ProgressMeter(std::ostream& out, bool enabled, std::string label,
                  Clock clock = std::chrono::steady_clock::now);
    ~ProgressMeter();
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    // `total` 0 means unknown: the line then shows the count only.
    void update(std::size_t done, std::size_t total);
    // Clears the line if anything was drawn.
    void finish();

private:
    std::ostream& m_out;
    bool m_enabled;
    std::string m_label;
    Clock m_clock;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
    std::size_t m_drawnWidth = 0;
};

} // namespace dawdlex::regtool
