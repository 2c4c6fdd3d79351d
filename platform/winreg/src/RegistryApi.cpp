#include "RegistryApi.h"

#include "NameRules.h"
#include "SqliteTransaction.h"
#include "StoreLocation.h"

#include <cstring>
#include <optional>

namespace dawdlex::winreg {

namespace {

using Key = RegistryStore::Key;
using Kind = SqliteTransaction::Kind;

// Rights that let a handle change its key.
constexpr REGSAM writeRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

std::string_view nameOf(const char* name)
{
    return name ? std::string_view(name) : std::string_view();
}

// Copies stored data to the caller under the rules of the query calls: the size alone without a buffer,
// ERROR_MORE_DATA and the needed size (buffer untouched) when the buffer is too small.
LSTATUS giveData(const std::vector<BYTE>& data, BYTE* buffer, DWORD* length)
{
    if (!length)
        return ERROR_SUCCESS;
    const auto size = static_cast<DWORD>(data.size());
    if (buffer && *length < size) {
        *length = size;
        return ERROR_MORE_DATA;
    }
    if (buffer && size > 0)
        std::memcpy(buffer, data.data(), size);
    *length = size;
    return ERROR_SUCCESS;
}

bool fits(const std::string& text, DWORD length)
{
    return text.size() + 1 <= length;
}

// A name and its terminator into a buffer of *length characters; nothing is copied when it does not fit.
LSTATUS giveName(const std::string& name, char* buffer, DWORD* length)
{
    if (!fits(name, *length))
        return ERROR_MORE_DATA;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *length = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// A key's class as the info calls give it: its length alone without a buffer; when the buffer is too
// small, its length and ERROR_MORE_DATA, the buffer untouched.
LSTATUS giveClass(const std::string& className, char* buffer, DWORD* length)
{
    if (!length)
        return ERROR_SUCCESS;
    if (buffer && !fits(className, *length)) {
        *length = static_cast<DWORD>(className.size());
        return ERROR_MORE_DATA;
    }
    if (buffer)
        std::memcpy(buffer, className.c_str(), className.size() + 1);
    *length = static_cast<DWORD>(className.size());
    return ERROR_SUCCESS;
}

void giveTime(std::int64_t ticks, FILETIME* time)
{
    if (time)
        *time =
            FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32)};
}

} // namespace

LSTATUS RegistryApi::openStore()
{
    if (m_failure != ERROR_SUCCESS)
        return m_failure;
    if (m_store)
        return ERROR_SUCCESS;
    const std::string path = StoreLocation::filePath();
    if (path.empty())
        return ERROR_CANTOPEN;
    LSTATUS status = StoreLocation::prepareFolder(path);
    if (status != ERROR_SUCCESS)
        return status;
    m_store = RegistryStore::open(path, status);
    // A foreign file stays refused until the store is closed; other failures may pass, so retry them.
    if (status == ERROR_BADDB)
        m_failure = status;
    return status;
}

void RegistryApi::refuseDamagedStore()
{
    // The connection stays open but unused until closeStore(): closing it now could still write.
    m_failure = ERROR_BADDB;
}

void RegistryApi::closeStore()
{
    m_store.reset();
    m_failure = ERROR_SUCCESS;
    m_handles.clear();
    m_path.clear();
}

const std::string& RegistryApi::storePath()
{
    m_path = m_store ? m_store->path() : StoreLocation::filePath();
    return m_path;
}

LSTATUS RegistryApi::resolve(HKEY handle, Target& target)
{
    if (const auto root = RegistryStore::rootId(handle)) {
        const auto key = m_store->key(*root);
        if (!key)
            return ERROR_BADDB;
        target = {*key, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    const auto open = m_handles.find(handle);
    if (!open)
        return ERROR_INVALID_HANDLE;
    const auto key = m_store->key(open->keyId);
    if (!key)
        return ERROR_KEY_DELETED;
    target = {*key, open->access};
    return ERROR_SUCCESS;
}

std::size_t RegistryApi::walk(const Key& base, const std::vector<std::string>& names, Key& found)
{
    found = base;
    std::size_t matched = 0;
    for (const std::string& name : names) {
        const auto next = m_store->child(found, name);
        if (!next)
            break;
        found = *next;
        ++matched;
    }
    return matched;
}

LSTATUS RegistryApi::refuseWrite(HKEY handle)
{
    SqliteTransaction transaction(m_store->database(), Kind::Read);
    Target target;
    const LSTATUS status = resolve(handle, target);
    return status != ERROR_SUCCESS ? status : ERROR_ACCESS_DENIED;
}

LSTATUS RegistryApi::checkOpen(const Key& key, REGSAM access)
{
    if ((access & writeRights) != 0 && (key.readOnly || !m_store->writable()))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

LSTATUS RegistryApi::openFound(const Key& key, REGSAM access, HKEY* result)
{
    const LSTATUS status = checkOpen(key, access);
    if (status == ERROR_SUCCESS)
        *result = m_handles.add(key.id, access);
    return status;
}

LSTATUS RegistryApi::checkCreate(const Target& target, const Key& parent, std::size_t newKeys)
{
    // The right to create comes from the key, not from the handle it is reached through.
    if (parent.readOnly || !target.writing)
        return ERROR_ACCESS_DENIED;
    if (parent.depth + static_cast<long long>(newKeys) > NameRules::maxDepth)
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

template <typename Body> LSTATUS RegistryApi::transact(Need need, LSTATUS checked, HKEY handle, Body&& body)
{
    LSTATUS status = checked == ERROR_SUCCESS ? openStore() : checked;
    if (status != ERROR_SUCCESS)
        return status;
    // The file's mode is looked at only by calls that may write.
    const bool mayWrite = need == Need::Change || need == Need::OpenOrCreate;
    const bool writable = mayWrite && m_store->writable();
    if (need == Need::Change && !writable)
        return refuseWrite(handle);
    // A store that cannot be written is only read, and can only open existing keys.
    const bool writing = mayWrite && writable;
    std::optional<RegistryStore::CachedReads> cached;
    if (need == Need::CachedRead)
        cached.emplace(*m_store);
    SqliteTransaction transaction(m_store->database(), writing ? Kind::Write : Kind::Read);
    Target target;
    status = resolve(handle, target);
    if (status != ERROR_SUCCESS)
        return status;
    target.writing = writing;
    status = body(target);
    if (status == ERROR_SUCCESS && writing)
        transaction.commit();
    return status;
}

template <typename Change> LSTATUS RegistryApi::changeSubKey(HKEY base, const char* subKey, Change&& change)
{
    std::vector<std::string> names;
    const LSTATUS status = NameRules::splitPath(subKey, names);
    return transact(Need::Change, status, base, [&](const Target& target) -> LSTATUS {
        Key found;
        if (walk(target.key, names, found) < names.size())
            return ERROR_FILE_NOT_FOUND;
        return change(target, found);
    });
}

LSTATUS RegistryApi::openKey(HKEY base, const char* subKey, REGSAM access, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::vector<std::string> names;
    const LSTATUS status = NameRules::splitPath(subKey, names);
    return transact(Need::CachedRead, status, base, [&](const Target& target) -> LSTATUS {
        Key found;
        if (walk(target.key, names, found) < names.size())
            return ERROR_FILE_NOT_FOUND;
        return openFound(found, access, result);
    });
}

LSTATUS RegistryApi::createKey(HKEY base, const char* subKey, const char* className, REGSAM access,
                               HKEY* result, DWORD* disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::vector<std::string> names;
    const LSTATUS status = NameRules::splitPath(subKey, names);
    Key found;
    bool created = false;
    // Under the write lock, what the walk finds is still there when the missing keys are made.
    const LSTATUS done = transact(Need::OpenOrCreate, status, base, [&](const Target& target) -> LSTATUS {
        const std::size_t matched = walk(target.key, names, found);
        if (matched == names.size())
            return checkOpen(found, access);
        const LSTATUS allowed = checkCreate(target, found, names.size() - matched);
        if (allowed != ERROR_SUCCESS)
            return allowed;
        // The class is the new key's; keys made on the way to it get none.
        for (std::size_t i = matched; i < names.size(); ++i)
            found = m_store->createChild(found, names[i], i + 1 == names.size() ? nameOf(className) : "");
        created = true;
        return ERROR_SUCCESS;
    });
    if (done != ERROR_SUCCESS)
        return done;
    // Only once the keys are committed does the caller get a handle.
    *result = m_handles.add(found.id, access);
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS RegistryApi::closeKey(HKEY key)
{
    if (RegistryStore::rootId(key))
        return ERROR_SUCCESS;
    return m_handles.remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegistryApi::deleteKey(HKEY base, const char* subKey)
{
    return changeSubKey(base, subKey, [&](const Target&, const Key& found) -> LSTATUS {
        // Roots, read-only keys and keys with subkeys stay; the caller removes subkeys first. As for
        // creation, the handle's access does not matter: a handle opened to list subkeys may delete.
        if (found.isRoot || found.readOnly || m_store->hasChildren(found.id))
            return ERROR_ACCESS_DENIED;
        m_store->removeKey(found.id);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegistryApi::enumKey(HKEY key, DWORD index, char* name, DWORD* nameLength, char* className,
                             DWORD* classLength, FILETIME* lastWrite)
{
    if (!name || !nameLength || (className && !classLength))
        return ERROR_INVALID_PARAMETER;
    return transact(Need::Read, ERROR_SUCCESS, key, [&](const Target& target) -> LSTATUS {
        if ((target.access & KEY_ENUMERATE_SUB_KEYS) == 0)
            return ERROR_ACCESS_DENIED;
        const Key& found = target.key;
        const auto child = m_store->childAt(found.id, index);
        if (!child)
            return ERROR_NO_MORE_ITEMS;
        if (!fits(child->name, *nameLength))
            return ERROR_MORE_DATA;
        if (!classLength && !lastWrite)
            return giveName(child->name, name, nameLength);
        const RegistryStore::Details details = m_store->details(child->id);
        // Both fit, or neither is copied.
        if (className && !fits(details.className, *classLength))
            return giveClass(details.className, className, classLength);
        giveName(child->name, name, nameLength);
        giveClass(details.className, className, classLength);
        giveTime(details.lastWrite, lastWrite);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegistryApi::queryInfo(HKEY key, char* className, DWORD* classLength, DWORD* subKeys,
                               DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values,
                               DWORD* maxValueNameLength, DWORD* maxValueLength,
                               DWORD* securityDescriptorLength, FILETIME* lastWrite)
{
    if (className && !classLength)
        return ERROR_INVALID_PARAMETER;
    return transact(Need::Read, ERROR_SUCCESS, key, [&](const Target& target) -> LSTATUS {
        if ((target.access & KEY_QUERY_VALUE) == 0)
            return ERROR_ACCESS_DENIED;
        const Key& found = target.key;
        const RegistryStore::Info info = m_store->info(found.id);
        const RegistryStore::Details details = m_store->details(found.id);
        const auto give = [](DWORD* out, DWORD value) {
            if (out)
                *out = value;
        };
        give(subKeys, info.subKeys);
        give(maxSubKeyLength, info.maxSubKeyNameLength);
        give(maxClassLength, info.maxClassLength);
        give(values, info.values);
        give(maxValueNameLength, info.maxValueNameLength);
        give(maxValueLength, info.maxValueLength);
        give(securityDescriptorLength, 0);
        giveTime(details.lastWrite, lastWrite);
        // A class buffer too small still gets every other figure.
        return giveClass(details.className, className, classLength);
    });
}

LSTATUS RegistryApi::enumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type, BYTE* data,
                               DWORD* dataLength)
{
    if (!name || !nameLength || (data && !dataLength))
        return ERROR_INVALID_PARAMETER;
    return transact(Need::Read, ERROR_SUCCESS, key, [&](const Target& target) -> LSTATUS {
        if ((target.access & KEY_QUERY_VALUE) == 0)
            return ERROR_ACCESS_DENIED;
        const Key& found = target.key;
        const auto value = m_store->valueAt(found.id, index);
        if (!value)
            return ERROR_NO_MORE_ITEMS;
        // Type and data size are reported even when a buffer is too small; the name and its count are
        // changed only when everything fits.
        if (type)
            *type = value->type;
        const bool nameFits = fits(value->name, *nameLength);
        if (!nameFits || (data && *dataLength < value->data.size())) {
            if (dataLength)
                *dataLength = static_cast<DWORD>(value->data.size());
            return ERROR_MORE_DATA;
        }
        giveName(value->name, name, nameLength);
        return giveData(value->data, data, dataLength);
    });
}

LSTATUS RegistryApi::queryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataLength)
{
    if (data && !dataLength)
        return ERROR_INVALID_PARAMETER;
    return transact(Need::CachedRead, NameRules::checkValueName(name), key,
                    [&](const Target& target) -> LSTATUS {
                        if ((target.access & KEY_QUERY_VALUE) == 0)
                            return ERROR_ACCESS_DENIED;
                        const auto value = m_store->value(target.key.id, nameOf(name));
                        if (!value) {
                            if (dataLength)
                                *dataLength = 0;
                            return ERROR_FILE_NOT_FOUND;
                        }
                        if (type)
                            *type = value->type;
                        return giveData(value->data, data, dataLength);
                    });
}

LSTATUS RegistryApi::setValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD dataLength)
{
    if (!data && dataLength > 0)
        return ERROR_INVALID_PARAMETER;
    return transact(Need::Change, NameRules::checkValueName(name), key, [&](const Target& target) -> LSTATUS {
        if ((target.access & KEY_SET_VALUE) == 0 || target.key.readOnly)
            return ERROR_ACCESS_DENIED;
        m_store->setValue(target.key.id, nameOf(name), type,
                          std::span<const BYTE>(data, data ? dataLength : 0));
        return ERROR_SUCCESS;
    });
}

LSTATUS RegistryApi::deleteValue(HKEY key, const char* name)
{
    return transact(Need::Change, NameRules::checkValueName(name), key, [&](const Target& target) -> LSTATUS {
        if ((target.access & KEY_SET_VALUE) == 0 || target.key.readOnly)
            return ERROR_ACCESS_DENIED;
        return m_store->removeValue(target.key.id, nameOf(name)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegistryApi::setKeyReadOnly(HKEY base, const char* subKey, bool readOnly)
{
    return changeSubKey(base, subKey, [&](const Target&, const Key& found) -> LSTATUS {
        m_store->setReadOnly(found.id, readOnly);
        return ERROR_SUCCESS;
    });
}

} // namespace dawdlex::winreg
