#pragma once

#include "HandleTable.h"
#include "RegistryStore.h"
#include "winreg.h"

#include <memory>
#include <string>
#include <vector>

namespace dawdlex::winreg {

// The registry calls' rules over the store: handles and their access rights, paths, read-only keys,
// buffer sizes and the status codes. Opens the store on first use. One instance serves the process; it
// is not thread-safe by itself (the C entry points lock around it) and lets SqliteError and bad_alloc
// out, which the entry points turn into status codes. Every call that changes the store is one write
// transaction; every call that reads more than once reads one snapshot.
class RegistryApi
{
public:
    [[nodiscard]] LSTATUS openKey(HKEY base, const char* subKey, REGSAM access, HKEY* result);
    [[nodiscard]] LSTATUS createKey(HKEY base, const char* subKey, const char* className, REGSAM access,
                                    HKEY* result, DWORD* disposition);
    [[nodiscard]] LSTATUS closeKey(HKEY key);
    [[nodiscard]] LSTATUS deleteKey(HKEY base, const char* subKey);
    [[nodiscard]] LSTATUS enumKey(HKEY key, DWORD index, char* name, DWORD* nameLength, char* className,
                                  DWORD* classLength, FILETIME* lastWrite);
    [[nodiscard]] LSTATUS queryInfo(HKEY key, char* className, DWORD* classLength, DWORD* subKeys,
                                    DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values,
                                    DWORD* maxValueNameLength, DWORD* maxValueLength,
                                    DWORD* securityDescriptorLength, FILETIME* lastWrite);
    [[nodiscard]] LSTATUS enumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                                    BYTE* data, DWORD* dataLength);
    [[nodiscard]] LSTATUS queryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataLength);
    [[nodiscard]] LSTATUS setValue(HKEY key, const char* name, DWORD type, const BYTE* data,
                                   DWORD dataLength);
    [[nodiscard]] LSTATUS deleteValue(HKEY key, const char* name);
    [[nodiscard]] LSTATUS setKeyReadOnly(HKEY base, const char* subKey, bool readOnly);

    // SQLite found the open store damaged in the middle of a call: from now on every call is refused with
    // ERROR_BADDB, as for a store found damaged on opening, so that nothing more is written into it.
    void refuseDamagedStore();
    // Drops the store and every handle; the next call opens the store anew.
    void closeStore();
    const std::string& storePath();

private:
    struct Target
    {
        RegistryStore::Key key;
        REGSAM access = 0;
        bool writing = false; // the call's transaction may change the store
    };

    // What a call does with the store, which decides its transaction.
    enum class Need
    {
        Read,
        CachedRead,  // a read with the reads cache open
        Change,      // a write transaction; refused through refuseWrite() when the file cannot be written
        OpenOrCreate // a write transaction when the file can be written, else a read
    };

    [[nodiscard]] LSTATUS openStore();
    // The live key a handle names: ERROR_INVALID_HANDLE for an unknown one, ERROR_KEY_DELETED when its
    // key is gone. Call inside a transaction.
    [[nodiscard]] LSTATUS resolve(HKEY handle, Target& target);
    // Follows names from base as far as keys exist; returns how many were found.
    std::size_t walk(const RegistryStore::Key& base, const std::vector<std::string>& names,
                     RegistryStore::Key& found);
    // The status of a change through handle when the store file cannot be written: the handle's own
    // fault first, else ERROR_ACCESS_DENIED.
    [[nodiscard]] LSTATUS refuseWrite(HKEY handle);
    // Every call's one transaction: body(target) runs on the key a handle names and a change commits when
    // it succeeds. Which fault wins, the same for every call: `checked` (the call's own argument checks),
    // the store's, refuseWrite()'s, resolve()'s, then body's.
    template <typename Body>
    [[nodiscard]] LSTATUS transact(Need need, LSTATUS checked, HKEY handle, Body&& body);
    // A change of the existing key at subKey below base, as change(target, key); ERROR_FILE_NOT_FOUND
    // when it is missing.
    template <typename Change>
    [[nodiscard]] LSTATUS changeSubKey(HKEY base, const char* subKey, Change&& change);
    // Whether key may be opened with access; openFound also hands out the handle.
    [[nodiscard]] LSTATUS checkOpen(const RegistryStore::Key& key, REGSAM access);
    [[nodiscard]] LSTATUS openFound(const RegistryStore::Key& key, REGSAM access, HKEY* result);
    [[nodiscard]] LSTATUS checkCreate(const Target& target, const RegistryStore::Key& parent,
                                      std::size_t newKeys);

    std::unique_ptr<RegistryStore> m_store;
    // ERROR_BADDB once the file proved not to be a store of ours or damaged; kept until closeStore().
    LSTATUS m_failure = ERROR_SUCCESS;
    HandleTable m_handles;
    std::string m_path;
};

} // namespace dawdlex::winreg
