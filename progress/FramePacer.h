#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

class QProgressBar;
class QWidget;

namespace dawdlex {

// Lets progress bars change faster than the screen can show without paying for every change: a bar's
// value is set at once (readers see the latest state), but its painting waits for the next frame of the
// window's screen, so a bar repaints at most once per refresh however often it changes. A QProgressBar
// otherwise repaints synchronously on every visible change. Owns its frame timer; the bars stay the
// window's.
class FramePacer : public QObject
{
public:
    explicit FramePacer(QWidget* window);

    // Sets the bar's value; nothing happens when it already has it.
    void setValue(QProgressBar* bar, int value);

private:
    void paintFrame();
    int frameMs() const;

    QWidget* m_window;
    QTimer m_frame;
    QElapsedTimer m_sinceFrame;
    std::vector<QProgressBar*> m_waiting;
};

} // namespace dawdlex
