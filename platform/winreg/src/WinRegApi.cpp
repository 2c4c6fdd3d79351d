// The registry API's entry points: each locks the layer, calls RegistryApi and turns whatever went wrong
// inside into a status code, so that no exception leaves the layer.
#include "EnvironmentExpansion.h"
#include "RegistryApi.h"
#include "SqliteError.h"
#include "winreg.h"
#include "winreg_store.h"

#include <sqlite3.h>

#include <cstring>
#include <limits>
#include <mutex>
#include <new>

using dawdlex::winreg::RegistryApi;
using dawdlex::winreg::SqliteError;

namespace {

// Never destroyed, so that a call from another static object's destructor still finds a working layer;
// the closer below only closes the store at exit, which checkpoints its log into the file.
std::mutex& layerMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

RegistryApi& layer()
{
    static auto* api = new RegistryApi;
    return *api;
}

struct StoreCloser
{
    StoreCloser() = default;
    StoreCloser(const StoreCloser&) = delete;
    StoreCloser& operator=(const StoreCloser&) = delete;
    ~StoreCloser()
    {
        try {
            const std::lock_guard lock(layerMutex());
            layer().closeStore();
        } catch (...) {
            // Nothing is left to tell at exit; committed changes are safe in the log.
        }
    }
} storeCloser;

LSTATUS statusOf(int sqliteCode)
{
    switch (sqliteCode & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_BADDB;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_LOCK_VIOLATION;
    case SQLITE_CANTOPEN:
        return ERROR_CANTOPEN;
    case SQLITE_TOOBIG:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

template <typename Call> LSTATUS guarded(Call&& call) noexcept
{
    try {
        const std::lock_guard lock(layerMutex());
        try {
            return call(layer());
        } catch (const SqliteError& error) {
            const LSTATUS status = statusOf(error.code());
            if (status == ERROR_BADDB)
                layer().refuseDamagedStore();
            return status;
        }
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_REGISTRY_IO_FAILED;
    }
}

} // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    return guarded([&](RegistryApi& api) { return api.openKey(hKey, lpSubKey, samDesired, phkResult); });
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR lpClass, DWORD, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    return guarded([&](RegistryApi& api) {
        return api.createKey(hKey, lpSubKey, lpClass, samDesired, phkResult, lpdwDisposition);
    });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    return guarded([&](RegistryApi& api) { return api.closeKey(hKey); });
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    return guarded([&](RegistryApi& api) { return api.deleteKey(hKey, lpSubKey); });
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    return guarded([&](RegistryApi& api) {
        return api.enumKey(hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime);
    });
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                                LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime)
{
    return guarded([&](RegistryApi& api) {
        return api.queryInfo(hKey, lpClass, lpcchClass, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                             lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor,
                             lpftLastWriteTime);
    });
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    return guarded([&](RegistryApi& api) {
        return api.enumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpType, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData)
{
    return guarded(
        [&](RegistryApi& api) { return api.queryValue(hKey, lpValueName, lpType, lpData, lpcbData); });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                              DWORD cbData)
{
    return guarded([&](RegistryApi& api) { return api.setValue(hKey, lpValueName, dwType, lpData, cbData); });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    return guarded([&](RegistryApi& api) { return api.deleteValue(hKey, lpValueName); });
}

LSTATUS WINAPI RegSaveKeyA(HKEY, LPCSTR, const LPSECURITY_ATTRIBUTES)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LSTATUS WINAPI RegLoadKeyA(HKEY, LPCSTR, LPCSTR)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize)
{
    if (!lpSrc)
        return 0;
    try {
        const std::lock_guard lock(layerMutex());
        const std::string expanded = dawdlex::winreg::expandEnvironment(lpSrc);
        if (expanded.size() >= std::numeric_limits<DWORD>::max())
            return 0;
        const auto needed = static_cast<DWORD>(expanded.size() + 1);
        if (lpDst && nSize >= needed)
            std::memcpy(lpDst, expanded.c_str(), needed);
        return needed;
    } catch (...) {
        return 0;
    }
}

LSTATUS RegStoreSetKeyReadOnlyA(HKEY hKey, LPCSTR lpSubKey, BOOL bReadOnly)
{
    return guarded([&](RegistryApi& api) { return api.setKeyReadOnly(hKey, lpSubKey, bReadOnly != FALSE); });
}

void RegStoreClose(void)
{
    guarded([](RegistryApi& api) {
        api.closeStore();
        return ERROR_SUCCESS;
    });
}

LPCSTR RegStorePath(void)
{
    static std::string path;
    try {
        const std::lock_guard lock(layerMutex());
        path = layer().storePath();
    } catch (...) {
        path.clear();
    }
    return path.c_str();
}

} // extern "C"
