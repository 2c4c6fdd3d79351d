#include "FramePacer.h"

#include <QProgressBar>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace dawdlex {

FramePacer::FramePacer(QWidget* window) : QObject(window), m_window(window)
{
    m_frame.setSingleShot(true);
    m_frame.setTimerType(Qt::PreciseTimer);
    connect(&m_frame, &QTimer::timeout, this, &FramePacer::paintFrame);
}

void FramePacer::setValue(QProgressBar* bar, int value)
{
    if (bar->value() == value) {
        return;
    }
    // With updates off, setValue only records the value; turning them on again at the frame asks for one
    // ordinary (posted) paint, which the window does together with anything else that changed.
    if (std::find(m_waiting.begin(), m_waiting.end(), bar) == m_waiting.end()) {
        bar->setUpdatesEnabled(false);
        m_waiting.push_back(bar);
    }
    bar->setValue(value);
    if (m_frame.isActive()) {
        return;
    }
    // Even a frame that is due waits for the event loop, so that both bars of one tick share it.
    const qint64 wait = m_sinceFrame.isValid() ? frameMs() - m_sinceFrame.elapsed() : 0;
    m_frame.start(int(std::max<qint64>(wait, 0)));
}

void FramePacer::paintFrame()
{
    for (QProgressBar* bar : m_waiting) {
        bar->setUpdatesEnabled(true);
    }
    m_waiting.clear();
    m_sinceFrame.start();
}

int FramePacer::frameMs() const
{
    const QScreen* screen = m_window->screen();
    const qreal rate = screen ? screen->refreshRate() : 60.0;
    // A screen reporting nonsense still gets between 20 and 250 frames a second.
    return std::clamp(int(std::lround(1000.0 / std::max<qreal>(rate, 1.0))), 4, 50);
}

} // namespace dawdlex
