// Start-up of the real program as a person sees it: starts the program and waits for the X server to map
// its first top-level window (MapNotify on the root window), then asks it to end with SIGTERM, which saves
// the settings as a normal end does. Prints "map_ms=<milliseconds from fork to MapNotify>".
//
//   dawdlex-mapwatch [--linger MS] PROGRAM [ARGS...]
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the first MapNotify of a root child; false after timeoutMs or when the child exits first.
bool waitForMap(Display* display, pid_t child, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    while (Clock::now() < deadline) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect) {
                return true;
            }
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return false;
        }
        poll(&fd, 1, 5);
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    int lingerMs = 200;
    if (argc > 2 && std::strcmp(argv[1], "--linger") == 0) {
        lingerMs = std::atoi(argv[2]);
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--linger MS] PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        close(ConnectionNumber(display));
        execvp(argv[first], argv + first);
        _exit(127);
    }
    const bool mapped = waitForMap(display, child, 10000);
    const double mapMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    usleep(useconds_t(lingerMs) * 1000);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    XCloseDisplay(display);
    if (!mapped) {
        std::fprintf(stderr, "the program mapped no window\n");
        return 1;
    }
    std::printf("map_ms=%.2f\n", mapMs);
    return 0;
}
