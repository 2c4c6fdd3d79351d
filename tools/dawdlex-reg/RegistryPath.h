// A full registry key path: a root key and the names below it.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace dawdlex::regtool {

struct RegistryPath
{
    HKEY root = nullptr;
    std::string rootName;                // always the long form, e.g. "HKEY_CURRENT_USER"
    std::vector<std::string> components; // never empty strings

    // The subkey below the root, components joined with backslashes ("" for the root itself).
    std::string subkey() const;
    // rootName and subkey, as written in .reg files and shown to the user.
    std::string text() const;
    bool isRoot() const { return components.empty(); }
    RegistryPath parent() const;
    RegistryPath child(const std::string& name) const;
    // True when `other` is this key or lies below it (names compared case-insensitively).
    bool contains(const RegistryPath& other) const;
};

// Parses "ROOT\sub\key". ROOT is a long root name or one of HKCU, HKLM, HKCR, HKU, HKCC, in any case.
// Empty components (repeated or trailing backslashes) are dropped. On failure returns false and sets
// `error` to a sentence naming the problem; `path` is then unspecified.
[[nodiscard]] bool parseRegistryPath(std::string_view text, RegistryPath& path, std::string& error);

// Checks the store's limits: 255 bytes of UTF-8 per key name, 512 levels. Returns "" when within them.
[[nodiscard]] std::string checkKeyLimits(const RegistryPath& path);
// Checks the store's limit of 16,383 bytes of UTF-8 for a value name. Returns "" when within it.
[[nodiscard]] std::string checkValueNameLimit(std::string_view name);

} // namespace dawdlex::regtool
