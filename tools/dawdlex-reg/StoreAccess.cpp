#include "StoreAccess.h"

#include "RegKey.h"
#include "Text.h"

#include <algorithm>

namespace dawdlex::regtool {

namespace {

// Another process may grow a name or value between the size query and the read; retry a few times.
constexpr int kAttempts = 8;

} // namespace

LSTATUS openKey(const RegistryPath& path, REGSAM access, RegKey& key)
{
    return key.open(path.root, path.subkey(), access);
}

LSTATUS readValue(HKEY key, const std::string& name, RegValue& value)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        LSTATUS status = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            return status;
        std::string data(size, '\0');
        status =
            RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(data.data()), &size);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            return status;
        data.resize(size);
        value = RegValue{name, type, std::move(data)};
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

LSTATUS readValues(HKEY key, std::vector<RegValue>& values)
{
    values.clear();
    // The key's figures are a scan of the whole key: asked once, and again only when an entry has
    // outgrown them.
    DWORD count = 0;
    DWORD maxName = 0;
    DWORD maxData = 0;
    LSTATUS status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                      &maxName, &maxData, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    values.reserve(count);
    std::string name(std::size_t{maxName} + 1, '\0');
    std::string data(maxData, '\0');
    int attempts = 0;
    for (DWORD index = 0;;) {
        auto nameLength = static_cast<DWORD>(name.size());
        auto dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        status = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                               reinterpret_cast<LPBYTE>(data.data()), &dataSize);
        if (status == ERROR_MORE_DATA && ++attempts < kAttempts) {
            status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      &maxName, &maxData, nullptr, nullptr);
            if (status != ERROR_SUCCESS)
                return status;
            name.assign(std::max<std::size_t>(std::size_t{maxName} + 1, name.size() * 2), '\0');
            data.assign(std::max({std::size_t{maxData}, std::size_t{dataSize}, data.size() * 2}), '\0');
            continue;
        }
        if (status == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS)
            return status;
        values.push_back(RegValue{name.substr(0, nameLength), type, data.substr(0, dataSize)});
        ++index;
        attempts = 0;
    }
}

LSTATUS readSubkeyNames(HKEY key, std::vector<std::string>& names)
{
    names.clear();
    DWORD count = 0;
    DWORD maxName = 0;
    LSTATUS status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, &maxName, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    names.reserve(count);
    std::string name(std::size_t{maxName} + 1, '\0');
    int attempts = 0;
    for (DWORD index = 0;;) {
        auto length = static_cast<DWORD>(name.size());
        status = RegEnumKeyExA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA && ++attempts < kAttempts) {
            status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS)
                return status;
            name.assign(std::max<std::size_t>(std::size_t{maxName} + 1, name.size() * 2), '\0');
            continue;
        }
        if (status == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS)
            return status;
        names.push_back(name.substr(0, length));
        ++index;
        attempts = 0;
    }
}

LSTATUS writeValue(HKEY key, const RegValue& value)
{
    return RegSetValueExA(key, value.name.c_str(), 0, value.type,
                          reinterpret_cast<const BYTE*>(value.data.data()),
                          static_cast<DWORD>(value.data.size()));
}

LSTATUS readTree(HKEY key, KeyTree& tree)
{
    LSTATUS status = readValues(key, tree.values);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::string> names;
    status = readSubkeyNames(key, names);
    if (status != ERROR_SUCCESS)
        return status;
    tree.subkeys.clear();
    for (std::string& name : names) {
        RegKey subkey;
        status = subkey.open(key, name, KEY_READ);
        if (status != ERROR_SUCCESS)
            return status;
        KeyTree& child = tree.subkeys.emplace_back();
        child.name = std::move(name);
        status = readTree(subkey.get(), child);
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

LSTATUS writeTree(HKEY parent, const KeyTree& tree)
{
    RegKey key;
    LSTATUS status = key.create(parent, tree.name);
    if (status != ERROR_SUCCESS)
        return status;
    for (const RegValue& value : tree.values) {
        status = writeValue(key.get(), value);
        if (status != ERROR_SUCCESS)
            return status;
    }
    for (const KeyTree& subkey : tree.subkeys) {
        status = writeTree(key.get(), subkey);
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

LSTATUS deleteTree(HKEY base, const std::string& subkey, const std::function<bool()>& stopRequested)
{
    RegKey key;
    LSTATUS status = key.open(base, subkey, KEY_ALL_ACCESS);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::string> names;
    status = readSubkeyNames(key.get(), names);
    if (status != ERROR_SUCCESS)
        return status;
    for (const std::string& name : names) {
        status = deleteTree(key.get(), name, stopRequested);
        if (status != ERROR_SUCCESS)
            return status;
    }
    key.close();
    if (stopRequested && stopRequested())
        return ERROR_CANCELLED;
    return RegDeleteKeyA(base, subkey.c_str());
}

LSTATUS checkTreeWritable(HKEY base, const std::string& subkey)
{
    RegKey key;
    LSTATUS status = key.open(base, subkey, KEY_ALL_ACCESS);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::string> names;
    status = readSubkeyNames(key.get(), names);
    for (std::size_t i = 0; i < names.size() && status == ERROR_SUCCESS; ++i)
        status = checkTreeWritable(key.get(), names[i]);
    return status;
}

LSTATUS deleteAllValues(HKEY key)
{
    std::vector<RegValue> values;
    LSTATUS status = readValues(key, values);
    if (status != ERROR_SUCCESS)
        return status;
    for (const RegValue& value : values) {
        status = RegDeleteValueA(key, value.name.c_str());
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

std::string storedSpelling(HKEY parent, const std::string& name)
{
    std::vector<std::string> names;
    if (readSubkeyNames(parent, names) != ERROR_SUCCESS)
        return name;
    const std::string folded = foldName(name);
    for (const std::string& candidate : names) {
        if (foldName(candidate) == folded)
            return candidate;
    }
    return name;
}

std::string statusText(LSTATUS status)
{
    switch (status) {
    case ERROR_SUCCESS:
        return "success";
    case ERROR_FILE_NOT_FOUND:
        return "not found";
    case ERROR_ACCESS_DENIED:
        return "access denied (the key is read-only)";
    case ERROR_INVALID_PARAMETER:
        return "invalid parameter (a name is too long or the key nested too deep)";
    case ERROR_BAD_PATHNAME:
        return "bad key path";
    case ERROR_BADDB:
        return "the registry store file is damaged or from a newer version";
    case ERROR_KEY_DELETED:
        return "the key was deleted meanwhile";
    case ERROR_INVALID_HANDLE:
        return "invalid key handle";
    case ERROR_DISK_FULL:
        return "the disk is full";
    case ERROR_CANCELLED:
        return "stopped on request";
    default:
        return "error " + std::to_string(status);
    }
}

} // namespace dawdlex::regtool
