#include "FreshRegistry.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

[[noreturn]] static void giveUp(const char* what)
{
    std::fprintf(stderr, "FreshRegistry: %s failed; stopping rather than using the user's registry\n", what);
    std::abort();
}

#ifdef _WIN32

#include <atomic>

static const char* const sandboxParent = "Software\\DawdlexTests";

FreshRegistry::FreshRegistry()
{
    static std::atomic<unsigned> counter{0};
    m_place = std::string(sandboxParent) + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(GetTickCount64()) + "-" + std::to_string(counter++);
    HKEY sandbox = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, m_place.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &sandbox, &disposition) != ERROR_SUCCESS ||
        disposition != REG_CREATED_NEW_KEY ||
        RegOverridePredefKey(HKEY_CURRENT_USER, sandbox) != ERROR_SUCCESS)
        giveUp("redirecting HKEY_CURRENT_USER to a new key");
    // The override keeps a handle of its own.
    RegCloseKey(sandbox);
}

FreshRegistry::~FreshRegistry()
{
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, m_place.c_str());
    // Fails, as it should, while another test program still has its key there.
    RegDeleteKeyA(HKEY_CURRENT_USER, sandboxParent);
}

#else

#include "winreg_store.h"

FreshRegistry::FreshRegistry() : m_place((std::filesystem::temp_directory_path() / "dawdlex-XXXXXX").string())
{
    if (const char* previous = std::getenv("XDG_CONFIG_HOME"))
        m_previousConfigHome = previous;
    if (mkdtemp(m_place.data()) == nullptr || setenv("XDG_CONFIG_HOME", m_place.c_str(), 1) != 0)
        giveUp("making a configuration folder");
    RegStoreClose();
}

FreshRegistry::~FreshRegistry()
{
    RegStoreClose();
    if (m_previousConfigHome)
        setenv("XDG_CONFIG_HOME", m_previousConfigHome->c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    // A test may have left the folder read-only.
    std::error_code ignored;
    std::filesystem::permissions(m_place, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_place, ignored);
}

#endif
