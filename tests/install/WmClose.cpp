// Asks an X window to close the way a window manager's close box does: a WM_DELETE_WINDOW client
// message. Xvfb runs no window manager, and xdotool can only destroy a window, which a program never
// sees as a close request.
//
//   wm-close WINDOW_ID        (decimal or 0x hexadecimal, as xdotool and xprop print them)
//
// Exits 0 once the message is sent, 1 when there is no display, the id is not a number, or the window
// does not take WM_DELETE_WINDOW.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct DisplayCloser
{
    void operator()(Display* display) const { XCloseDisplay(display); }
};

bool takesDeleteWindow(Display* display, Window window, Atom deleteWindow)
{
    Atom* protocols = nullptr;
    int count = 0;
    if (XGetWMProtocols(display, window, &protocols, &count) == 0) {
        return false;
    }
    bool found = false;
    for (int i = 0; i < count; ++i) {
        found = found || protocols[i] == deleteWindow;
    }
    XFree(protocols);
    return found;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: wm-close WINDOW_ID\n");
        return 1;
    }
    char* end = nullptr;
    const unsigned long id = std::strtoul(argv[1], &end, 0);
    if (end == argv[1] || *end != '\0' || id == 0) {
        std::fprintf(stderr, "wm-close: not a window id: %s\n", argv[1]);
        return 1;
    }
    const std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) {
        std::fprintf(stderr, "wm-close: cannot open the display\n");
        return 1;
    }
    const Window window = id;
    const Atom protocols = XInternAtom(display.get(), "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display.get(), "WM_DELETE_WINDOW", False);
    if (!takesDeleteWindow(display.get(), window, deleteWindow)) {
        std::fprintf(stderr, "wm-close: window 0x%lx does not take WM_DELETE_WINDOW\n", id);
        return 1;
    }

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display.get(), window, False, NoEventMask, &event);
    XSync(display.get(), False);
    return 0;
}
