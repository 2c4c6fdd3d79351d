// The registry calls driven by a byte-coded sequence on paths and names full of case pairs, each checked
// against a small model of the store: the same status and results, and at the end the same keys and
// values in the same order. The model folds names with a table of its own, not with the store's code.
#include "ScratchConfigHome.h"
#include "Require.h"

#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Name
{
    std::string text;
    std::string folded;
};

// Names are made of these pieces, each as "text=folded": case pairs in ASCII, Latin-1, both odd-even runs
// of Latin Extended-A, Greek (with final sigma) and Cyrillic, and letters without a one-to-one pair that
// stay as they are (dotless i, long s, kra, sharp s); and a lead byte with nothing after it.
const std::vector<Name>& pieces()
{
    static const std::vector<Name> all = [] {
        std::vector<Name> result{{"\xC3", "\xC3"}};
        std::istringstream list("a=A A=A é=É É=É ÿ=Ÿ Ÿ=Ÿ ā=Ā Ā=Ā ķ=Ķ ĸ=ĸ Ĺ=Ĺ ĺ=Ĺ ň=Ň ź=Ź Ž=Ž ž=Ž ſ=ſ "
                                "ı=ı ß=ß ς=Σ σ=Σ Σ=Σ д=Д Д=Д ё=Ё");
        for (std::string piece; list >> piece;)
            result.push_back({piece.substr(0, piece.find('=')), piece.substr(piece.find('=') + 1)});
        return result;
    }();
    return all;
}

struct Value
{
    Name name;
    DWORD type = REG_NONE;
    std::string data;
};

struct Key
{
    std::string name;
    std::string path; // below HKEY_CURRENT_USER
    int parent = -1;
    bool alive = true;
    std::map<std::string, int> children; // folded name -> key: the order the store lists subkeys in
    std::vector<Value> values;           // in the order first set
};

class Driver
{
public:
    explicit Driver(FuzzedDataProvider& input) : m_in(input) {}

    void run()
    {
        using Step = void (Driver::*)();
        static constexpr Step steps[] = {&Driver::openOrCreate, &Driver::openOrCreate, &Driver::deleteKey,
                                         &Driver::setValue};
        for (int calls = 0; calls < 64 && m_in.remaining_bytes() > 0; ++calls)
            (this->*steps[m_in.ConsumeIntegralInRange<std::size_t>(0, std::size(steps) - 1)])();
        compareAll(0);
        for (const auto& [handle, key] : m_handles)
            require(RegCloseKey(handle) == ERROR_SUCCESS);
        // Children were made after their parents, so going backwards deletes from the leaves up.
        for (int key = static_cast<int>(m_keys.size()) - 1; key > 0; --key)
            require(!m_keys[key].alive ||
                    RegDeleteKeyA(HKEY_CURRENT_USER, m_keys[key].path.c_str()) == ERROR_SUCCESS);
        for (const Value& value : m_keys[0].values)
            require(RegDeleteValueA(HKEY_CURRENT_USER, value.name.text.c_str()) == ERROR_SUCCESS);
    }

private:
    Name name()
    {
        Name result;
        for (int count = m_in.ConsumeIntegralInRange(0, 3); count > 0; --count) {
            const Name& piece = pieces()[m_in.ConsumeIntegralInRange<std::size_t>(0, pieces().size() - 1)];
            result.text += piece.text;
            result.folded += piece.folded;
        }
        return result;
    }

    // A call's base, HKEY_CURRENT_USER (key 0) or one of our handles, whose key may be deleted by now; with
    // a path of up to three names below it, `found` is as far as they lead in the model, in `matched` names.
    struct Target
    {
        HKEY real = HKEY_CURRENT_USER;
        LSTATUS expected = ERROR_SUCCESS;
        int found = 0;
        std::string text;
        std::vector<Name> names;
        std::size_t matched = 0;
    };
    Target target(bool withPath)
    {
        Target t;
        if (!m_handles.empty() && m_in.ConsumeIntegralInRange(0, 2) > 0) {
            std::tie(t.real, t.found) =
                m_handles[m_in.ConsumeIntegralInRange<std::size_t>(0, m_handles.size() - 1)];
            t.expected = m_keys[t.found].alive ? ERROR_SUCCESS : ERROR_KEY_DELETED;
        }
        for (int count = withPath ? m_in.ConsumeIntegralInRange(0, 3) : 0, i = 0; i < count; ++i) {
            const Name part = name();
            t.text += (i > 0 ? "\\" : "") + part.text;
            if (!part.text.empty())
                t.names.push_back(part);
        }
        if (t.text.starts_with('\\'))
            t.expected = ERROR_BAD_PATHNAME; // a path is checked before its base handle
        for (; t.expected == ERROR_SUCCESS && t.matched < t.names.size(); ++t.matched) {
            const auto child = m_keys[t.found].children.find(t.names[t.matched].folded);
            if (child == m_keys[t.found].children.end())
                break;
            t.found = child->second;
        }
        return t;
    }

    void openOrCreate()
    {
        const bool create = m_in.ConsumeBool();
        Target t = target(true);
        HKEY result = reinterpret_cast<HKEY>(std::uintptr_t{1});
        DWORD disposition = 0;
        const LSTATUS status = create ? RegCreateKeyExA(t.real, t.text.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                        nullptr, &result, &disposition)
                                      : RegOpenKeyExA(t.real, t.text.c_str(), 0, KEY_ALL_ACCESS, &result);
        if (t.expected == ERROR_SUCCESS && !create && t.matched < t.names.size())
            t.expected = ERROR_FILE_NOT_FOUND;
        require(status == t.expected && (status == ERROR_SUCCESS || result == nullptr));
        if (status != ERROR_SUCCESS)
            return;
        const bool made = t.matched < t.names.size();
        require(!create || disposition == (made ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY));
        for (; t.matched < t.names.size(); ++t.matched) {
            const std::string& name = t.names[t.matched].text;
            m_keys.push_back(
                {name, t.found == 0 ? name : m_keys[t.found].path + "\\" + name, t.found, true, {}, {}});
            t.found = m_keys[t.found].children[t.names[t.matched].folded] =
                static_cast<int>(m_keys.size()) - 1;
        }
        m_handles.emplace_back(result, t.found);
    }

    void deleteKey()
    {
        Target t = target(true);
        if (t.names.empty())
            return; // an empty path names the base key itself
        const LSTATUS status = RegDeleteKeyA(t.real, t.text.c_str());
        if (t.expected == ERROR_SUCCESS && t.matched < t.names.size())
            t.expected = ERROR_FILE_NOT_FOUND;
        else if (t.expected == ERROR_SUCCESS && !m_keys[t.found].children.empty())
            t.expected = ERROR_ACCESS_DENIED;
        require(status == t.expected);
        if (status == ERROR_SUCCESS) {
            m_keys[t.found].alive = false;
            m_keys[m_keys[t.found].parent].children.erase(t.names.back().folded);
        }
    }

    void setValue()
    {
        const Target t = target(false);
        const Name name = this->name();
        const DWORD type = m_in.ConsumeBool() ? REG_SZ : m_in.ConsumeIntegralInRange<DWORD>(0, 11);
        const std::string data = m_in.ConsumeRandomLengthString(32);
        const auto bytes = reinterpret_cast<const BYTE*>(data.data());
        require(RegSetValueExA(t.real, name.text.c_str(), 0, type, bytes, static_cast<DWORD>(data.size())) ==
                t.expected);
        if (t.expected != ERROR_SUCCESS)
            return;
        // A value set again keeps its place and the spelling it was first set with.
        auto& values = m_keys[t.found].values;
        const auto same = std::find_if(values.begin(), values.end(),
                                       [&](const Value& v) { return v.name.folded == name.folded; });
        if (same == values.end())
            values.push_back({name, type, data});
        else
            *same = {same->name, type, data};
    }

    // The key and every one below it, read back, hold what the model says, in the model's order.
    void compareAll(int id)
    {
        const Key& model = m_keys[id];
        HKEY key = nullptr;
        require(RegOpenKeyExA(HKEY_CURRENT_USER, model.path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS);
        char name[300];
        DWORD index = 0;
        for (DWORD length = sizeof name;
             RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             length = sizeof name, ++index) {
            require(index < model.children.size());
            require(std::string(name, length) ==
                    m_keys[std::next(model.children.begin(), index)->second].name);
        }
        require(index == model.children.size());
        BYTE data[64];
        DWORD type = 0;
        index = 0;
        for (DWORD nameLength = sizeof name, length = sizeof data;
             RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &length) == ERROR_SUCCESS;
             nameLength = sizeof name, length = sizeof data, ++index) {
            require(index < model.values.size() &&
                    std::string(name, nameLength) == model.values[index].name.text);
            require(type == model.values[index].type);
            require(std::string(reinterpret_cast<char*>(data), length) == model.values[index].data);
        }
        require(index == model.values.size());
        RegCloseKey(key);
        for (const auto& child : model.children)
            compareAll(child.second);
    }

    FuzzedDataProvider& m_in;
    std::vector<Key> m_keys{{"HKEY_CURRENT_USER", "", -1, true, {}, {}}};
    std::vector<std::pair<HKEY, int>> m_handles; // each open handle and the key it is on
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
