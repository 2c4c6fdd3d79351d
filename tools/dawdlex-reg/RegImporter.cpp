#include "RegImporter.h"

#include "RegKey.h"
#include "Text.h"

#include <algorithm>

namespace dawdlex::regtool {

namespace {

std::string describe(const RegOperation& operation)
{
    const std::string valueName = operation.value.name.empty() ? "(Default)" : operation.value.name;
    switch (operation.kind) {
    case RegOperation::Kind::CreateKey:
        return "could not create the key " + operation.key.text();
    case RegOperation::Kind::DeleteKey:
        return "could not delete the key " + operation.key.text();
    case RegOperation::Kind::SetValue:
        return "could not set the value \"" + valueName + "\" of " + operation.key.text();
    case RegOperation::Kind::DeleteValue:
        return "could not delete the value \"" + valueName + "\" of " + operation.key.text();
    }
    return {};
}

// Puts back a tree whose delete failed or stopped part-way. Each key still there is whole (a key goes with
// its values only once its subkeys are gone), so only the missing ones are made again.
[[nodiscard]] LSTATUS restoreTree(HKEY parent, const KeyTree& tree)
{
    RegKey key;
    const LSTATUS status = key.open(parent, tree.name, KEY_ALL_ACCESS);
    if (status == ERROR_FILE_NOT_FOUND)
        return writeTree(parent, tree);
    if (status != ERROR_SUCCESS)
        return status;
    for (const KeyTree& subkey : tree.subkeys) {
        const LSTATUS restored = restoreTree(key.get(), subkey);
        if (restored != ERROR_SUCCESS)
            return restored;
    }
    return ERROR_SUCCESS;
}

} // namespace

// Most values go into keys that exist by then, which one lookup of the whole path tells. Otherwise it goes
// down one level at a time from the last key found, so that a deep path costs one lookup per level.
LSTATUS findTopMissingKey(const RegistryPath& path, std::optional<RegistryPath>& top)
{
    top.reset();
    RegKey whole;
    if (openKey(path, KEY_READ, whole) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    RegistryPath prefix = path;
    prefix.components.clear();
    RegKey reached;
    for (const std::string& component : path.components) {
        prefix.components.push_back(component);
        RegKey key;
        const LSTATUS status = key.open(reached.isOpen() ? reached.get() : path.root, component, KEY_READ);
        if (status == ERROR_FILE_NOT_FOUND) {
            top = prefix;
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS)
            return status;
        reached = std::move(key);
    }
    return ERROR_SUCCESS;
}

RegImporter::RegImporter(Progress progress, StopRequested stopRequested)
    : m_progress(std::move(progress)), m_stopRequested(std::move(stopRequested))
{}

RegImporter::Result RegImporter::apply(const std::vector<RegOperation>& operations)
{
    m_undo.clear();
    m_keptKeys.clear();
    m_spellings.clear();
    Result result;
    for (std::size_t i = 0; i < operations.size(); ++i) {
        const bool stop = m_stopRequested && m_stopRequested();
        const LSTATUS status = stop ? ERROR_CANCELLED : applyOne(operations[i]);
        if (status != ERROR_SUCCESS) {
            result.succeeded = false;
            result.stopped = status == ERROR_CANCELLED;
            result.line = operations[i].line;
            result.message =
                result.stopped ? statusText(status) : describe(operations[i]) + ": " + statusText(status);
            result.rolledBack = rollBack();
            return result;
        }
        if (m_progress)
            m_progress(i + 1, operations.size());
    }
    m_undo.clear();
    return result;
}

LSTATUS RegImporter::applyOne(const RegOperation& operation)
{
    bool created = false;
    switch (operation.kind) {
    case RegOperation::Kind::CreateKey:
        return ensureKey(operation.key, created);
    case RegOperation::Kind::SetValue:
        return setValue(operation);
    case RegOperation::Kind::DeleteValue:
        return deleteValue(operation);
    case RegOperation::Kind::DeleteKey:
        return deleteKey(operation);
    }
    return ERROR_INVALID_PARAMETER;
}

LSTATUS RegImporter::ensureKey(const RegistryPath& path, bool& created)
{
    std::optional<RegistryPath> top;
    LSTATUS status = findTopMissingKey(path, top);
    created = top.has_value();
    if (status != ERROR_SUCCESS || !created)
        return status;
    // Recorded before creating: a create that fails half-way may still leave some of the keys behind.
    m_undo.emplace_back(DeleteCreatedKey{*top});
    rememberCreated(*top);
    RegKey key;
    return key.create(path.root, path.subkey());
}

LSTATUS RegImporter::setValue(const RegOperation& operation)
{
    bool created = false;
    LSTATUS status = ensureKey(operation.key, created);
    if (status != ERROR_SUCCESS)
        return status;
    RegKey key;
    status = openKey(operation.key, KEY_ALL_ACCESS, key);
    if (status != ERROR_SUCCESS)
        return status;
    if (!created) {
        RegValue old;
        status = readValue(key.get(), operation.value.name, old);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return status;
        m_undo.emplace_back(
            RestoreValue{operation.key, operation.value.name,
                         status == ERROR_SUCCESS ? std::optional<RegValue>(old) : std::nullopt});
    }
    return writeValue(key.get(), operation.value);
}

LSTATUS RegImporter::deleteValue(const RegOperation& operation)
{
    RegKey key;
    LSTATUS status = openKey(operation.key, KEY_ALL_ACCESS, key);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS; // nothing to delete
    if (status != ERROR_SUCCESS)
        return status;
    RegValue old;
    status = readValue(key.get(), operation.value.name, old);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    // Putting one value back would move it to the end; keep the whole key's order instead, once per key.
    const std::string folded = foldName(operation.key.text());
    if (m_keptKeys.insert(folded).second) {
        std::vector<RegValue> values;
        status = readValues(key.get(), values);
        if (status != ERROR_SUCCESS) {
            m_keptKeys.erase(folded);
            return status;
        }
        m_undo.emplace_back(RestoreValues{operation.key, std::move(values)});
    }
    return RegDeleteValueA(key.get(), operation.value.name.c_str());
}

LSTATUS RegImporter::deleteKey(const RegOperation& operation)
{
    const RegistryPath parentPath = operation.key.parent();
    RegKey parent;
    LSTATUS status = openKey(parentPath, KEY_ALL_ACCESS, parent);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    RegKey key;
    status = key.open(parent.get(), operation.key.components.back(), KEY_READ);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    KeyTree tree;
    tree.name = spellingOf(parent.get(), parentPath, operation.key.components.back());
    status = readTree(key.get(), tree);
    key.close();
    if (status == ERROR_SUCCESS)
        status = checkTreeWritable(parent.get(), tree.name);
    if (status != ERROR_SUCCESS)
        return status;
    const std::string name = tree.name;
    m_undo.emplace_back(RestoreTree{parentPath, std::move(tree)});
    if (const auto listed = m_spellings.find(foldName(parentPath.text())); listed != m_spellings.end())
        listed->second.erase(foldName(name));
    return deleteTree(parent.get(), name, m_stopRequested);
}

std::string RegImporter::spellingOf(HKEY parent, const RegistryPath& parentPath, const std::string& name)
{
    const std::string folded = foldName(name);
    std::map<std::string, std::string>& listed = m_spellings[foldName(parentPath.text())];
    if (!listed.contains(folded)) {
        // A parent not listed yet, or a subkey another process made since.
        std::vector<std::string> names;
        if (readSubkeyNames(parent, names) != ERROR_SUCCESS)
            return name;
        listed.clear();
        for (std::string& stored : names)
            listed.emplace(foldName(stored), std::move(stored));
    }
    const auto found = listed.find(folded);
    return found != listed.end() ? found->second : name;
}

void RegImporter::rememberCreated(const RegistryPath& top)
{
    const auto listed = m_spellings.find(foldName(top.parent().text()));
    if (listed != m_spellings.end())
        listed->second.insert_or_assign(foldName(top.components.back()), top.components.back());
}

bool RegImporter::rollBack()
{
    bool complete = true;
    while (!m_undo.empty()) {
        if (undo(m_undo.back()) != ERROR_SUCCESS)
            complete = false;
        m_undo.pop_back();
    }
    return complete;
}

LSTATUS RegImporter::undo(const UndoStep& step)
{
    if (const auto* created = std::get_if<DeleteCreatedKey>(&step)) {
        RegKey parent;
        const LSTATUS status = openKey(created->top.parent(), KEY_ALL_ACCESS, parent);
        if (status != ERROR_SUCCESS)
            return status;
        const LSTATUS deleted = deleteTree(parent.get(), created->top.components.back());
        return deleted == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : deleted;
    }
    if (const auto* restore = std::get_if<RestoreValue>(&step)) {
        RegKey key;
        const LSTATUS status = openKey(restore->key, KEY_ALL_ACCESS, key);
        if (status != ERROR_SUCCESS)
            return status;
        if (restore->old)
            return writeValue(key.get(), *restore->old);
        const LSTATUS deleted = RegDeleteValueA(key.get(), restore->name.c_str());
        return deleted == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : deleted;
    }
    if (const auto* restore = std::get_if<RestoreValues>(&step)) {
        RegKey key;
        LSTATUS status = openKey(restore->key, KEY_ALL_ACCESS, key);
        std::vector<RegValue> current;
        if (status == ERROR_SUCCESS)
            status = readValues(key.get(), current);
        if (status != ERROR_SUCCESS)
            return status;
        // Values still in their places stay; from the first one that differs on, the key's values are put
        // back in their order. Deletes that went from the last value backwards cost only their rewrite.
        const std::size_t kept = static_cast<std::size_t>(
            std::mismatch(current.begin(), current.end(), restore->values.begin(), restore->values.end())
                .first -
            current.begin());
        for (std::size_t i = kept; i < current.size() && status == ERROR_SUCCESS; ++i)
            status = RegDeleteValueA(key.get(), current[i].name.c_str());
        for (std::size_t i = kept; i < restore->values.size() && status == ERROR_SUCCESS; ++i)
            status = writeValue(key.get(), restore->values[i]);
        return status;
    }
    const auto& restore = std::get<RestoreTree>(step);
    RegKey parent;
    const LSTATUS status = openKey(restore.parent, KEY_ALL_ACCESS, parent);
    if (status != ERROR_SUCCESS)
        return status;
    return restoreTree(parent.get(), restore.tree);
}

} // namespace dawdlex::regtool
