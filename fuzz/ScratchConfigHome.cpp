#include "ScratchConfigHome.h"

#include <winreg_store.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace {

std::filesystem::path& configHome()
{
    static std::filesystem::path home;
    return home;
}

} // namespace

void useScratchConfigHome(const std::string& prefix)
{
    configHome() = std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(configHome());
    std::filesystem::create_directories(configHome());
    ::setenv("XDG_CONFIG_HOME", configHome().c_str(), 1);
    RegStoreClose();
    std::atexit([] {
        RegStoreClose();
        std::error_code ignored;
        std::filesystem::remove_all(configHome(), ignored);
    });
}
