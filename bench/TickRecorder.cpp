#include "TickRecorder.h"

#include <QEvent>

namespace dawdlex::bench {

TickRecorder::TickRecorder(QObject* timer, std::function<int()> position, QObject* parent)
    : QObject(parent), m_position(std::move(position))
{
    m_samples.reserve(1 << 20);
    timer->installEventFilter(this);
}

bool TickRecorder::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Timer) {
        m_samples.push_back({Clock::now(), m_position()});
    }
    return QObject::eventFilter(watched, event);
}

} // namespace dawdlex::bench
