#include "DesktopServices.h"

#include "FileDialog.h"
#include "ScreenSaver.h"
#include "Shell.h"

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
