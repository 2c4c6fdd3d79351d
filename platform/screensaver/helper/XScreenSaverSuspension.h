#pragma once

#include <QObject>

struct _XDisplay;
class QSocketNotifier;

namespace dawdlex::platform {

// Suspends the X server's screen saver and monitor power saving on a connection of its own, which the
// server undoes when that connection closes. When the connection breaks (the X server ended: the user
// logged off), the process ends at once; everything it held on the session bus goes with it.
// Not used in a Wayland session, whose compositor does not consult X.
class XScreenSaverSuspension : public QObject
{
    Q_OBJECT

public:
    explicit XScreenSaverSuspension(QObject* parent = nullptr);
    ~XScreenSaverSuspension() override;

    // True when the X server suspended its screen saver for this connection.
    bool suspend();
    void release();

private:
    void drainEvents();

    _XDisplay* m_display = nullptr;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace dawdlex::platform
