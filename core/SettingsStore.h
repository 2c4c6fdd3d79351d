#pragma once

#include "Settings.h"

namespace dawdlex {

// Where the settings live between runs: sixteen REG_SZ values of one registry key of the current user.
inline constexpr char kSettingsKey[] = "HKEY_CURRENT_USER\\Software\\Pendlewick\\Dawdlex";

// How a load went, for the caller to tell the user.
enum class SettingsLoad
{
    Loaded,        // the key was there; every usable value was taken
    KeyCreated,    // a first start: the key was created, nothing was read
    KeyUnavailable // the key could be neither opened nor created; nothing was read
};

// Loads the stored settings over `settings` through a CRegistry of its own, released on return. A value
// that is missing, empty, or unusable (a "Dual" or "Saver" other than 0 or 1, an "Icon" outside the list)
// leaves its setting as it was; the others still load. A stored text ends at its first NUL character; a
// stored delay is corrected into its bounds. A missing key is created. Never throws.
[[nodiscard]] SettingsLoad loadSettings(Settings& settings);

// Writes all sixteen values as plain strings when the key opens; otherwise writes nothing. Never creates
// the key. A failed write does not stop the ones after it; false when any write failed or the key did not
// open.
[[nodiscard]] bool saveSettings(const Settings& settings);

} // namespace dawdlex
