#include "ProgressMeter.h"

#include <utility>

namespace dawdlex::regtool {

namespace {

constexpr auto kQuietPeriod = std::chrono::seconds(1);
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);
constexpr std::size_t kBarWidth = 40;

} // namespace

ProgressMeter::ProgressMeter(std::ostream& out, bool enabled, std::string label, Clock clock)
    : m_out(out), m_enabled(enabled), m_label(std::move(label)), m_clock(std::move(clock)),
      m_start(m_clock()), m_lastDraw(m_start)
{}

ProgressMeter::~ProgressMeter()
{
    finish();
}

void ProgressMeter::update(std::size_t done, std::size_t total)
{
    if (!m_enabled)
        return;
    const auto now = m_clock();
    if (now - m_start < kQuietPeriod || (m_drawnWidth > 0 && now - m_lastDraw < kRedrawPeriod))
        return;
    m_lastDraw = now;
    std::string line = m_label + " ";
    if (total == 0) {
        line += std::to_string(done);
    } else {
        const std::size_t shown = done > total ? total : done;
        const std::size_t filled = shown * kBarWidth / total;
        // Appended piece by piece: GCC 12 at -O3 misreads `"[" + std::string(...)` as an overlapping copy.
        line += '[';
        line.append(filled, '#');
        line.append(kBarWidth - filled, ' ');
        line += "] ";
        line += std::to_string(shown * 100 / total);
        line += '%';
    }
    const std::size_t width = line.size();
    if (width < m_drawnWidth)
        line += std::string(m_drawnWidth - width, ' ');
    m_out << '\r' << line << std::flush;
    m_drawnWidth = width > m_drawnWidth ? width : m_drawnWidth;
}

void ProgressMeter::finish()
{
    if (m_drawnWidth == 0)
        return;
    m_out << '\r' << std::string(m_drawnWidth, ' ') << '\r' << std::flush;
    m_drawnWidth = 0;
}

} // namespace dawdlex::regtool
