// The .reg importer on any bytes, against a real store: nothing crashes; a file it refuses half-way leaves
// the store as it was; and whatever it accepts exports to a file that reads back, imports into an empty
// store and gives the very same contents.
#include "RegExporter.h"
#include "RegFileParser.h"
#include "RegFileWriter.h"
#include "RegImporter.h"
#include "ScratchConfigHome.h"
#include "StoreAccess.h"
#include "Text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace dawdlex::regtool;
using dawdlex::RegKey;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

const std::vector<RegistryPath>& roots()
{
    static const std::vector<RegistryPath> paths = [] {
        std::vector<RegistryPath> result;
        for (const char* name : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                 "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"}) {
            RegistryPath path;
            std::string error;
            require(parseRegistryPath(name, path, error));
            result.push_back(path);
        }
        return result;
    }();
    return paths;
}

// Roots as a set of indexes into roots(). Every store call takes SQLite's file locks, so a run reads and
// clears only the roots its file names (and those the previous run left content in); the others are merely
// checked to be empty.
using RootSet = std::vector<bool>;

RootSet rootsNamedIn(const std::vector<RegOperation>& operations)
{
    RootSet named(roots().size(), false);
    for (const RegOperation& operation : operations) {
        for (std::size_t i = 0; i < roots().size(); ++i) {
            if (operation.key.root == roots()[i].root)
                named[i] = true;
        }
    }
    return named;
}

bool isEmpty(const RegistryPath& root)
{
    RegKey key;
    require(openKey(root, KEY_READ, key) == ERROR_SUCCESS);
    DWORD subKeys = 1;
    DWORD values = 1;
    require(RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS);
    return subKeys == 0 && values == 0;
}

// Every key and value of the store, root by root; roots without content are left out. Roots outside
// `named` must be empty.
std::vector<ExportedKey> everything(const RootSet& named)
{
    std::vector<ExportedKey> all;
    for (std::size_t i = 0; i < roots().size(); ++i) {
        if (!named[i]) {
            require(isEmpty(roots()[i]));
            continue;
        }
        std::vector<ExportedKey> keys;
        require(RegExporter().collect(roots()[i], keys) == ERROR_SUCCESS);
        if (keys.size() == 1 && keys.front().values.empty())
            continue;
        all.insert(all.end(), keys.begin(), keys.end());
    }
    return all;
}

bool sameContents(const std::vector<ExportedKey>& a, const std::vector<ExportedKey>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].path.text() != b[i].path.text() || a[i].values != b[i].values)
            return false;
    }
    return true;
}

void wipe(const RootSet& named)
{
    for (std::size_t i = 0; i < roots().size(); ++i) {
        if (!named[i])
            continue;
        RegKey key;
        require(openKey(roots()[i], KEY_ALL_ACCESS, key) == ERROR_SUCCESS);
        std::vector<std::string> names;
        require(readSubkeyNames(key.get(), names) == ERROR_SUCCESS);
        for (const std::string& name : names)
            require(deleteTree(key.get(), name) == ERROR_SUCCESS);
        require(deleteAllValues(key.get()) == ERROR_SUCCESS);
    }
}

// The roots the previous run may have left content in; at first, all of them.
RootSet& leftOver()
{
    static RootSet left(roots().size(), true);
    return left;
}

bool parse(const std::string& bytes, std::vector<RegOperation>& operations)
{
    std::string text;
    std::string error;
    FileEncoding encoding = FileEncoding::Utf8;
    if (!decodeRegFileBytes(bytes, text, encoding, error))
        return false;
    RegFileError parseError;
    return parseRegFile(text, operations, parseError);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    useScratchConfigHome("dawdlex-fuzz-regfile");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<RegOperation> operations;
    if (!parse(std::string(reinterpret_cast<const char*>(data), size), operations))
        return 0;
    wipe(leftOver());
    const RootSet named = rootsNamedIn(operations);
    leftOver() = named;
    const RegImporter::Result result = RegImporter().apply(operations);
    if (!result.succeeded) {
        // All or nothing: a refused import leaves the (empty) store empty.
        if (result.rolledBack)
            require(everything(named).empty());
        return 0;
    }
    const std::vector<ExportedKey> imported = everything(named);
    std::string text;
    std::string error;
    if (!formatRegFile(imported, text, error))
        return 0; // a key name the format cannot hold; the exporter says so
    const std::string exported = encodeRegFile(text);

    wipe(named);
    std::vector<RegOperation> again;
    require(parse(exported, again));
    require(RegImporter().apply(again).succeeded);
    require(sameContents(everything(named), imported));
    return 0;
}
