#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace dawdlex::reliability {

// Everything below one key as the registry API shows it: each key's path relative to that key, with its
// values (name, type and data) in the order the API enumerates them.
struct StoredValue
{
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
    bool operator==(const StoredValue&) const = default;
};
using StoreContents = std::map<std::string, std::vector<StoredValue>>;

// Reads HKEY_CURRENT_USER\base and everything below it. An absent base reads as empty contents. Returns
// the first status that was neither success nor the end of a listing.
LSTATUS readContents(const std::string& base, StoreContents& contents);

// A fixed, endless sequence of registry changes under HKEY_CURRENT_USER\Software\Kill, each of which is
// exactly one changing call of the API (one transaction): values set, replaced and deleted in four keys,
// those keys deleted with their values and made again, and three-level trees made in one call and taken
// down a level at a time. The script is its own model: after n steps it knows what the store must hold,
// so a process killed at any moment can be checked against the state before and after the step it was in.
class ChurnScript
{
public:
    static constexpr const char* base = "Software\\Kill";

    // Steps taken so far.
    std::uint64_t steps() const { return m_steps; }

    // Takes the next step in the model only.
    void advance();
    // Takes the next step on the store, then in the model. Returns the API's status; the model moves on
    // only on success.
    LSTATUS perform();

    // What the store must hold after steps() steps.
    StoreContents expected() const;

private:
    enum class Action
    {
        SetValue,
        DeleteValue,
        CreateValueKey,
        DeleteValueKey,
        CreateTree,
        ShrinkTree,
    };
    struct Step
    {
        Action action = Action::SetValue;
        int slot = 0;
        int name = 0;
    };

    static constexpr int valueKeys = 4;
    static constexpr int valueNames = 6;
    static constexpr int trees = 3;
    static constexpr int treeLevels = 3;

    Step next() const;
    void apply(const Step& step);
    static std::string valueKeyPath(int slot);
    static std::string treePath(int slot, int levels);
    std::string payload() const;

    std::uint64_t m_steps = 0;
    // A value key that exists has an entry; its values in enumeration order.
    std::map<int, std::vector<std::pair<std::string, std::string>>> m_valueKeys;
    std::array<int, trees> m_treeLevels{};
};

} // namespace dawdlex::reliability
