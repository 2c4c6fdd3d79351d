#include "ChurnScript.h"

#include "Payload.h"

#include <algorithm>
#include <cctype>

namespace dawdlex::reliability {

namespace {

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

bool sameName(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
    });
}

// The spelling of value `name` that step `hash` uses: the case varies, the name does not.
std::string spelling(int name, std::uint64_t hash)
{
    std::string text = "Value" + std::to_string(name);
    if (hash & (1ull << 32))
        std::transform(text.begin(), text.end(), text.begin(), [](char c) { return char(std::toupper(c)); });
    else if (hash & (1ull << 33))
        std::transform(text.begin(), text.end(), text.begin(), [](char c) { return char(std::tolower(c)); });
    return text;
}

class Key
{
public:
    ~Key()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    LSTATUS open(const std::string& path, REGSAM access)
    {
        return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &m_key);
    }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

LSTATUS readValues(HKEY key, std::vector<StoredValue>& values)
{
    for (DWORD i = 0;; ++i) {
        std::string name(16384, '\0');
        DWORD nameLength = static_cast<DWORD>(name.size());
        std::string data(65536, '\0');
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LSTATUS status = RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data.data()), &dataLength);
        if (status == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS)
            return status;
        name.resize(nameLength);
        data.resize(dataLength);
        values.push_back({name, type, data});
    }
}

LSTATUS readBelow(HKEY key, const std::string& prefix, StoreContents& contents)
{
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD length = sizeof name;
        const LSTATUS status = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return status;
        names.emplace_back(name, length);
    }
    for (const std::string& name : names) {
        HKEY child = nullptr;
        LSTATUS status = RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, &child);
        if (status != ERROR_SUCCESS)
            return status;
        const std::string path = prefix.empty() ? name : prefix + "\\" + name;
        status = readValues(child, contents[path]);
        if (status == ERROR_SUCCESS)
            status = readBelow(child, path, contents);
        RegCloseKey(child);
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

} // namespace

LSTATUS readContents(const std::string& base, StoreContents& contents)
{
    contents.clear();
    Key key;
    const LSTATUS status = key.open(base, KEY_READ);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    return readBelow(key.get(), "", contents);
}

std::string ChurnScript::valueKeyPath(int slot)
{
    return std::string(base) + "\\S" + std::to_string(slot);
}

std::string ChurnScript::treePath(int slot, int levels)
{
    static const char* const parts[treeLevels] = {"", "\\A", "\\B"};
    std::string path = std::string(base) + "\\T" + std::to_string(slot);
    for (int level = 1; level < levels; ++level)
        path += parts[level];
    return path;
}

std::string ChurnScript::payload() const
{
    const std::uint64_t hash = mix(m_steps ^ 0x5A5A5A5Aull);
    // Mostly values of a few hundred bytes; one in eight spans several database pages.
    const std::size_t size = (hash % 8 == 0) ? 8000 + (hash >> 8) % 12000 : 16 + (hash >> 8) % 1500;
    return makePayload(m_steps, size);
}

ChurnScript::Step ChurnScript::next() const
{
    const std::uint64_t hash = mix(m_steps);
    Step step;
    const auto choice = hash % 16;
    step.slot = static_cast<int>((hash >> 8) % valueKeys);
    step.name = static_cast<int>((hash >> 16) % valueNames);
    if (choice < 8)
        step.action = Action::SetValue;
    else if (choice < 10)
        step.action = Action::DeleteValue;
    else if (choice < 11)
        step.action = Action::DeleteValueKey;
    else if (choice < 13)
        step.action = Action::CreateTree;
    else
        step.action = Action::ShrinkTree;

    const bool valueStep = step.action == Action::SetValue || step.action == Action::DeleteValue ||
                           step.action == Action::DeleteValueKey;
    if (valueStep && !m_valueKeys.count(step.slot))
        step.action = Action::CreateValueKey;
    if (step.action == Action::CreateTree || step.action == Action::ShrinkTree)
        step.slot = static_cast<int>((hash >> 8) % trees);
    if (step.action == Action::ShrinkTree && m_treeLevels[step.slot] == 0)
        step.action = Action::CreateTree;
    return step;
}

void ChurnScript::apply(const Step& step)
{
    const std::uint64_t hash = mix(m_steps);
    switch (step.action) {
    case Action::SetValue: {
        auto& values = m_valueKeys[step.slot];
        const std::string name = spelling(step.name, hash);
        const auto it = std::find_if(values.begin(), values.end(),
                                     [&](const auto& value) { return sameName(value.first, name); });
        if (it == values.end())
            values.emplace_back(name, payload());
        else
            it->second = payload();
        break;
    }
    case Action::DeleteValue: {
        auto& values = m_valueKeys[step.slot];
        const std::string name = spelling(step.name, hash);
        std::erase_if(values, [&](const auto& value) { return sameName(value.first, name); });
        break;
    }
    case Action::CreateValueKey:
        m_valueKeys[step.slot];
        break;
    case Action::DeleteValueKey:
        m_valueKeys.erase(step.slot);
        break;
    case Action::CreateTree:
        m_treeLevels[step.slot] = treeLevels;
        break;
    case Action::ShrinkTree:
        --m_treeLevels[step.slot];
        break;
    }
    ++m_steps;
}

void ChurnScript::advance()
{
    apply(next());
}

LSTATUS ChurnScript::perform()
{
    const Step step = next();
    const std::uint64_t hash = mix(m_steps);
    LSTATUS status = ERROR_SUCCESS;
    switch (step.action) {
    case Action::SetValue: {
        Key key;
        status = key.open(valueKeyPath(step.slot), KEY_SET_VALUE);
        if (status != ERROR_SUCCESS)
            return status;
        const std::string data = payload();
        status = RegSetValueExA(key.get(), spelling(step.name, hash).c_str(), 0, REG_BINARY,
                                reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
        break;
    }
    case Action::DeleteValue: {
        Key key;
        status = key.open(valueKeyPath(step.slot), KEY_SET_VALUE);
        if (status != ERROR_SUCCESS)
            return status;
        const std::string name = spelling(step.name, hash);
        status = RegDeleteValueA(key.get(), name.c_str());
        const auto& values = m_valueKeys.at(step.slot);
        const bool present = std::any_of(values.begin(), values.end(),
                                         [&](const auto& value) { return sameName(value.first, name); });
        if (status == ERROR_FILE_NOT_FOUND && !present)
            status = ERROR_SUCCESS;
        break;
    }
    case Action::CreateValueKey:
    case Action::CreateTree: {
        const std::string path =
            step.action == Action::CreateTree ? treePath(step.slot, treeLevels) : valueKeyPath(step.slot);
        HKEY key = nullptr;
        status = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &key, nullptr);
        if (status == ERROR_SUCCESS)
            RegCloseKey(key);
        break;
    }
    case Action::DeleteValueKey:
        status = RegDeleteKeyA(HKEY_CURRENT_USER, valueKeyPath(step.slot).c_str());
        break;
    case Action::ShrinkTree:
        status = RegDeleteKeyA(HKEY_CURRENT_USER, treePath(step.slot, m_treeLevels[step.slot]).c_str());
        break;
    }
    if (status == ERROR_SUCCESS)
        apply(step);
    return status;
}

StoreContents ChurnScript::expected() const
{
    StoreContents contents;
    for (const auto& [slot, values] : m_valueKeys) {
        // Appended, not `"S" + std::to_string(slot)`, which GCC 12 at -O3 misreads as an overlapping copy.
        std::string key = "S";
        key += std::to_string(slot);
        auto& stored = contents[key];
        for (const auto& [name, data] : values)
            stored.push_back({name, REG_BINARY, data});
    }
    for (int slot = 0; slot < trees; ++slot) {
        for (int levels = 1; levels <= m_treeLevels[slot]; ++levels)
            contents[treePath(slot, levels).substr(std::string(base).size() + 1)];
    }
    return contents;
}

} // namespace dawdlex::reliability
