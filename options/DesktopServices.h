#pragma once

#include "MessageBoxes.h"

#include <QString>
#include <QtGlobal>

#include <functional>

class QWidget;

// The maker's home page, opened by the Options window's website button and banner.
inline constexpr char MakerHomePage[] = "https://pendlewick.example/";

// What the windows reach outside the program and a test must replace, in one place: the screen saver, the
// browser, the file dialog and the modal message box that waits for a person. Holds plain callables and
// owns nothing else; platformDefaults() gives the real ones.
struct DesktopServices
{
    // Shows a modal box with an OK button and returns once it is dismissed (see showMessageBox).
    std::function<void(const QString& text, dawdlex::MessageSymbol symbol)> showMessage;
    // Switches the system screen saver on (true) or off (false); true when the switch was made.
    std::function<bool(bool active)> setScreenSaverActive;
    // Opens address in the user's default browser; never waits for it, reports nothing.
    std::function<void(const QString& address)> openUrl;
    // The open-file dialog: the chosen full path, "" on cancel or failure (see BrowseForFile).
    std::function<QString(const QString& filter, const QString& defaultExt, const QString& initialDir,
                          quint32 flags, QWidget* owner)>
        browseForFile;

    static DesktopServices platformDefaults();
};
