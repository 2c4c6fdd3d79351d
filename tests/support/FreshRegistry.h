#pragma once

#include <filesystem>
#include <optional>
#include <string>

// A registry of the test's own for as long as the object lives, so that tests keep using
// HKEY_CURRENT_USER as it is and still never meet another test's keys or the user's own.
//
// Linux: a fresh store in a new temporary XDG_CONFIG_HOME (the store is closed first, so the next call
// opens the new one); afterwards the store is closed again, the variable restored and the folder deleted.
// Windows: HKEY_CURRENT_USER is redirected, for this process, to a new key
// HKEY_CURRENT_USER\Software\DawdlexTests\<unique name>, which is deleted with its tree afterwards. The
// other roots stay the real ones there; tests that write to them are Linux-only.
//
// When the registry cannot be set up the program stops at once: a test must never run against the user's
// own registry.
class FreshRegistry
{
public:
    FreshRegistry();
    ~FreshRegistry();
    FreshRegistry(const FreshRegistry&) = delete;
    FreshRegistry& operator=(const FreshRegistry&) = delete;

#ifndef _WIN32
    // The temporary folder XDG_CONFIG_HOME points to while the object lives.
    std::filesystem::path configHome() const
    {
        return m_place;
    }
#endif

private:
    std::string m_place; // the temporary folder, or the redirection's key below the real HKEY_CURRENT_USER
    std::optional<std::string> m_previousConfigHome;
};
