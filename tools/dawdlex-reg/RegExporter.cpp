#include "RegExporter.h"

#include "RegKey.h"
#include "StoreAccess.h"

namespace dawdlex::regtool {

RegExporter::RegExporter(Progress progress) : m_progress(std::move(progress)) {}

LSTATUS openSpelled(const RegistryPath& path, RegistryPath& spelled, RegKey& key)
{
    spelled = path;
    spelled.components.clear();
    LSTATUS status = openKey(spelled, KEY_READ, key);
    for (const std::string& component : path.components) {
        if (status != ERROR_SUCCESS)
            return status;
        spelled.components.push_back(storedSpelling(key.get(), component));
        RegKey child;
        status = child.open(key.get(), component, KEY_READ);
        key = std::move(child);
    }
    return status;
}

LSTATUS RegExporter::collect(const RegistryPath& path, std::vector<ExportedKey>& keys)
{
    keys.clear();
    RegistryPath spelled;
    RegKey key;
    const LSTATUS status = openSpelled(path, spelled, key);
    if (status != ERROR_SUCCESS)
        return status;
    return collectBelow(key.get(), spelled, keys);
}

LSTATUS RegExporter::collectBelow(HKEY key, const RegistryPath& path, std::vector<ExportedKey>& keys)
{
    ExportedKey& exported = keys.emplace_back();
    exported.path = path;
    LSTATUS status = readValues(key, exported.values);
    if (status != ERROR_SUCCESS)
        return status;
    if (m_progress)
        m_progress(keys.size());
    std::vector<std::string> names;
    status = readSubkeyNames(key, names);
    for (std::size_t i = 0; i < names.size() && status == ERROR_SUCCESS; ++i) {
        RegKey child;
        status = child.open(key, names[i], KEY_READ);
        if (status == ERROR_SUCCESS)
            status = collectBelow(child.get(), path.child(names[i]), keys);
    }
    return status;
}

} // namespace dawdlex::regtool
