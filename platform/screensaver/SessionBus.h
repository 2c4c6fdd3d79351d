#pragma once

namespace dawdlex::platform {

// True when the user's session bus has an address: $DBUS_SESSION_BUS_ADDRESS, or the per-user bus socket
// under $XDG_RUNTIME_DIR. Asked before connecting, since connecting without one would start a new bus of
// its own on the X display, which no desktop service listens to.
bool sessionBusConfigured();

} // namespace dawdlex::platform
