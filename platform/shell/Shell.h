#pragma once

#include <string>

namespace dawdlex::platform {

// Hands an address to the desktop's default handler (the user's browser for a web address) and returns at
// once, without waiting for it. The address is in the system's narrow encoding: the ANSI code page on
// Windows, UTF-8 elsewhere. Returns true when the handler was started; false when there is none, the
// address is not valid or (elsewhere than Windows) no Qt GUI application is running. Nothing is shown to
// the user either way.
bool openUrl(const std::string& address);

} // namespace dawdlex::platform
