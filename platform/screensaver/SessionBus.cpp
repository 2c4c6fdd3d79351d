#include "SessionBus.h"

#include <cstdlib>
#include <string>

#include <sys/stat.h>

namespace dawdlex::platform {

bool sessionBusConfigured()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) {
        return true;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) {
        return false;
    }
    struct stat info = {};
    return ::stat((std::string(runtime) + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

} // namespace dawdlex::platform
