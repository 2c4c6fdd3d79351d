// Holds back Ctrl-C, hang-up and termination requests while it lives, so that a change made of several
// store calls (an import with its undo) is never cut off half-way; the change asks requested() between its
// steps to stop early, and a request that arrived meanwhile takes effect when the blocker goes. Blocks
// nothing else, and only for the calling thread.
#pragma once

#include <signal.h>

namespace dawdlex::regtool {

class SignalBlocker
{
public:
    SignalBlocker();
    ~SignalBlocker();

    // True once one of the held-back requests has arrived: the change may stop early and undo itself.
    bool requested() const;
    SignalBlocker(const SignalBlocker&) = delete;
    SignalBlocker& operator=(const SignalBlocker&) = delete;

private:
    sigset_t m_blocked;
    sigset_t m_previous;
};

} // namespace dawdlex::regtool
