#pragma once

namespace dawdlex::platform {

// Switches the system screen saver on (true) or off (false) for the running session. Nothing is written to
// the user's profile, the previous state is not remembered and nothing restores it later.
// Windows: the user's screen-saver switch. X11: the screen saver of the X server named by $DISPLAY; on
// becomes the server's default timeout, off a timeout of 0. The setting stays on the server after this
// call's short-lived connection closes (until the server resets when its last client leaves).
// Returns true when the switch was made. Returns false, changing nothing, when the system refuses or when
// there is no X display to talk to (as in a Wayland session without XWayland).
bool setScreenSaverActive(bool active);

} // namespace dawdlex::platform
