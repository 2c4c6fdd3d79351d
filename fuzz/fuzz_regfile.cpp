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

// Every key and value of the store, root by root; roots without content are left out.
std::vector<ExportedKey> everything()
{
    std::vector<ExportedKey> all;
    for (const RegistryPath& root : roots()) {
        std::vector<ExportedKey> keys;
        require(RegExporter().collect(root, keys) == ERROR_SUCCESS);
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

void wipe()
{
    for (const RegistryPath& root : roots()) {
        RegKey key;
        require(openKey(root, KEY_ALL_ACCESS, key) == ERROR_SUCCESS);
        std::vector<std::string> names;
        require(readSubkeyNames(key.get(), names) == ERROR_SUCCESS);
        for (const std::string& name : names)
            require(deleteTree(key.get(), name) == ERROR_SUCCESS);
        require(deleteAllValues(key.get()) == ERROR_SUCCESS);
    }
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
    wipe();
    const RegImporter::Result result = RegImporter().apply(operations);
    if (!result.succeeded) {
        // All or nothing: a refused import leaves the (empty) store empty.
        if (result.rolledBack)
            require(everything().empty());
        return 0;
    }
    const std::vector<ExportedKey> imported = everything();
    std::string text;
    std::string error;
    if (!formatRegFile(imported, text, error))
        return 0; // a key name the format cannot hold; the exporter says so
    const std::string exported = encodeRegFile(text);

    wipe();
    std::vector<RegOperation> again;
    require(parse(exported, again));
    require(RegImporter().apply(again).succeeded);
    require(sameContents(everything(), imported));
    return 0;
}
