#include "Shell.h"

#ifdef _WIN32

#include <windows.h>

#include <shellapi.h>

namespace dawdlex::platform {

bool openUrl(const std::string& address)
{
    // ShellExecuteA reports success as a value above 32 disguised as an instance handle.
    const HINSTANCE result =
        ShellExecuteA(nullptr, nullptr, address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace dawdlex::platform

#else

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace dawdlex::platform {

bool openUrl(const std::string& address)
{
    // Qt starts xdg-open (or the desktop's own opener) detached, so this never waits for the browser.
    const QUrl url(QString::fromStdString(address));
    if (!url.isValid() || url.isEmpty())
        return false;
    return QDesktopServices::openUrl(url);
}

} // namespace dawdlex::platform

#endif
