#pragma once

namespace dawdlex::platform {

// Switches the system screen saver on (true) or off (false) for the running session. Nothing is written to
// the user's profile, the previous state is not remembered and nothing restores it later.
// Windows: the user's screen-saver switch.
// Elsewhere, with a session bus: off starts the helper program, which holds an idle inhibit of every
// desktop service present (and suspends the X server's screen saver) until it is switched on again or the
// user logs off; on asks it to let go. Every instance of the program sees the same state.
// Without a session bus: the screen saver of the X server named by $DISPLAY; on becomes the server's
// default timeout, off a timeout of 0, and the setting stays on the server after this call.
// Returns true when the state asked for holds afterwards; false when the system refused, the helper could
// hold nothing, or there is neither a bus nor an X display to talk to.
bool setScreenSaverActive(bool active);

} // namespace dawdlex::platform
