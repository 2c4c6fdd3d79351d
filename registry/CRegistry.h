#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// The class's own value kinds. They are not the platform's type codes: REG_BINARY is 3, `Integer` is 3.
enum class RegistryValueType : int32_t
{
    Unknown = 0,
    String = 1,
    EnvironmentString = 2,
    Integer = 3,
    BigEndian = 4,
    Binary = 5,
};

// How binary data travels. std::monostate is the empty variant (no value of any kind); the byte vector is
// the byte array, element 0 first. A text or a number can be put in it, but only bytes are written.
using RegistryVariant = std::variant<std::monostate, std::vector<uint8_t>, std::string, int32_t>;

// A general-purpose registry accessor holding at most one open key, the current key, on which every value
// operation acts.
//
// It owns that one key handle and closes it on CloseKey, on the next OpenKey and on destruction. It does
// not own or cache anything else: every call goes to the registry API. Nothing leaves it but true/false
// (or the empty text, 0, the empty variant): no exception, no message, no status code.
//
// Registry paths are a root-key name ("HKEY_CURRENT_USER", exact case, no short forms), a backslash and a
// subkey path handed on unchanged. OpenKey and KeyExists only take full paths; CreateKey and DeleteKey
// also take a path relative to the current key, used when the text does not start with a root-key name.
//
// Texts are UTF-8 and may hold NUL characters; they cross to the registry in its ANSI code page. Lists are
// vectors: element k of a listing (counting from 1) is index k - 1. Value names default to "", the key's
// default value.
//
// Not copyable or movable: an object is made for one task and released at its end, and a copy would
// close the same handle twice.
class CRegistry
{
public:
    CRegistry() = default;
    ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Closes the current key first, always. True when sKey is now the current key; on false no key is
    // open. CurrentPath() becomes sKey as given, CurrentKey() its part after the last backslash.
    [[nodiscard]] bool OpenKey(const std::string& sKey);
    // False when no key is open or the close failed (then nothing changes).
    [[nodiscard]] bool CloseKey();
    // True when the current key has subkeys: sKeys then holds their names in the registry's order and
    // lKeysNumber their count. False with no key open (outputs untouched) or no subkeys (sKeys emptied,
    // lKeysNumber untouched). A name that does not fit in 254 characters is listed as "".
    [[nodiscard]] bool EnumerateKeys(std::vector<std::string>& sKeys, int32_t& lKeysNumber);
    [[nodiscard]] bool HasSubKeys();
    // True only when the key was created now; false when it already existed or could not be made. The new
    // key does not become current.
    [[nodiscard]] bool CreateKey(const std::string& sKey);
    // Never deletes a key named by a text equal to CurrentPath(). Subkeys are not removed first: whether a
    // key that still has them goes is the registry's decision (ours and Windows' refuse).
    [[nodiscard]] bool DeleteKey(const std::string& sKey);
    // True when the key can be opened with full access; the current key is not touched.
    [[nodiscard]] bool KeyExists(const std::string& sKey);
    // Recreates the current key, its values and its whole subtree under the parent with a new last
    // component, then deletes the old tree, deepest keys first; the renamed key ends up current. False,
    // with nothing changed, for a bare root key, no key open, an empty name or one with a backslash, a
    // current path ending in a backslash, or a name that exists. When a key of the old tree cannot be
    // opened with full access, nothing of the old tree is deleted: false, both trees exist and the new key
    // is current. Every value keeps its name, type and bytes, whatever the type; the new key's values are
    // written in reverse of the old key's listing order. A value or subkey that cannot be copied does not
    // stop the copy.
    [[nodiscard]] bool RenameKey(const std::string& sNewKeyName);

    // Names of the current key's values in the registry's order. False with no key open or no values;
    // both outputs are then untouched. An entry the registry fails to list is listed as "".
    [[nodiscard]] bool EnumerateValues(std::vector<std::string>& sValues, int32_t& lValuesNumber);
    [[nodiscard]] bool DeleteValue(const std::string& sValue);
    [[nodiscard]] bool ValueExists(const std::string& sValue);
    // The value's kind and size figure: the text length without terminator for texts (String: 1 for a
    // one-byte text, -1 for no data; EnvironmentString: may be 0), the byte count otherwise. False for a
    // missing value and for REG_NONE without data (kind Unknown, size 0); with no key open the outputs stay
    // untouched.
    [[nodiscard]] bool GetValueInfo(const std::string& sValue, RegistryValueType& eValueType,
                                    int32_t& lValueSize);
    // The readers give "", 0 or the empty variant for no key open, a missing value and a failed read.
    // ReadString gives as many characters as the size figure says, never trimmed: an empty text stored by
    // WriteString reads as one NUL character.
    std::string ReadString(const std::string& sValue = "");
    // The stored bytes, least significant first; data longer than 4 bytes is not read and gives 0.
    int32_t ReadInteger(const std::string& sValue = "");
    RegistryVariant ReadBinary(const std::string& sValue = "");
    // The stored text with its environment references expanded, only when it begins and ends with "%";
    // any other text gives "".
    std::string ReadEnviromentString(const std::string& sValue = "");
    int32_t ReadBigEndian(const std::string& sValue = "");

    // The writers return false, writing nothing, while no key is open. An empty text is stored as two NUL
    // bytes.
    [[nodiscard]] bool WriteString(const std::string& sData, const std::string& sValue = "");
    // Stores REG_EXPAND_SZ; wraps the text in "%" signs unless it already begins and ends with one.
    [[nodiscard]] bool WriteEnvironmentString(const std::string& sData, const std::string& sValue = "");
    [[nodiscard]] bool WriteInteger(int32_t lData, const std::string& sValue = "");
    [[nodiscard]] bool WriteBigEndian(int32_t lData, const std::string& sValue = "");
    // False, writing nothing, unless vData holds at least one byte.
    [[nodiscard]] bool WriteBinary(const RegistryVariant& vData, const std::string& sValue = "");
    // Copies the value under the new name with the class's readers and writers, then deletes the old one
    // if the copy was written. False, with nothing changed, for a missing old value, an existing new name
    // (the same name included), a value of kind Unknown and a binary value that cannot be read. Also false
    // when the copy cannot be written (the old value then stays as it was) and when the copy was written
    // but the old value could not be deleted (both then exist).
    [[nodiscard]] bool RenameValue(const std::string& sOldValueName, const std::string& sNewValueName);

    // Hive files and search are not supported: each leaves the object and the registry as they are.
    [[nodiscard]] bool SaveKey();
    [[nodiscard]] bool LoadKey();
    [[nodiscard]] bool UnLoadKey();
    [[nodiscard]] bool RestoreKey();
    [[nodiscard]] bool ReplaceKey();
    RegistryVariant FindKey();
    RegistryVariant FindValue();

    std::string CurrentPath() const { return sCurrentPath; }
    std::string CurrentKey() const { return sCurrentKey; }

    // The platform types the next WriteString and WriteInteger store; 1 and 4 between calls.
    int32_t stringType() const { return lStringType; }
    int32_t integerType() const { return lIntegerType; }

private:
    std::string ExpandEnvString(const std::string& text);
    static int32_t SwapEndian(int32_t x);
    // Copies every value of the current key into the key at destination, type and bytes unchanged.
    void CopyValues(const std::string& destination);
    void CopySubKeys(const std::string& source, const std::string& destination);

    [[nodiscard]] bool setValue(const std::string& sValue, DWORD type, const void* data, size_t length);
    [[nodiscard]] bool queryValue(const std::string& sValue, void* data, DWORD length);
    [[nodiscard]] bool deleteTree(const std::string& path);

    HKEY lKeyHandle = nullptr;
    int32_t lStringType = REG_SZ;
    int32_t lIntegerType = REG_DWORD;
    std::string sCurrentPath;
    std::string sCurrentKey;
};
