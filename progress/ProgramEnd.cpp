#include "ProgramEnd.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QThread>

#include <cstdlib>

#ifndef _WIN32
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>
#endif

namespace dawdlex {

namespace {
// The one live object, for the exit hook; only the user-interface thread sets and reads it.
ProgramEnd* g_live = nullptr;
} // namespace

#ifndef _WIN32
namespace {

// SIGHUP: the terminal that started the program was closed.
constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's write end, for the signal handler; -1 while no ProgramEnd exists.
std::atomic<int> g_wakeFd{-1};
// What the program did on each signal before, restored when the object goes.
struct sigaction g_previous[std::size(kEndSignals)];

// Only async-signal-safe calls here: one write, errno preserved for the code that was interrupted.
void onEndSignal(int)
{
    const int savedErrno = errno;
    const int fd = g_wakeFd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace
#endif

ProgramEnd::ProgramEnd(std::function<void()> end, QObject* parent) : QObject(parent), m_end(std::move(end))
{
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { request(); });
    }
    if (auto* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, &ProgramEnd::request);
    }
    installSignalHandlers();
    g_live = this;
    [[maybe_unused]] static const bool hooked = std::atexit(&ProgramEnd::onExit) == 0;
}

ProgramEnd::~ProgramEnd()
{
    g_live = nullptr;
    removeSignalHandlers();
}

void ProgramEnd::onExit()
{
    ProgramEnd* live = g_live;
    if (!live || live->m_requested || !live->m_saveAtExit) {
        return;
    }
    // exit() from another thread would race the user-interface thread over the settings.
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        return;
    }
    live->m_requested = true;
    live->m_saveAtExit();
}

void ProgramEnd::request()
{
    if (m_requested) {
        return;
    }
    m_requested = true;
    if (m_end) {
        m_end();
    }
}

#ifndef _WIN32

// Without the pipe the signals keep their default action, which ends the program unsaved: better than not
// ending at all.
void ProgramEnd::installSignalHandlers()
{
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        return;
    }
    m_readEnd = FileDescriptor(fds[0]);
    m_writeEnd = FileDescriptor(fds[1]);
    g_wakeFd.store(m_writeEnd.get());

    m_notifier = new QSocketNotifier(m_readEnd.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        drainPipe();
        request();
    });

    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
        sigaction(kEndSignals[i], &action, &g_previous[i]);
    }
}

void ProgramEnd::removeSignalHandlers()
{
    if (!m_writeEnd.isOpen()) {
        return;
    }
    for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
        sigaction(kEndSignals[i], &g_previous[i], nullptr);
    }
    g_wakeFd.store(-1);
    delete m_notifier;
    m_notifier = nullptr;
    m_writeEnd = {};
    m_readEnd = {};
}

void ProgramEnd::drainPipe()
{
    char bytes[16];
    while (::read(m_readEnd.get(), bytes, sizeof bytes) > 0) {
    }
}

#else

// A Windows program without a console receives no such signals; the session's end reaches it through Qt.
void ProgramEnd::installSignalHandlers() {}
void ProgramEnd::removeSignalHandlers() {}
void ProgramEnd::drainPipe() {}

#endif

} // namespace dawdlex
