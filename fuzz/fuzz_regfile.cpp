// The .reg importer on any bytes, against a real store: nothing crashes; a file it refuses half-way leaves
// the store as it was; and whatever it accepts exports to a file that imports into an empty store as the
// very same contents. Every change is made below HKEY_CURRENT_USER, whichever root the file names: below
// their names the roots are alike, and reading one root back is a sixth of the work of reading all six.
#include "RegExporter.h"
#include "RegFileParser.h"
#include "RegImporter.h"
#include "Require.h"
#include "ScratchConfigHome.h"
#include "Text.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace dawdlex::regtool;

namespace {

RegistryPath currentUser()
{
    RegistryPath path;
    std::string error;
    require(parseRegistryPath("HKEY_CURRENT_USER", path, error));
    return path;
}

// HKEY_CURRENT_USER with everything below it as a .reg file's text; false for a key name with a line
// break, which the format cannot hold.
bool exportAll(std::string& text)
{
    std::vector<ExportedKey> keys;
    std::string error;
    require(RegExporter().collect(currentUser(), keys) == ERROR_SUCCESS);
    return formatRegFile(keys, text, error);
}

void wipe()
{
    dawdlex::RegKey key;
    std::vector<std::string> names;
    require(openKey(currentUser(), KEY_ALL_ACCESS, key) == ERROR_SUCCESS);
    require(readSubkeyNames(key.get(), names) == ERROR_SUCCESS);
    for (const std::string& name : names)
        require(deleteTree(key.get(), name) == ERROR_SUCCESS);
    require(deleteAllValues(key.get()) == ERROR_SUCCESS);
}

bool parse(const std::string& bytes, std::vector<RegOperation>& operations)
{
    std::string text;
    std::string error;
    FileEncoding encoding = FileEncoding::Utf8;
    RegFileError parseError;
    if (!decodeRegFileBytes(bytes, text, encoding, error) || !parseRegFile(text, operations, parseError))
        return false;
    for (RegOperation& operation : operations) {
        operation.key.root = HKEY_CURRENT_USER;
        operation.key.rootName = "HKEY_CURRENT_USER";
    }
    return true;
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
    std::string before;
    if (!parse(std::string(reinterpret_cast<const char*>(data), size), operations) || !exportAll(before))
        return 0;
    const RegImporter::Result result = RegImporter().apply(operations);
    std::string text;
    if (!result.succeeded) {
        require(!result.rolledBack || (exportAll(text) && text == before)); // all or nothing
    } else if (exportAll(text)) {
        wipe();
        std::vector<RegOperation> again;
        require(parse(encodeRegFile(text), again) && RegImporter().apply(again).succeeded);
        std::string reread;
        require(exportAll(reread) && reread == text);
    }
    wipe();
    return 0;
}
