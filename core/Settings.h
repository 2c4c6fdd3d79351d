#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace dawdlex {

// The sixteen settings the user edits in the Options window, with their defaults: a plain value that the
// Options window edits, the progress run and the main window read, and SettingsStore loads and saves.
// Texts are UTF-8 as the windows hand them over. It checks nothing itself; see SettingsStore for what a
// stored value must be to be taken.
struct Settings
{
    static constexpr std::size_t kPhaseCount = 5;
    // The icon list: seven built-in pictures, then the custom picture file.
    static constexpr int kIconCount = 8;
    static constexpr int kCustomIcon = 7;

    std::string title = "Processing...";
    std::array<std::string, kPhaseCount> statuses{"Reading Files...", "Linking Data...", "Updating...", "",
                                                  ""};
    // Phase delays in milliseconds, as the user typed them; see correctedDelay and delayInterval.
    std::array<std::string, kPhaseCount> delays{"50", "200", "400", "200", "200"};
    std::string buttonText = "Cancel";
    bool dualBars = true;
    bool disableScreenSaver = false;
    // The icon list's entry; -1 stands for no selection.
    int icon = 0;
    std::string customIconPath;

    bool operator==(const Settings&) const = default;
};

} // namespace dawdlex
