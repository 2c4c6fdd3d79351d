#include "FreshRegistry.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32

#include <atomic>

namespace {

const char* const sandboxParent = "Software\\DawdlexTests";

[[noreturn]] void giveUp(const char* what, LSTATUS status)
{
    std::fprintf(stderr, "FreshRegistry: %s failed with %ld; stopping rather than using the real registry\n",
                 what, static_cast<long>(status));
    std::abort();
}

std::string uniqueSandboxName()
{
    static std::atomic<unsigned> counter{0};
    return std::string(sandboxParent) + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount64()) + "-" + std::to_string(counter++);
}

} // namespace

FreshRegistry::FreshRegistry() : m_sandbox(uniqueSandboxName())
{
    HKEY sandbox = nullptr;
    DWORD disposition = 0;
    LSTATUS status =
        RegCreateKeyExA(HKEY_CURRENT_USER, m_sandbox.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &sandbox, &disposition);
    if (status != ERROR_SUCCESS)
        giveUp("creating the test key", status);
    if (disposition != REG_CREATED_NEW_KEY)
        giveUp("creating a new test key", ERROR_ALREADY_EXISTS);
    status = RegOverridePredefKey(HKEY_CURRENT_USER, sandbox);
    // The override keeps a handle of its own.
    RegCloseKey(sandbox);
    if (status != ERROR_SUCCESS)
        giveUp("redirecting HKEY_CURRENT_USER", status);
}

FreshRegistry::~FreshRegistry()
{
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, m_sandbox.c_str());
    // Fails, as it should, while another test program still has its key there.
    RegDeleteKeyA(HKEY_CURRENT_USER, sandboxParent);
}

#else

#include "winreg_store.h"

#include <vector>

namespace {

[[noreturn]] void giveUp(const char* what)
{
    std::perror(what);
    std::fprintf(stderr, "FreshRegistry: stopping rather than using the real store\n");
    std::abort();
}

std::filesystem::path makeTemporaryFolder()
{
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error)
        base = "/tmp";
    std::string pattern = (base / "dawdlex-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        giveUp("mkdtemp");
    return std::filesystem::path(buffer.data());
}

} // namespace

FreshRegistry::FreshRegistry() : m_configHome(makeTemporaryFolder())
{
    if (const char* previous = std::getenv("XDG_CONFIG_HOME"))
        m_previousConfigHome = previous;
    if (setenv("XDG_CONFIG_HOME", m_configHome.c_str(), 1) != 0)
        giveUp("setenv XDG_CONFIG_HOME");
    RegStoreClose();
}

FreshRegistry::~FreshRegistry()
{
    RegStoreClose();
    if (m_previousConfigHome)
        setenv("XDG_CONFIG_HOME", m_previousConfigHome->c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    std::filesystem::permissions(m_configHome, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_configHome, ignored);
}

#endif
