#include "XScreenSaverSuspension.h"

#include <QSocketNotifier>
#include <QtGlobal>

#include <unistd.h>

// Last: Xlib's macros clash with Qt's headers.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace dawdlex::platform {
namespace {

// Xlib calls this when the connection breaks and ends the process if it returns. The inhibits on the bus
// are released by the bus itself when this process's connection closes.
int onConnectionLost(Display*)
{
    ::_exit(0);
}

bool waylandSession()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

XScreenSaverSuspension::XScreenSaverSuspension(QObject* parent) : QObject(parent) {}

XScreenSaverSuspension::~XScreenSaverSuspension()
{
    release();
}

bool XScreenSaverSuspension::suspend()
{
    if (m_display || waylandSession()) {
        return m_display != nullptr;
    }
    m_display = XOpenDisplay(nullptr);
    if (!m_display) {
        return false;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    // Suspending came with version 1.1 of the extension.
    if (!XScreenSaverQueryExtension(m_display, &eventBase, &errorBase) ||
        !XScreenSaverQueryVersion(m_display, &major, &minor) || major < 1 || (major == 1 && minor < 1)) {
        XCloseDisplay(m_display);
        m_display = nullptr;
        return false;
    }
    XSetIOErrorHandler(onConnectionLost);
    XScreenSaverSuspend(m_display, True);
    XSync(m_display, False);
    m_notifier = new QSocketNotifier(ConnectionNumber(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &XScreenSaverSuspension::drainEvents);
    return true;
}

// The helper asks for no events; reading is how a broken connection shows.
void XScreenSaverSuspension::drainEvents()
{
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
    }
}

void XScreenSaverSuspension::release()
{
    if (!m_display) {
        return;
    }
    delete m_notifier;
    m_notifier = nullptr;
    XScreenSaverSuspend(m_display, False);
    XCloseDisplay(m_display);
    m_display = nullptr;
}

} // namespace dawdlex::platform
