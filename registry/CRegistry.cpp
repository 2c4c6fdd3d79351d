#include "CRegistry.h"

#include "AnsiText.h"
#include "CRegistryConstants.h"
#include "CRegistryFunctions.h"
#include "CRegistryUDTs.h"
#include "RegKey.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

namespace fn = CRegistryFunctions;
using namespace CRegistryConstants;

namespace {

constexpr int32_t maxFigure = std::numeric_limits<int32_t>::max();

// Where a path-taking operation acts: a base handle and the subkey path in ANSI, absent meaning the base
// key itself.
struct Target
{
    HKEY base;
    std::optional<std::string> path;

    const char* pathArg() const { return path ? path->c_str() : nullptr; }
};

std::optional<HKEY> rootHandleNamed(std::string_view name)
{
    for (const RootKey& root : kRootKeys) {
        if (root.name == name)
            return root.handle();
    }
    return std::nullopt;
}

bool isRootName(std::string_view name)
{
    return rootHandleNamed(name).has_value();
}

// Rule of OpenKey and KeyExists: a root name, and after the first backslash the subkey path. A text with
// no backslash, or one that starts with it, is all root part. No relative form.
std::optional<Target> resolveAbsolute(const std::string& sKey)
{
    const size_t slash = sKey.find('\\');
    if (slash == std::string::npos || slash == 0) {
        const auto root = rootHandleNamed(sKey);
        return root ? std::optional<Target>(Target{*root, std::nullopt}) : std::nullopt;
    }
    const auto root = rootHandleNamed(std::string_view(sKey).substr(0, slash));
    if (!root)
        return std::nullopt;
    return Target{*root, AnsiText::toAnsi(std::string_view(sKey).substr(slash + 1))};
}

// Rule of CreateKey and DeleteKey: as above, but a text whose root part is no root name is a path below
// the current key, taken whole.
std::optional<Target> resolveRelative(const std::string& sKey, HKEY current)
{
    const size_t slash = sKey.find('\\');
    const std::string_view rootPart = std::string_view(sKey).substr(0, slash);
    if (const auto root = rootHandleNamed(rootPart)) {
        if (slash == std::string::npos)
            return Target{*root, std::nullopt};
        return Target{*root, AnsiText::toAnsi(std::string_view(sKey).substr(slash + 1))};
    }
    if (!current)
        return std::nullopt;
    return Target{current, AnsiText::toAnsi(sKey)};
}

struct KeyInfo
{
    DWORD subKeys = 0;
    DWORD values = 0;
    DWORD longestValueName = 0;
};

// A failed query leaves every count 0.
KeyInfo queryKeyInfo(HKEY key)
{
    KeyInfo info;
    DWORD classLength = 0;
    DWORD longestSubKey = 0;
    DWORD longestClass = 0;
    DWORD longestData = 0;
    DWORD securityLength = 0;
    CRegistryUDTs::FILETIME lastWrite{};
    if (fn::RegQueryInfoKeyA(key, nullptr, &classLength, nullptr, &info.subKeys, &longestSubKey,
                             &longestClass, &info.values, &info.longestValueName, &longestData,
                             &securityLength, &lastWrite) != success)
        return {};
    return info;
}

RegistryValueType kindOf(DWORD type)
{
    switch (type) {
    case REG_SZ:
    case REG_MULTI_SZ:
        return RegistryValueType::String;
    case REG_EXPAND_SZ:
        return RegistryValueType::EnvironmentString;
    case REG_DWORD:
        return RegistryValueType::Integer;
    case REG_DWORD_BIG_ENDIAN:
        return RegistryValueType::BigEndian;
    case REG_BINARY:
    case REG_LINK:
    case REG_RESOURCE_LIST:
        return RegistryValueType::Binary;
    default:
        return RegistryValueType::Unknown;
    }
}

// Text figures leave out the terminator; a one-byte text counts 1 so that its single character is read.
int32_t sizeFigure(RegistryValueType kind, int32_t size)
{
    switch (kind) {
    case RegistryValueType::String:
        return size == 1 ? 1 : size - 1;
    case RegistryValueType::EnvironmentString:
        return size - 1;
    default:
        return size;
    }
}

std::array<uint8_t, 4> littleEndianBytes(int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
            static_cast<uint8_t>(bits >> 24)};
}

int32_t fromLittleEndian(const std::array<uint8_t, 4>& bytes)
{
    return static_cast<int32_t>(uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                                uint32_t{bytes[3]} << 24);
}

// The value's type and bytes exactly as stored; false when it cannot be read. The size is asked again
// when the value grew in between.
[[nodiscard]] bool queryRawValue(HKEY key, const std::string& ansiName, DWORD& type,
                                 std::vector<uint8_t>& data)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        if (fn::RegQueryValueExA(key, ansiName.c_str(), nullptr, &type, nullptr, &size) != success)
            return false;
        data.assign(size, 0);
        const LSTATUS status = fn::RegQueryValueExA(key, ansiName.c_str(), nullptr, &type,
                                                    data.empty() ? nullptr : data.data(), &size);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != success)
            return false;
        data.resize(size);
        return true;
    }
    return false;
}

// Lists path and every key below it, deepest first, through an object of its own so that the caller's
// current key stays put. False when a key of the tree cannot be opened with full access or listed by name:
// such a tree cannot be deleted whole.
[[nodiscard]] bool collectTree(const std::string& path, std::vector<std::string>& deepestFirst)
{
    std::vector<std::string> names;
    {
        CRegistry walker;
        if (!walker.OpenKey(path))
            return false;
        int32_t count = 0;
        // False here only means no subkeys, and names is then empty.
        (void)walker.EnumerateKeys(names, count);
    }
    for (const std::string& name : names) {
        if (name.empty() || !collectTree(path + '\\' + name, deepestFirst))
            return false;
    }
    deepestFirst.push_back(path);
    return true;
}

} // namespace

CRegistry::~CRegistry()
{
    // Nothing is left to do about a handle that would not close.
    (void)CloseKey();
}

bool CRegistry::OpenKey(const std::string& sKey)
{
    // A handle that would not close is unusable anyway; the object still ends up with no key open.
    if (lKeyHandle && !CloseKey()) {
        lKeyHandle = nullptr;
        sCurrentPath.clear();
        sCurrentKey.clear();
    }
    const auto target = resolveAbsolute(sKey);
    if (!target)
        return false;
    HKEY opened = nullptr;
    if (fn::RegOpenKeyExA(target->base, target->pathArg(), 0, keyAllAccess, &opened) != success)
        return false;
    lKeyHandle = opened;
    sCurrentPath = sKey;
    const size_t lastSlash = sKey.rfind('\\');
    sCurrentKey = lastSlash == std::string::npos ? sKey : sKey.substr(lastSlash + 1);
    return true;
}

bool CRegistry::CloseKey()
{
    if (!lKeyHandle)
        return false;
    if (fn::RegCloseKey(lKeyHandle) != success)
        return false;
    lKeyHandle = nullptr;
    sCurrentPath.clear();
    sCurrentKey.clear();
    return true;
}

bool CRegistry::EnumerateKeys(std::vector<std::string>& sKeys, int32_t& lKeysNumber)
{
    if (!lKeyHandle)
        return false;
    const DWORD count = queryKeyInfo(lKeyHandle).subKeys;
    sKeys.clear();
    if (count == 0 || count > static_cast<DWORD>(maxFigure))
        return false;
    sKeys.resize(count);
    lKeysNumber = static_cast<int32_t>(count);
    for (DWORD index = 0; index < count; ++index) {
        std::string buffer(keyNameBufferLength, '\0');
        DWORD length = keyNameBufferLength;
        DWORD classLength = 0;
        CRegistryUDTs::FILETIME lastWrite{};
        if (fn::RegEnumKeyExA(lKeyHandle, index, buffer.data(), &length, nullptr, nullptr, &classLength,
                              &lastWrite) != success)
            continue;
        buffer.resize(std::min(length, keyNameBufferLength));
        sKeys[index] = AnsiText::fromAnsi(buffer);
    }
    return true;
}

bool CRegistry::HasSubKeys()
{
    return lKeyHandle && queryKeyInfo(lKeyHandle).subKeys != 0;
}

bool CRegistry::CreateKey(const std::string& sKey)
{
    const auto target = resolveRelative(sKey, lKeyHandle);
    if (!target)
        return false;
    CRegistryUDTs::SECURITY_ATTRIBUTES security{};
    dawdlex::RegKey created;
    DWORD disposition = 0;
    fn::RegCreateKeyExA(target->base, target->pathArg(), 0, nullptr, createOptions, keyAllAccess, &security,
                        created.receive(), &disposition);
    return disposition == createdNewKey;
}

bool CRegistry::DeleteKey(const std::string& sKey)
{
    if (sKey == sCurrentPath)
        return false;
    const auto target = resolveRelative(sKey, lKeyHandle);
    if (!target)
        return false;
    return fn::RegDeleteKeyA(target->base, target->pathArg()) == success;
}

bool CRegistry::KeyExists(const std::string& sKey)
{
    const auto target = resolveAbsolute(sKey);
    if (!target)
        return false;
    dawdlex::RegKey probe;
    return fn::RegOpenKeyExA(target->base, target->pathArg(), 0, keyAllAccess, probe.receive()) == success;
}

bool CRegistry::RenameKey(const std::string& sNewKeyName)
{
    if (isRootName(sCurrentPath))
        return false;
    if (!lKeyHandle)
        return false;
    // Such a name would put the new key inside the old tree, which the copy would then follow for ever.
    if (sNewKeyName.empty() || sNewKeyName.find('\\') != std::string::npos || sCurrentKey.empty())
        return false;
    const std::string oldPath = sCurrentPath;
    const std::string newPath = oldPath.substr(0, oldPath.size() - sCurrentKey.size()) + sNewKeyName;
    if (KeyExists(newPath))
        return false;
    if (!CreateKey(newPath))
        return false;
    CopyValues(newPath);
    CopySubKeys(oldPath, newPath);
    if (!OpenKey(newPath))
        return false;
    return deleteTree(oldPath);
}

bool CRegistry::EnumerateValues(std::vector<std::string>& sValues, int32_t& lValuesNumber)
{
    if (!lKeyHandle)
        return false;
    const KeyInfo info = queryKeyInfo(lKeyHandle);
    if (info.values == 0 || info.values > static_cast<DWORD>(maxFigure))
        return false;
    sValues.assign(info.values, std::string());
    lValuesNumber = static_cast<int32_t>(info.values);
    for (DWORD index = 0; index < info.values; ++index) {
        std::string buffer(size_t{info.longestValueName} + 1, '\0');
        auto length = static_cast<DWORD>(buffer.size());
        if (fn::RegEnumValueA(lKeyHandle, index, buffer.data(), &length, nullptr, nullptr, nullptr,
                              nullptr) != success)
            continue;
        buffer.resize(std::min<size_t>(length, buffer.size()));
        sValues[index] = AnsiText::fromAnsi(buffer);
    }
    return true;
}

bool CRegistry::DeleteValue(const std::string& sValue)
{
    if (!lKeyHandle)
        return false;
    return fn::RegDeleteValueA(lKeyHandle, AnsiText::toAnsi(sValue).c_str()) == success;
}

bool CRegistry::ValueExists(const std::string& sValue)
{
    RegistryValueType kind = RegistryValueType::Unknown;
    int32_t size = 0;
    return GetValueInfo(sValue, kind, size);
}

bool CRegistry::GetValueInfo(const std::string& sValue, RegistryValueType& eValueType, int32_t& lValueSize)
{
    if (!lKeyHandle)
        return false;
    eValueType = RegistryValueType::Unknown;
    lValueSize = 0;
    DWORD type = 0;
    DWORD size = 0;
    const LSTATUS status =
        fn::RegQueryValueExA(lKeyHandle, AnsiText::toAnsi(sValue).c_str(), nullptr, &type, nullptr, &size);
    if (status != success && status != ERROR_MORE_DATA)
        return false;
    if (size > static_cast<DWORD>(maxFigure))
        return false;
    const auto bytes = static_cast<int32_t>(size);
    if (type >= REG_SZ && type <= REG_RESOURCE_LIST) {
        eValueType = kindOf(type);
        lValueSize = sizeFigure(eValueType, bytes);
        return true;
    }
    lValueSize = bytes;
    return bytes != 0;
}

std::string CRegistry::ReadString(const std::string& sValue)
{
    if (!lKeyHandle)
        return {};
    RegistryValueType kind = RegistryValueType::Unknown;
    int32_t length = 0;
    if (!GetValueInfo(sValue, kind, length) || length <= 0)
        return {};
    // One byte more than the figure, for the terminator of a text value.
    std::string buffer(static_cast<size_t>(length) + 1, '\0');
    if (!queryValue(sValue, buffer.data(), static_cast<DWORD>(buffer.size())))
        return {};
    buffer.resize(static_cast<size_t>(length));
    return AnsiText::fromAnsi(buffer);
}

int32_t CRegistry::ReadInteger(const std::string& sValue)
{
    if (!lKeyHandle)
        return 0;
    RegistryValueType kind = RegistryValueType::Unknown;
    int32_t length = 0;
    if (!GetValueInfo(sValue, kind, length) || length <= 0)
        return 0;
    // Never more than the integer holds: longer data then fails to fit and reads as 0.
    std::array<uint8_t, 4> bytes{};
    if (!queryValue(sValue, bytes.data(), static_cast<DWORD>(std::min<int32_t>(length, 4))))
        return 0;
    return fromLittleEndian(bytes);
}

RegistryVariant CRegistry::ReadBinary(const std::string& sValue)
{
    if (!lKeyHandle)
        return {};
    RegistryValueType kind = RegistryValueType::Unknown;
    int32_t length = 0;
    if (!GetValueInfo(sValue, kind, length) || length <= 0)
        return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(length), 0);
    if (!queryValue(sValue, bytes.data(), static_cast<DWORD>(length)))
        return {};
    return bytes;
}

std::string CRegistry::ReadEnviromentString(const std::string& sValue)
{
    if (!lKeyHandle)
        return {};
    const std::string text = ReadString(sValue);
    if (text.empty() || text.front() != '%' || text.back() != '%')
        return {};
    return ExpandEnvString(text);
}

int32_t CRegistry::ReadBigEndian(const std::string& sValue)
{
    if (!lKeyHandle)
        return 0;
    return SwapEndian(ReadInteger(sValue));
}

bool CRegistry::WriteString(const std::string& sData, const std::string& sValue)
{
    // An empty text goes out as one NUL character, so the stored data is two NUL bytes.
    const std::string text = sData.empty() ? std::string(1, '\0') : sData;
    if (!lKeyHandle)
        return false;
    std::string bytes = AnsiText::toAnsi(text);
    bytes.push_back('\0');
    const bool stored = setValue(sValue, static_cast<DWORD>(lStringType), bytes.data(), bytes.size());
    if (lStringType == REG_EXPAND_SZ)
        lStringType = REG_SZ;
    return stored;
}

bool CRegistry::WriteEnvironmentString(const std::string& sData, const std::string& sValue)
{
    if (!lKeyHandle)
        return false;
    std::string text = sData.empty() ? std::string("%%") : sData;
    if (text.front() != '%' || text.back() != '%')
        text = '%' + text + '%';
    lStringType = REG_EXPAND_SZ;
    return WriteString(text, sValue);
}

bool CRegistry::WriteInteger(int32_t lData, const std::string& sValue)
{
    if (!lKeyHandle)
        return false;
    const auto bytes = littleEndianBytes(lData);
    const bool stored = setValue(sValue, static_cast<DWORD>(lIntegerType), bytes.data(), bytes.size());
    if (lIntegerType == REG_DWORD_BIG_ENDIAN)
        lIntegerType = REG_DWORD;
    return stored;
}

bool CRegistry::WriteBigEndian(int32_t lData, const std::string& sValue)
{
    if (!lKeyHandle)
        return false;
    lIntegerType = REG_DWORD_BIG_ENDIAN;
    return WriteInteger(SwapEndian(lData), sValue);
}

bool CRegistry::WriteBinary(const RegistryVariant& vData, const std::string& sValue)
{
    if (!lKeyHandle)
        return false;
    const auto* bytes = std::get_if<std::vector<uint8_t>>(&vData);
    if (!bytes || bytes->empty())
        return false;
    return setValue(sValue, REG_BINARY, bytes->data(), bytes->size());
}

bool CRegistry::RenameValue(const std::string& sOldValueName, const std::string& sNewValueName)
{
    if (!lKeyHandle)
        return false;
    const bool oldExists = ValueExists(sOldValueName);
    const bool newExists = ValueExists(sNewValueName);
    if (newExists || !oldExists)
        return false;
    RegistryValueType kind = RegistryValueType::Unknown;
    int32_t size = 0;
    // The old value may have gone since it was found.
    if (!GetValueInfo(sOldValueName, kind, size))
        return false;
    bool written = false;
    switch (kind) {
    case RegistryValueType::Unknown:
        return false;
    case RegistryValueType::String:
        written = WriteString(ReadString(sOldValueName), sNewValueName);
        break;
    case RegistryValueType::EnvironmentString: {
        const std::string text = ReadString(sOldValueName);
        lStringType = REG_EXPAND_SZ;
        written = WriteString(text, sNewValueName);
        break;
    }
    case RegistryValueType::Integer:
        written = WriteInteger(ReadInteger(sOldValueName), sNewValueName);
        break;
    case RegistryValueType::BigEndian: {
        // The stored bytes travel unreversed, so the copy holds exactly the same bytes.
        const int32_t stored = ReadInteger(sOldValueName);
        lIntegerType = REG_DWORD_BIG_ENDIAN;
        written = WriteInteger(stored, sNewValueName);
        break;
    }
    case RegistryValueType::Binary: {
        const RegistryVariant data = ReadBinary(sOldValueName);
        if (std::holds_alternative<std::monostate>(data))
            return false;
        written = WriteBinary(data, sNewValueName);
        break;
    }
    }
    // The copy is in place before the old value goes. A write that fails leaves the old value alone, and a
    // delete that fails leaves the value under both names: neither is a rename.
    return written && DeleteValue(sOldValueName);
}

bool CRegistry::SaveKey()
{
    return false;
}

bool CRegistry::LoadKey()
{
    return false;
}

bool CRegistry::UnLoadKey()
{
    return false;
}

bool CRegistry::RestoreKey()
{
    return false;
}

bool CRegistry::ReplaceKey()
{
    return false;
}

RegistryVariant CRegistry::FindKey()
{
    return {};
}

RegistryVariant CRegistry::FindValue()
{
    return {};
}

std::string CRegistry::ExpandEnvString(const std::string& text)
{
    const std::string source = AnsiText::toAnsi(text);
    const DWORD needed = fn::ExpandEnvironmentStringsA(source.c_str(), nullptr, 0);
    if (needed == 0)
        return {};
    std::string buffer(needed, '\0');
    fn::ExpandEnvironmentStringsA(source.c_str(), buffer.data(), needed);
    buffer.resize(needed - 1);
    return AnsiText::fromAnsi(buffer);
}

int32_t CRegistry::SwapEndian(int32_t x)
{
    auto bytes = littleEndianBytes(x);
    std::reverse(bytes.begin(), bytes.end());
    return fromLittleEndian(bytes);
}

void CRegistry::CopyValues(const std::string& destination)
{
    const auto target = resolveAbsolute(destination);
    if (!target)
        return;
    dawdlex::RegKey into;
    if (fn::RegOpenKeyExA(target->base, target->pathArg(), 0, keyAllAccess, into.receive()) != success)
        return;
    std::vector<std::string> names;
    int32_t count = 0;
    if (!EnumerateValues(names, count))
        return;
    // Type and bytes go over as stored: going through the typed readers and writers would change them (an
    // expandable text not wrapped in "%", a multi-string, a type the class has no kind for).
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        const std::string ansiName = AnsiText::toAnsi(*name);
        DWORD type = 0;
        std::vector<uint8_t> data;
        if (!queryRawValue(lKeyHandle, ansiName, type, data))
            continue;
        fn::RegSetValueExA(into.get(), ansiName.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                           static_cast<DWORD>(data.size()));
    }
}

void CRegistry::CopySubKeys(const std::string& source, const std::string& destination)
{
    if (!OpenKey(source))
        return;
    std::vector<std::string> names;
    int32_t count = 0;
    if (!EnumerateKeys(names, count))
        return;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        // An unlisted name would make the child path the source itself.
        if (name->empty())
            continue;
        const std::string childSource = source + '\\' + *name;
        const std::string childDestination = destination + '\\' + *name;
        // A subkey that cannot be made does not stop the copy: what can be copied below it still is.
        (void)CreateKey(childDestination);
        if (OpenKey(childSource)) {
            CopyValues(childDestination);
            // The next OpenKey closes it anyway.
            (void)CloseKey();
        }
        CopySubKeys(childSource, childDestination);
    }
}

bool CRegistry::setValue(const std::string& sValue, DWORD type, const void* data, size_t length)
{
    if (length > std::numeric_limits<DWORD>::max())
        return false;
    return fn::RegSetValueExA(lKeyHandle, AnsiText::toAnsi(sValue).c_str(), 0, type,
                              static_cast<const BYTE*>(data), static_cast<DWORD>(length)) == success;
}

bool CRegistry::queryValue(const std::string& sValue, void* data, DWORD length)
{
    DWORD type = 0;
    DWORD available = length;
    return fn::RegQueryValueExA(lKeyHandle, AnsiText::toAnsi(sValue).c_str(), nullptr, &type,
                                static_cast<LPBYTE>(data), &available) == success;
}

bool CRegistry::deleteTree(const std::string& path)
{
    std::vector<std::string> deepestFirst;
    if (!collectTree(path, deepestFirst))
        return false;
    for (const std::string& key : deepestFirst) {
        if (!DeleteKey(key))
            return false;
    }
    return true;
}
