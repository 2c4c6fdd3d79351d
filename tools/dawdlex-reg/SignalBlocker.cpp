#include "SignalBlocker.h"

#include <initializer_list>

namespace dawdlex::regtool {

SignalBlocker::SignalBlocker()
{
    sigemptyset(&m_blocked);
    sigaddset(&m_blocked, SIGINT);
    sigaddset(&m_blocked, SIGHUP);
    sigaddset(&m_blocked, SIGTERM);
    sigaddset(&m_blocked, SIGQUIT);
    pthread_sigmask(SIG_BLOCK, &m_blocked, &m_previous);
}

bool SignalBlocker::requested() const
{
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0)
        return false;
    for (const int signal : {SIGINT, SIGHUP, SIGTERM, SIGQUIT}) {
        // One the caller already held back before is not ours to act on.
        if (sigismember(&pending, signal) == 1 && sigismember(&m_previous, signal) == 0)
            return true;
    }
    return false;
}

SignalBlocker::~SignalBlocker()
{
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

} // namespace dawdlex::regtool
