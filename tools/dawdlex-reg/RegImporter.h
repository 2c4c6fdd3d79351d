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
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace dawdlex::regtool {

class RegImporter
{
public:
    using Progress = std::function<void(std::size_t done, std::size_t total)>;

    struct Result
    {
        bool succeeded = true;
        std::size_t line = 0;   // the line of the change that failed
        std::string message;    // what failed and why
        bool rolledBack = true; // false when undoing the earlier changes failed too
    };

    explicit RegImporter(Progress progress = {});

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

    Progress m_progress;
    std::vector<UndoStep> m_undo;
};

// The first key of `path`, from the root down, that does not exist; nullopt when the whole path exists.
[[nodiscard]] LSTATUS findTopMissingKey(const RegistryPath& path, std::optional<RegistryPath>& top);

} // namespace dawdlex::regtool
