#include "ScreenSaver.h"

#ifdef _WIN32

#include <windows.h>

namespace dawdlex::platform {

bool setScreenSaverActive(bool active)
{
    // Update flags 0: neither written to the profile nor broadcast to other programs.
    return SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active ? 1 : 0, nullptr, 0) > 0;
}

} // namespace dawdlex::platform

#else

#include "ScreenSaverOffHelper.h"

#include <memory>

// Last: Xlib's macros clash with Qt's headers.
#include <X11/Xlib.h>

namespace dawdlex::platform {
namespace {

struct DisplayCloser
{
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayConnection = std::unique_ptr<Display, DisplayCloser>;

// Xlib's default error handler ends the process; while we talk to the server, an error only marks the
// switch as failed. The UI thread is the only caller, so a plain flag is enough.
bool g_requestFailed = false;

int recordError(Display*, XErrorEvent*)
{
    g_requestFailed = true;
    return 0;
}

class ScopedErrorHandler
{
public:
    ScopedErrorHandler() : m_previous(XSetErrorHandler(recordError)) { g_requestFailed = false; }
    ~ScopedErrorHandler() { XSetErrorHandler(m_previous); }
    ScopedErrorHandler(const ScopedErrorHandler&) = delete;
    ScopedErrorHandler& operator=(const ScopedErrorHandler&) = delete;

private:
    XErrorHandler m_previous;
};

// The X server's own screen saver: all there is to switch on a bare X server.
bool setXServerScreenSaver(bool active)
{
    const DisplayConnection display(XOpenDisplay(nullptr));
    if (!display)
        return false;

    const ScopedErrorHandler errors;
    int timeout = 0;
    int interval = 0;
    int preferBlanking = 0;
    int allowExposures = 0;
    XGetScreenSaver(display.get(), &timeout, &interval, &preferBlanking, &allowExposures);
    // -1 asks the server for its own default timeout; 0 disables the screen saver.
    XSetScreenSaver(display.get(), active ? -1 : 0, interval, preferBlanking, allowExposures);
    XSync(display.get(), False);
    return !g_requestFailed;
}

} // namespace

// Desktops keep their own idle timers and most ignore the X server's timeout; they all honour an idle
// inhibit on the session bus, which the helper holds for as long as the screen saver is to stay off.
bool setScreenSaverActive(bool active)
{
    if (!ScreenSaverOffHelper::available()) {
        return setXServerScreenSaver(active);
    }
    return active ? ScreenSaverOffHelper::switchOn() : ScreenSaverOffHelper::switchOff();
}

} // namespace dawdlex::platform

#endif
