#include "SignalBlocker.h"

namespace dawdlex::regtool {

SignalBlocker::SignalBlocker()
{
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGHUP);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGQUIT);
    pthread_sigmask(SIG_BLOCK, &blocked, &m_previous);
}

SignalBlocker::~SignalBlocker()
{
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

} // namespace dawdlex::regtool
