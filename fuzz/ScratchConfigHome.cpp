#include "ScratchConfigHome.h"

#include <winreg_store.h>

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

namespace {

std::filesystem::path& configHome()
{
    static std::filesystem::path home;
    return home;
}

// A fuzz run is one process with a store of its own, so SQLite's file locks, taken afresh by every registry
// call, only cost time: over a quarter of it in these targets. Exclusive locking mode takes them once and
// keeps the log's index in memory. Sharing the store between processes is the reliability tests' concern.
int lockExclusively(sqlite3* db, const char**, const sqlite3_api_routines*)
{
    if (sqlite3_db_readonly(db, "main") == 1)
        return SQLITE_OK; // the one-off look at the file before the store opens it
    return sqlite3_exec(db, "PRAGMA locking_mode = EXCLUSIVE", nullptr, nullptr, nullptr);
}

} // namespace

void useScratchConfigHome(const std::string& prefix)
{
    configHome() = std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(configHome());
    std::filesystem::create_directories(configHome());
    ::setenv("XDG_CONFIG_HOME", configHome().c_str(), 1);
    RegStoreClose();
    if (sqlite3_auto_extension(reinterpret_cast<void (*)()>(&lockExclusively)) != SQLITE_OK)
        throw std::runtime_error("SQLite refused the exclusive locking mode");
    std::atexit([] {
        RegStoreClose();
        std::error_code ignored;
        std::filesystem::remove_all(configHome(), ignored);
    });
}
