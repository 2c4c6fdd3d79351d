#pragma once

namespace dawdlex::platform {

// The program's side of the screen-saver helper: starting it, and asking it over the session bus to give
// everything back. The helper's bus name is the state, so every instance of the program sees the same
// one. Each call waits, at most a few seconds, until the state it asked for holds or cannot come.
class ScreenSaverOffHelper
{
public:
    // True when the session bus can be reached; the other calls need it.
    static bool available();

    // Starts the helper unless it already runs. True once its name is on the bus; false when it could not
    // be started or held nothing (no idle-inhibit service and no X screen-saver extension).
    static bool switchOff();

    // Asks a running helper to release everything and waits until its name is gone. True when no helper
    // holds the screen saver off any more.
    static bool switchOn();

    static bool isSwitchedOff();
};

} // namespace dawdlex::platform
