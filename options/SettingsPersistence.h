#pragma once

namespace dawdlex {

class OptionsWindow;

// Where the settings live between runs: sixteen text values of one registry key of the current user.
inline constexpr char kSettingsKey[] = "HKEY_CURRENT_USER\\Software\\Pendlewick\\Dawdlex";

// The two ends of the settings' life outside the program: loadSettings copies the stored values into the
// Options window's controls once at start-up, saveSettings copies the controls back once when the program
// ends. Each uses a registry object of its own, released on return, which closes the key. Nothing else reads
// or writes the stored settings; neither throws.

// Opens the key and loads every stored value through its control, so that the controls react as to a
// user's change (delay boxes correct themselves, a ticked disableSaverCheck switches the screen saver off). A
// missing key is created and the user welcomed; a key that can be neither opened nor created gives a warning.
// In both cases nothing is read and every control keeps its default. A value that is missing, empty, or not
// usable by its control (a "Dual" or "Saver" other than 0 or 1, an "Icon" outside the list) leaves that
// control as it was; the others still load.
void loadSettings(OptionsWindow& form2);

// Writes all sixteen values as plain strings when the key opens; otherwise writes nothing and says nothing.
// Never creates the key. A failed write does not stop the ones after it.
void saveSettings(const OptionsWindow& form2);

} // namespace dawdlex
