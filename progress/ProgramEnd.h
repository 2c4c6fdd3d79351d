#pragma once

#include <QObject>

#ifndef _WIN32
#include "FileDescriptor.h"
#endif

#include <functional>

class QSocketNotifier;

namespace dawdlex {

// Turns every request from outside to end the program into one call of the end handler, made on the
// user-interface thread: SIGTERM, SIGINT and SIGHUP, the desktop session asking the program to save its data
// (logging out), and the application quitting by other means. The handler runs at most once.
//
// It owns the signal handlers it installs, and a pipe that they write one byte into, since a signal
// handler may call nothing of Qt; the pipe is read on the event loop. The handlers are those the program
// had before once this object is gone. After the first signal the default action is back in place, so a
// second such signal ends a program whose event loop has stopped answering. Only one object may
// exist at a time. It does not end the process itself: that is the handler's task.
class ProgramEnd : public QObject
{
    Q_OBJECT

public:
    explicit ProgramEnd(std::function<void()> end, QObject* parent = nullptr);
    ~ProgramEnd() override;
    ProgramEnd(const ProgramEnd&) = delete;
    ProgramEnd& operator=(const ProgramEnd&) = delete;

    // True once the end handler has been called.
    bool requested() const { return m_requested; }

    // Calls the end handler unless it has already been called.
    void request();

    // What to do when the process is ended by exit() on the user-interface thread while nothing asked it
    // to end: Qt's platform layer does that when the connection to the display breaks (the X server
    // ended). Only saving belongs here, since no window can be shown or closed any more; it counts as the
    // end handler's one call. Not called from any other thread, nor once this object is gone.
    void setSaveAtExit(std::function<void()> save) { m_saveAtExit = std::move(save); }

private:
    void installSignalHandlers();
    void removeSignalHandlers();
    void drainPipe();
    static void onExit();

    std::function<void()> m_end;
    std::function<void()> m_saveAtExit;
    bool m_requested = false;
#ifndef _WIN32
    FileDescriptor m_readEnd;
    FileDescriptor m_writeEnd;
#endif
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace dawdlex
