// Reads a key and its subtree from the store in the order a .reg file lists them.
#pragma once

#include "RegFileWriter.h"
#include "RegKey.h"

#include <functional>

namespace dawdlex::regtool {

// Opens `path` for reading into `key` and sets `spelled` to the path as the store spells each name.
[[nodiscard]] LSTATUS openSpelled(const RegistryPath& path, RegistryPath& spelled, RegKey& key);

class RegExporter
{
public:
    // Called after each key read, with the number of keys read so far.
    using Progress = std::function<void(std::size_t keysRead)>;

    explicit RegExporter(Progress progress = {});

    // Fills `keys` with `path` (spelled as the store spells it) and every key below it, depth first, each
    // key's subkeys in the store's order. Returns the API's status; ERROR_FILE_NOT_FOUND when `path`
    // does not exist. On failure `keys` is unspecified.
    [[nodiscard]] LSTATUS collect(const RegistryPath& path, std::vector<ExportedKey>& keys);

private:
    [[nodiscard]] LSTATUS collectBelow(HKEY key, const RegistryPath& path, std::vector<ExportedKey>& keys);

    Progress m_progress;
};

} // namespace dawdlex::regtool
