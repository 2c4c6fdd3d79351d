// Reading and writing whole keys through the registry API: the only way this tool reaches the store.
// Every function returns the API's status (ERROR_SUCCESS on success) and never throws.
#pragma once

#include "RegKey.h"
#include "RegValue.h"

#include <functional>
#include <string>
#include <vector>

namespace dawdlex::regtool {

// A key with everything below it, as read from the store.
struct KeyTree
{
    std::string name; // as the store spells it
    std::vector<RegValue> values;
    std::vector<KeyTree> subkeys;
};

// Opens `path` (which may be a root itself).
[[nodiscard]] LSTATUS openKey(const RegistryPath& path, REGSAM access, RegKey& key);

// One value; ERROR_FILE_NOT_FOUND when there is none of that name.
[[nodiscard]] LSTATUS readValue(HKEY key, const std::string& name, RegValue& value);
// All values of a key, in the store's order.
[[nodiscard]] LSTATUS readValues(HKEY key, std::vector<RegValue>& values);
// The names of the direct subkeys, in the store's order.
[[nodiscard]] LSTATUS readSubkeyNames(HKEY key, std::vector<std::string>& names);
[[nodiscard]] LSTATUS writeValue(HKEY key, const RegValue& value);

// Reads the key `key` with its whole subtree into `tree` (tree.name is left as it was).
[[nodiscard]] LSTATUS readTree(HKEY key, KeyTree& tree);
// Creates tree.name below `parent` with all values and subkeys of `tree`. On failure it stops where it
// failed; the caller removes what was written.
[[nodiscard]] LSTATUS writeTree(HKEY parent, const KeyTree& tree);
// Deletes `subkey` of `base` with everything below it, deepest keys first, each with its values. On
// failure part of the subtree may be gone, but every key still there is whole. ERROR_CANCELLED when
// stopRequested said so between two keys.
[[nodiscard]] LSTATUS deleteTree(HKEY base, const std::string& subkey,
                                 const std::function<bool()>& stopRequested = {});
[[nodiscard]] LSTATUS deleteAllValues(HKEY key);
// ERROR_SUCCESS when `subkey` of `base` and every key below it can be opened for writing, so that a delete
// will not stop half-way at a read-only key.
[[nodiscard]] LSTATUS checkTreeWritable(HKEY base, const std::string& subkey);

// The spelling the store uses for the subkey `name` of `parent` (compared case-insensitively), or
// `name` itself when there is no such subkey.
std::string storedSpelling(HKEY parent, const std::string& name);

// A short sentence for a status, for messages to the user.
std::string statusText(LSTATUS status);

} // namespace dawdlex::regtool
