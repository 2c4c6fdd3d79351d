// Applies the changes parsed from a .reg file to the store, all or nothing.
//
// Before each change it records how to undo it (the old value, the old values of a key, a deleted subtree,
// the topmost key it creates). When a change fails it undoes the earlier ones in reverse order, so the
// store is left as it was. What it cannot guarantee, since each change is its own transaction in the store:
// isolation from another process that writes the same keys during the import, and the undo after a crash
// or a SIGKILL half-way (the command line holds back Ctrl-C and termination requests while it applies).
#pragma once

#include "RegValue.h"
#include "StoreAccess.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace dawdlex::regtool {

class RegImporter
{
public:
    using Progress = std::function<void(std::size_t done, std::size_t total)>;
    // Asked before each change; true stops the import, which then undoes what it did.
    using StopRequested = std::function<bool()>;

    struct Result
    {
        bool succeeded = true;
        std::size_t line = 0;   // the line of the change that failed
        std::string message;    // what failed and why
        bool rolledBack = true; // false when undoing the earlier changes failed too
        bool stopped = false;   // stopped on request, not by a failed change
    };

    explicit RegImporter(Progress progress = {}, StopRequested stopRequested = {});

    Result apply(const std::vector<RegOperation>& operations);

private:
    struct DeleteCreatedKey
    {
        RegistryPath top;
    };
    struct RestoreValue
    {
        RegistryPath key;
        std::string name;
        std::optional<RegValue> old;
    };
    struct RestoreValues
    {
        RegistryPath key;
        std::vector<RegValue> values;
    };
    struct RestoreTree
    {
        RegistryPath parent;
        KeyTree tree;
    };
    using UndoStep = std::variant<DeleteCreatedKey, RestoreValue, RestoreValues, RestoreTree>;

    [[nodiscard]] LSTATUS applyOne(const RegOperation& operation);
    [[nodiscard]] LSTATUS ensureKey(const RegistryPath& path, bool& created);
    [[nodiscard]] LSTATUS setValue(const RegOperation& operation);
    [[nodiscard]] LSTATUS deleteValue(const RegOperation& operation);
    [[nodiscard]] LSTATUS deleteKey(const RegOperation& operation);
    [[nodiscard]] bool rollBack();
    [[nodiscard]] static LSTATUS undo(const UndoStep& step);
    // The store's spelling of the subkey `name` of `parent` (at parentPath), for putting a deleted key
    // back as it was. Each parent's subkeys are listed once per import, not once per key deleted.
    std::string spellingOf(HKEY parent, const RegistryPath& parentPath, const std::string& name);
    void rememberCreated(const RegistryPath& top);

    Progress m_progress;
    StopRequested m_stopRequested;
    std::vector<UndoStep> m_undo;
    // Keys (folded paths) whose values are already kept whole in m_undo: one snapshot of a key serves
    // every later delete of its values, since undoing it puts back all of them.
    std::set<std::string> m_keptKeys;
    // Folded parent path -> folded subkey name -> the store's spelling.
    std::map<std::string, std::map<std::string, std::string>> m_spellings;
};

// The first key of `path`, from the root down, that does not exist; nullopt when the whole path exists.
[[nodiscard]] LSTATUS findTopMissingKey(const RegistryPath& path, std::optional<RegistryPath>& top);

} // namespace dawdlex::regtool
