// The registry API driven by a byte-coded sequence of calls on random paths, names, types and data, each
// checked against a small in-memory model of the layer's rules: the same status, the same outputs, the
// same buffers left alone, and at the end the same keys and values.
#include "ScratchConfigHome.h"

#include <windows.h>
#include <winreg_store.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Names are built from these pieces, so that the model can fold them piece by piece: case pairs in ASCII
// and in UTF-8, a character without a pair, and a byte that is not valid UTF-8 on its own.
struct Piece
{
    const char* text;
    const char* folded;
};
constexpr std::array<Piece, 8> pieces{{
    {"a", "A"},
    {"A", "A"},
    {"b", "B"},
    {"\xC3\xA9", "\xC3\x89"}, // é
    {"\xC3\x89", "\xC3\x89"}, // É
    {"\xC3\x9F", "\xC3\x9F"}, // ß has no single upper-case letter
    {"\xC3\xBF", "\xC5\xB8"}, // ÿ, whose upper case is Ÿ
    {"\xC3", "\xC3"},         // a lead byte with nothing after it
}};

struct Name
{
    std::string text;
    std::string folded;
};

constexpr REGSAM writeRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr std::size_t maxKeyName = 255;
constexpr std::size_t maxValueName = 16383;

struct Value
{
    std::string name;
    std::string folded;
    DWORD type = REG_NONE;
    std::string data;
};

struct Key
{
    Key(std::string keyName, int parentKey) : name(std::move(keyName)), parent(parentKey) {}

    std::string name;
    int parent = -1;
    bool alive = true;
    bool readOnly = false;
    std::map<std::string, int> children; // folded name -> key; ordered as the store lists subkeys
    std::vector<Value> values;           // in the order first set
};

struct Handle
{
    HKEY real = nullptr;
    int key = 0;
    REGSAM access = 0;
    bool open = true;
};

// The model of the store below HKEY_CURRENT_USER (key 0) and of this process's handles.
class Model
{
public:
    std::vector<Key> keys{Key("HKEY_CURRENT_USER", -1)};
    std::vector<Handle> handles;

    // What a base handle resolves to: the key and the access, or the failure.
    LSTATUS resolve(const Handle* handle, int& key, REGSAM& access) const
    {
        if (!handle) {
            key = 0;
            access = KEY_ALL_ACCESS;
            return ERROR_SUCCESS;
        }
        if (!handle->open)
            return ERROR_INVALID_HANDLE;
        if (!keys[handle->key].alive)
            return ERROR_KEY_DELETED;
        key = handle->key;
        access = handle->access;
        return ERROR_SUCCESS;
    }

    // How far the names lead from key; `found` is the last key reached.
    std::size_t walk(int key, const std::vector<Name>& names, int& found) const
    {
        found = key;
        std::size_t matched = 0;
        for (const Name& name : names) {
            const auto it = keys[found].children.find(name.folded);
            if (it == keys[found].children.end())
                break;
            found = it->second;
            ++matched;
        }
        return matched;
    }

    int create(int parent, const Name& name)
    {
        keys.emplace_back(name.text, parent);
        const int id = static_cast<int>(keys.size()) - 1;
        keys[parent].children[name.folded] = id;
        return id;
    }

    void remove(int key)
    {
        keys[key].alive = false;
        Key& parent = keys[keys[key].parent];
        std::erase_if(parent.children, [&](const auto& child) { return child.second == key; });
    }

    Value* value(int key, const std::string& folded)
    {
        auto& values = keys[key].values;
        const auto it =
            std::find_if(values.begin(), values.end(), [&](const Value& v) { return v.folded == folded; });
        return it == values.end() ? nullptr : &*it;
    }
};

// A path as the caller spells it, and how the layer splits it.
struct Path
{
    std::string text;
    std::vector<Name> names;
    LSTATUS split = ERROR_SUCCESS;
};

class Driver
{
public:
    explicit Driver(FuzzedDataProvider& input) : m_in(input) {}

    void run()
    {
        for (int calls = 0; calls < 64 && m_in.remaining_bytes() > 0; ++calls)
            step();
        compareAll();
        cleanUp();
    }

private:
    Name name()
    {
        Name result;
        switch (m_in.ConsumeIntegralInRange(0, 15)) {
        case 0:
            result.text.assign(maxKeyName, 'k');
            break;
        case 1:
            result.text.assign(maxKeyName + 1, 'k');
            break;
        default: {
            const int count = m_in.ConsumeIntegralInRange(0, 3);
            for (int i = 0; i < count; ++i) {
                const Piece& piece = pieces[m_in.ConsumeIntegralInRange<std::size_t>(0, pieces.size() - 1)];
                result.text += piece.text;
                result.folded += piece.folded;
            }
            return result;
        }
        }
        result.folded = std::string(result.text.size(), 'K');
        return result;
    }

    Path path()
    {
        Path result;
        if (m_in.ConsumeIntegralInRange(0, 31) == 0)
            result.text = "\\";
        const int count = m_in.ConsumeIntegralInRange(0, 3);
        for (int i = 0; i < count; ++i) {
            const Name part = name();
            if (i > 0 || m_in.ConsumeIntegralInRange(0, 15) == 0)
                result.text += '\\';
            result.text += part.text;
            if (part.text.size() > maxKeyName && result.split == ERROR_SUCCESS)
                result.split = ERROR_INVALID_PARAMETER;
            if (!part.text.empty())
                result.names.push_back(part);
        }
        if (!result.text.empty() && result.text.front() == '\\')
            result.split = ERROR_BAD_PATHNAME;
        return result;
    }

    // A value name: usually short, now and then at or past the limit, sometimes the null pointer.
    std::optional<Name> valueName(LSTATUS& check)
    {
        check = ERROR_SUCCESS;
        // Names at the limit are 16 KB each and dominate the time of a run, so they come rarely.
        switch (m_in.ConsumeIntegralInRange(0, 63)) {
        case 0:
        case 1:
        case 2:
        case 3:
            return std::nullopt;
        case 4:
            return Name{std::string(maxValueName, 'v'), std::string(maxValueName, 'V')};
        case 5:
            check = ERROR_INVALID_PARAMETER;
            return Name{std::string(maxValueName + 1, 'v'), std::string(maxValueName + 1, 'V')};
        default:
            return name();
        }
    }

    // A base for a call: HKEY_CURRENT_USER (null), one of our handles, or a handle that was never open.
    const Handle* base(HKEY& real)
    {
        const int choice = m_in.ConsumeIntegralInRange(0, 9);
        if (choice == 0) {
            real =
                m_in.ConsumeBool() ? HKEY_PERFORMANCE_DATA : reinterpret_cast<HKEY>(std::uintptr_t{0x0FFC});
            static Handle never{nullptr, 0, 0, false};
            return &never;
        }
        if (choice < 4 || m_model.handles.empty()) {
            real = HKEY_CURRENT_USER;
            return nullptr;
        }
        const Handle& handle =
            m_model.handles[m_in.ConsumeIntegralInRange<std::size_t>(0, m_model.handles.size() - 1)];
        real = handle.real;
        return &handle;
    }

    REGSAM access()
    {
        static constexpr std::array<REGSAM, 6> choices{KEY_READ,        KEY_WRITE,     KEY_ALL_ACCESS,
                                                       KEY_QUERY_VALUE, KEY_SET_VALUE, KEY_CREATE_SUB_KEY};
        return choices[m_in.ConsumeIntegralInRange<std::size_t>(0, choices.size() - 1)];
    }

    void step()
    {
        switch (m_in.ConsumeIntegralInRange(0, 10)) {
        case 0:
            openOrCreate(false);
            break;
        case 1:
        case 2:
            openOrCreate(true);
            break;
        case 3:
            closeKey();
            break;
        case 4:
            deleteKey();
            break;
        case 5:
        case 6:
            setValue();
            break;
        case 7:
            queryValue();
            break;
        case 8:
            deleteValue();
            break;
        case 9:
            enumerate();
            break;
        default:
            setReadOnly();
            break;
        }
    }

    void openOrCreate(bool create)
    {
        HKEY real = nullptr;
        const Handle* handle = base(real);
        const Path target = path();
        const REGSAM rights = access();
        HKEY result = reinterpret_cast<HKEY>(std::uintptr_t{1});
        DWORD disposition = 0;
        const LSTATUS status = create ? RegCreateKeyExA(real, target.text.c_str(), 0, nullptr, 0, rights,
                                                        nullptr, &result, &disposition)
                                      : RegOpenKeyExA(real, target.text.c_str(), 0, rights, &result);

        LSTATUS expected = target.split;
        int key = 0;
        REGSAM baseAccess = 0;
        if (expected == ERROR_SUCCESS)
            expected = m_model.resolve(handle, key, baseAccess);
        int found = key;
        std::size_t matched = 0;
        if (expected == ERROR_SUCCESS) {
            matched = m_model.walk(key, target.names, found);
            if (matched < target.names.size()) {
                if (!create)
                    expected = ERROR_FILE_NOT_FOUND;
                else if (m_model.keys[found].readOnly)
                    expected = ERROR_ACCESS_DENIED;
            } else if ((rights & writeRights) != 0 && m_model.keys[found].readOnly) {
                expected = ERROR_ACCESS_DENIED;
            }
        }
        require(status == expected);
        if (status != ERROR_SUCCESS) {
            require(result == nullptr);
            return;
        }
        if (create)
            require(disposition ==
                    (matched < target.names.size() ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY));
        for (std::size_t i = matched; i < target.names.size(); ++i)
            found = m_model.create(found, target.names[i]);
        if (m_model.handles.size() < 16)
            m_model.handles.push_back({result, found, rights, true});
        else
            require(RegCloseKey(result) == ERROR_SUCCESS);
    }

    void closeKey()
    {
        HKEY real = nullptr;
        const Handle* handle = base(real);
        const LSTATUS status = RegCloseKey(real);
        if (!handle) {
            require(status == ERROR_SUCCESS);
            return;
        }
        require(status == (handle->open ? ERROR_SUCCESS : ERROR_INVALID_HANDLE));
        const_cast<Handle*>(handle)->open = false;
    }

    // Splits, resolves and walks a path for the calls that need an existing key; ERROR_SUCCESS with the key
    // found and the base handle's rights when it is there.
    LSTATUS subKeyTarget(const Handle* handle, const Path& target, int& found, REGSAM& rights) const
    {
        if (target.split != ERROR_SUCCESS)
            return target.split;
        int key = 0;
        const LSTATUS status = m_model.resolve(handle, key, rights);
        if (status != ERROR_SUCCESS)
            return status;
        const bool missing = m_model.walk(key, target.names, found) < target.names.size();
        return missing ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    }

    void deleteKey()
    {
        HKEY real = nullptr;
        const Handle* handle = base(real);
        const Path target = path();
        const LSTATUS status = RegDeleteKeyA(real, target.text.c_str());
        int found = 0;
        REGSAM baseAccess = 0;
        LSTATUS expected = subKeyTarget(handle, target, found, baseAccess);
        if (expected == ERROR_SUCCESS) {
            const Key& victim = m_model.keys[found];
            if (found == 0 || victim.readOnly || !victim.children.empty())
                expected = ERROR_ACCESS_DENIED;
        }
        require(status == expected);
        if (status == ERROR_SUCCESS)
            m_model.remove(found);
    }

    // Resolves a handle for a value call and checks the rights; ERROR_SUCCESS with the key when allowed.
    LSTATUS valueTarget(const Handle* handle, REGSAM needed, bool writing, int& key)
    {
        REGSAM rights = 0;
        const LSTATUS status = m_model.resolve(handle, key, rights);
        if (status != ERROR_SUCCESS)
            return status;
        if ((rights & needed) == 0 || (writing && m_model.keys[key].readOnly))
            return ERROR_ACCESS_DENIED;
        return ERROR_SUCCESS;
    }

    void setValue()
    {
        HKEY real = nullptr;
        const Handle* handle = base(real);
        LSTATUS check = ERROR_SUCCESS;
        const std::optional<Name> valueName = this->valueName(check);
        static constexpr std::array<DWORD, 6> types{REG_SZ,       REG_BINARY, REG_DWORD,
                                                    REG_MULTI_SZ, REG_NONE,   0x7FFFFFFF};
        const DWORD type = types[m_in.ConsumeIntegralInRange<std::size_t>(0, types.size() - 1)];
        const std::string data = m_in.ConsumeRandomLengthString(64);
        const LSTATUS status =
            RegSetValueExA(real, valueName ? valueName->text.c_str() : nullptr, 0, type,
                           reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
        int key = 0;
        const LSTATUS expected =
            check != ERROR_SUCCESS ? check : valueTarget(handle, KEY_SET_VALUE, true, key);
        require(status == expected);
        if (status != ERROR_SUCCESS)
            return;
        const Name stored = valueName.value_or(Name{});
        if (Value* existing = m_model.value(key, stored.folded)) {
            existing->type = type;
            existing->data = data;
            return;
        }
        m_model.keys[key].values.push_back({stored.text, stored.folded, type, data});
    }

    void deleteValue()
    {
        HKEY real = nullptr;
        const Handle* handle = base(real);
        LSTATUS check = ERROR_SUCCESS;
        const std::optional<Name> valueName = this->valueName(check);
        const LSTATUS status = RegDeleteValueA(real, valueName ? valueName->text.c_str() : nullptr);
        int key = 0;
        LSTATUS expected = check != ERROR_SUCCESS ? check : valueTarget(handle, KEY_SET_VALUE, true, key);
        const std::string folded = valueName.value_or(Name{}).folded;
        if (expected == ERROR_SUCCESS && !m_model.value(key, folded))
            expected = ERROR_FILE_NOT_FOUND;
        require(status == expected);
        if (status == ERROR_SUCCESS)
            std::erase_if(m_model.keys[key].values, [&](const Value& v) { return v.folded == folded; });
    }

    // Hands `data` out the way the query calls must, into a buffer chosen by the input, and checks it.
    void checkData(LSTATUS status, const std::string& data, bool withLength, DWORD length, DWORD lengthIn,
                   const std::vector<BYTE>& buffer, bool withBuffer)
    {
        constexpr BYTE sentinel = 0xA5;
        if (!withLength)
            return;
        const bool tooSmall = withBuffer && lengthIn < data.size();
        require(status == (tooSmall ? ERROR_MORE_DATA : ERROR_SUCCESS));
        require(length == data.size());
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            const bool written = withBuffer && !tooSmall && i < data.size();
            require(buffer[i] == (written ? static_cast<BYTE>(data[i]) : sentinel));
        }
    }

    void queryValue()
    {
        HKEY real = nullptr;
        const Handle* handle = base(real);
        LSTATUS check = ERROR_SUCCESS;
        const std::optional<Name> valueName = this->valueName(check);
        const int shape = m_in.ConsumeIntegralInRange(0, 2); // no length, length only, length and buffer
        const DWORD lengthIn = m_in.ConsumeIntegralInRange<DWORD>(0, 70);
        std::vector<BYTE> buffer(shape == 2 ? lengthIn + 8 : 0, 0xA5);
        DWORD length = lengthIn;
        DWORD type = 0xDEAD;
        const LSTATUS status =
            RegQueryValueExA(real, valueName ? valueName->text.c_str() : nullptr, nullptr, &type,
                             shape == 2 ? buffer.data() : nullptr, shape > 0 ? &length : nullptr);
        int key = 0;
        LSTATUS expected = check != ERROR_SUCCESS ? check : valueTarget(handle, KEY_QUERY_VALUE, false, key);
        const Value* value =
            expected == ERROR_SUCCESS ? m_model.value(key, valueName.value_or(Name{}).folded) : nullptr;
        if (expected == ERROR_SUCCESS && !value)
            expected = ERROR_FILE_NOT_FOUND;
        if (expected != ERROR_SUCCESS) {
            require(status == expected);
            if (expected == ERROR_FILE_NOT_FOUND && check == ERROR_SUCCESS && shape > 0)
                require(length == 0);
            return;
        }
        require(type == value->type);
        if (shape == 0)
            require(status == ERROR_SUCCESS);
        checkData(status, value->data, shape > 0, length, lengthIn, buffer, shape == 2);
    }

    void enumerate()
    {
        HKEY real = nullptr;
        const Handle* handle = base(real);
        const DWORD index = m_in.ConsumeIntegralInRange<DWORD>(0, 4);
        const bool keysWanted = m_in.ConsumeBool();
        int key = 0;
        const LSTATUS allowed =
            valueTarget(handle, keysWanted ? KEY_ENUMERATE_SUB_KEYS : KEY_QUERY_VALUE, false, key);
        const DWORD nameRoom = m_in.ConsumeIntegralInRange<DWORD>(1, 300);
        std::string name(nameRoom + 8, '\x7F');
        DWORD nameLength = nameRoom;
        if (keysWanted) {
            const LSTATUS status =
                RegEnumKeyExA(real, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
            if (allowed != ERROR_SUCCESS) {
                require(status == allowed);
                return;
            }
            const auto& children = m_model.keys[key].children;
            if (index >= children.size()) {
                require(status == ERROR_NO_MORE_ITEMS);
                return;
            }
            const std::string& expected = m_model.keys[std::next(children.begin(), index)->second].name;
            checkName(status, expected, name, nameLength, nameRoom);
            return;
        }
        const DWORD lengthIn = m_in.ConsumeIntegralInRange<DWORD>(0, 70);
        std::vector<BYTE> buffer(lengthIn + 8, 0xA5);
        DWORD length = lengthIn;
        DWORD type = 0xDEAD;
        const LSTATUS status =
            RegEnumValueA(real, index, name.data(), &nameLength, nullptr, &type, buffer.data(), &length);
        if (allowed != ERROR_SUCCESS) {
            require(status == allowed);
            return;
        }
        const auto& values = m_model.keys[key].values;
        if (index >= values.size()) {
            require(status == ERROR_NO_MORE_ITEMS);
            return;
        }
        const Value& value = values[index];
        require(type == value.type);
        if (value.name.size() + 1 > nameRoom || lengthIn < value.data.size()) {
            // Either buffer short: the type and size come back, nothing else changes.
            require(status == ERROR_MORE_DATA && nameLength == nameRoom && length == value.data.size());
            require(name.find_first_not_of('\x7F') == std::string::npos);
            require(std::all_of(buffer.begin(), buffer.end(), [](BYTE b) { return b == 0xA5; }));
            return;
        }
        require(nameLength == value.name.size() && name.compare(0, nameLength, value.name) == 0);
        checkData(status, value.data, true, length, lengthIn, buffer, true);
    }

    static void checkName(LSTATUS status, const std::string& expected, const std::string& buffer,
                          DWORD length, DWORD room)
    {
        if (expected.size() + 1 > room) {
            require(status == ERROR_MORE_DATA && length == room);
            require(buffer.find_first_not_of('\x7F') == std::string::npos);
            return;
        }
        require(status == ERROR_SUCCESS && length == expected.size());
        require(buffer.compare(0, length, expected) == 0 && buffer[length] == '\0');
    }

    void setReadOnly()
    {
        HKEY real = nullptr;
        const Handle* handle = base(real);
        const Path target = path();
        const bool readOnly = m_in.ConsumeBool();
        const LSTATUS status = RegStoreSetKeyReadOnlyA(real, target.text.c_str(), readOnly ? TRUE : FALSE);
        int found = 0;
        REGSAM rights = 0;
        require(status == subKeyTarget(handle, target, found, rights));
        if (status == ERROR_SUCCESS)
            m_model.keys[found].readOnly = readOnly;
    }

    std::string pathOf(int key) const
    {
        std::string path;
        for (; key != 0; key = m_model.keys[key].parent)
            path = m_model.keys[key].name + (path.empty() ? "" : "\\" + path);
        return path;
    }

    // Every live key, read back through the API, holds what the model says, in the model's order.
    void compareAll()
    {
        for (std::size_t id = 0; id < m_model.keys.size(); ++id) {
            const Key& model = m_model.keys[id];
            if (!model.alive)
                continue;
            HKEY key = nullptr;
            require(RegOpenKeyExA(HKEY_CURRENT_USER, pathOf(static_cast<int>(id)).c_str(), 0, KEY_READ,
                                  &key) == ERROR_SUCCESS);
            DWORD subKeys = 0;
            DWORD values = 0;
            require(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                     nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS);
            require(subKeys == model.children.size() && values == model.values.size());
            DWORD index = 0;
            for (const auto& [folded, child] : model.children) {
                char name[300];
                DWORD length = sizeof name;
                require(RegEnumKeyExA(key, index++, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                        ERROR_SUCCESS);
                require(std::string(name, length) == m_model.keys[child].name);
            }
            index = 0;
            std::string name(maxValueName + 2, '\0');
            for (const Value& value : model.values) {
                DWORD nameLength = static_cast<DWORD>(name.size());
                std::string data(128, '\0');
                DWORD length = static_cast<DWORD>(data.size());
                DWORD type = 0;
                require(RegEnumValueA(key, index++, name.data(), &nameLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &length) == ERROR_SUCCESS);
                require(name.substr(0, nameLength) == value.name && type == value.type &&
                        data.substr(0, length) == value.data);
            }
            RegCloseKey(key);
        }
    }

    // Leaves the store as empty as the model starts: handles closed, marks cleared, keys and values gone.
    void cleanUp()
    {
        for (const Handle& handle : m_model.handles) {
            if (handle.open)
                require(RegCloseKey(handle.real) == ERROR_SUCCESS);
        }
        // Each mark is a write of its own, so only the keys the model holds marked are cleared; a mark
        // the model missed makes the deletes below fail.
        for (std::size_t id = m_model.keys.size(); id-- > 0;) {
            if (m_model.keys[id].alive && m_model.keys[id].readOnly)
                require(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, pathOf(static_cast<int>(id)).c_str(),
                                                FALSE) == ERROR_SUCCESS);
        }
        // Children were made after their parents, so going backwards deletes from the leaves up.
        for (std::size_t id = m_model.keys.size(); id-- > 1;) {
            if (m_model.keys[id].alive)
                require(RegDeleteKeyA(HKEY_CURRENT_USER, pathOf(static_cast<int>(id)).c_str()) ==
                        ERROR_SUCCESS);
        }
        for (const Value& value : m_model.keys[0].values)
            require(RegDeleteValueA(HKEY_CURRENT_USER, value.name.c_str()) == ERROR_SUCCESS);
        DWORD subKeys = 1;
        DWORD values = 1;
        require(RegQueryInfoKeyA(HKEY_CURRENT_USER, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                 &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS);
        require(subKeys == 0 && values == 0);
    }

    FuzzedDataProvider& m_in;
    Model m_model;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    useScratchConfigHome("dawdlex-fuzz-api");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Driver(input).run();
    return 0;
}
