#include "StoreLocation.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dawdlex::winreg {

namespace {

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home == '/')
        return home;
    const passwd* entry = getpwuid(getuid());
    if (entry && entry->pw_dir && *entry->pw_dir == '/')
        return entry->pw_dir;
    return {};
}

std::string configFolder()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return config;
    const std::string home = homeFolder();
    return home.empty() ? std::string() : home + "/.config";
}

// mkdir under a strict umask could leave the owner locked out; what we create gets exactly 0700.
bool makeOne(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) == 0)
        return ::chmod(path.c_str(), 0700) == 0;
    return errno == EEXIST;
}

bool makeFolder(const std::string& path)
{
    if (makeOne(path))
        return true;
    if (errno != ENOENT)
        return false;
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return false;
    if (!makeFolder(path.substr(0, slash)))
        return false;
    return makeOne(path);
}

} // namespace

std::string StoreLocation::filePath()
{
    const std::string config = configFolder();
    return config.empty() ? std::string() : config + "/dawdlex/registry.sqlite3";
}

LSTATUS StoreLocation::prepareFolder(const std::string& filePath)
{
    const std::size_t slash = filePath.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return ERROR_CANTOPEN;
    const std::string folder = filePath.substr(0, slash);
    if (!makeFolder(folder))
        return ERROR_CANTOPEN;
    struct stat info = {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return ERROR_CANTOPEN;
    return ERROR_SUCCESS;
}

} // namespace dawdlex::winreg
