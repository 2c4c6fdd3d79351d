#include "options/DesktopServices.h"

#include "options/FileDialog.h"
#include "platform/screensaver/ScreenSaver.h"
#include "platform/shell/Shell.h"

DesktopServices DesktopServices::platformDefaults()
{
    DesktopServices seams;
    seams.showMessage = [](const QString& text, dawdlex::MessageSymbol symbol) {
        dawdlex::showMessageBox(text, symbol);
    };
    seams.setScreenSaverActive = &dawdlex::platform::setScreenSaverActive;
    // The shell takes the address in the system's narrow encoding.
    seams.openUrl = [](const QString& address) {
        dawdlex::platform::openUrl(address.toLocal8Bit().toStdString());
    };
    seams.browseForFile = &BrowseForFile;
    return seams;
}
