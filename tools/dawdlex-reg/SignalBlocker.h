// Holds back Ctrl-C, hang-up and termination requests while it lives, so that a change made of several
// store calls (an import with its undo) runs to its end; a request that arrived meanwhile takes effect
// when the blocker goes. Blocks nothing else, and only for the calling thread.
#pragma once

#include <signal.h>

namespace dawdlex::regtool {

class SignalBlocker
{
public:
    SignalBlocker();
    ~SignalBlocker();
    SignalBlocker(const SignalBlocker&) = delete;
    SignalBlocker& operator=(const SignalBlocker&) = delete;

private:
    sigset_t m_previous;
};

} // namespace dawdlex::regtool
