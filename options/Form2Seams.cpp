#include "options/Form2Seams.h"

#include "options/OpenFileAPI.h"
#include "platform/screensaver/ScreenSaver.h"
#include "platform/shell/Shell.h"

Form2Seams Form2Seams::platformDefaults()
{
    Form2Seams seams;
    seams.setScreenSaverActive = &dawdlex::platform::setScreenSaverActive;
    // The shell takes the address in the system's narrow encoding.
    seams.openUrl = [](const QString& address) {
        dawdlex::platform::openUrl(address.toLocal8Bit().toStdString());
    };
    seams.browseForFile = &BrowseForFile;
    return seams;
}
