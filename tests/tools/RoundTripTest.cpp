// Export and import against the real store: round trips byte for byte, and imports that fail half-way
// leave the store as it was.
#include "RegFileParser.h"
#include "RegImporter.h"
#include "StoreAccess.h"
#include "Text.h"
#include "ToolFixture.h"

#include <winreg_store.h>

using namespace dawdlex::regtool;
using dawdlex::RegKey;

namespace {

const char* const kKey = "HKEY_CURRENT_USER\\Software\\Pendlewick\\Dawdlex";

std::string exportBytes(const std::string& key)
{
    std::vector<ExportedKey> keys;
    EXPECT_EQ(RegExporter().collect(ToolTest::path(key), keys), ERROR_SUCCESS);
    std::string text;
    std::string error;
    EXPECT_TRUE(formatRegFile(keys, text, error)) << error;
    return encodeRegFile(text);
}

RegImporter::Result importBytes(const std::string& fileBytes)
{
    std::string text;
    std::string error;
    FileEncoding encoding = FileEncoding::Utf8;
    EXPECT_TRUE(decodeRegFileBytes(fileBytes, text, encoding, error)) << error;
    std::vector<RegOperation> operations;
    RegFileError parseError;
    EXPECT_TRUE(parseRegFile(text, operations, parseError)) << parseError.line << ": " << parseError.message;
    return RegImporter().apply(operations);
}

std::string pseudoRandomBytes(std::size_t size, unsigned seed)
{
    std::string out(size, '\0');
    for (char& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return out;
}

void deleteKey(const std::string& key)
{
    const RegistryPath target = ToolTest::path(key);
    RegKey parent;
    ASSERT_EQ(openKey(target.parent(), KEY_ALL_ACCESS, parent), ERROR_SUCCESS);
    ASSERT_EQ(deleteTree(parent.get(), target.components.back()), ERROR_SUCCESS);
}

} // namespace

class RegRoundTrip : public ToolTest
{
};

TEST_F(RegRoundTrip, EveryValueTypeAndAwkwardNameComesBackByteForByte)
{
    const std::string text100k = std::string(100000, 'x') + '\0';
    const RegValue values[] = {
        {"", REG_SZ, std::string("default\0", 8)},
        {"none empty", REG_NONE, ""},
        {"none", REG_NONE, pseudoRandomBytes(5, 1)},
        {"quote\"d", REG_SZ, std::string("say \"hi\"\0", 9)},
        {"back\\slash", REG_SZ, std::string("C:\\Windows\\\0", 12)},
        {"a=b", REG_SZ, std::string("=\0", 2)},
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80",
         REG_SZ, std::string("\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80\0", 11)},
        {"; [not] a comment", REG_SZ, std::string("\0", 1)},
        {"line\nbreak\rname", REG_SZ, std::string("two\r\nlines\0", 11)},
        {"sz empty", REG_SZ, ""},
        {"sz unterminated", REG_SZ, "abc"},
        {"sz inner nul", REG_SZ, std::string("a\0b\0", 4)},
        {"sz invalid utf8", REG_SZ, std::string("\xFF\xC3(\xED\xA0\x80\0", 7)},
        {"sz large", REG_SZ, text100k},
        {"expand", REG_EXPAND_SZ, std::string("%HOME%\\\xC3\xA9\0", 10)},
        {"expand odd bytes", REG_EXPAND_SZ, "\x80"},
        {"binary", REG_BINARY, pseudoRandomBytes(70000, 2)},
        {"binary empty", REG_BINARY, ""},
        {"dword", REG_DWORD, pseudoRandomBytes(4, 3)},
        {"dword short", REG_DWORD, pseudoRandomBytes(3, 4)},
        {"big endian", REG_DWORD_BIG_ENDIAN, pseudoRandomBytes(4, 5)},
        {"link", REG_LINK, pseudoRandomBytes(9, 6)},
        {"multi", REG_MULTI_SZ, std::string("one\0t\xC3\xA9o\0\0", 10)},
        {"multi empty", REG_MULTI_SZ, ""},
        {"resource list", REG_RESOURCE_LIST, pseudoRandomBytes(33, 7)},
        {"full descriptor", REG_FULL_RESOURCE_DESCRIPTOR, pseudoRandomBytes(17, 8)},
        {"requirements", REG_RESOURCE_REQUIREMENTS_LIST, pseudoRandomBytes(40, 9)},
        {"qword", REG_QWORD, pseudoRandomBytes(8, 10)},
        {"unknown type", 0x12345678, pseudoRandomBytes(3, 11)},
    };
    for (const RegValue& value : values)
        setValue(kKey, value);
    setValue(std::string(kKey) + "\\Sub ]key[ =\\\xC3\x9Cml\xC3\xA4ut",
             {"deep", REG_SZ, std::string("1\0", 2)});
    makeKey(std::string(kKey) + "\\Empty");
    setValue("HKCU\\Software\\Other", {"kept", REG_DWORD, pseudoRandomBytes(4, 12)});

    const std::string before = dump();
    const std::string file = exportBytes(kKey);
    deleteKey(kKey);
    ASSERT_TRUE(snapshot(kKey).empty());

    const RegImporter::Result result = importBytes(file);
    ASSERT_TRUE(result.succeeded) << result.message;
    EXPECT_EQ(dump(), before);
    EXPECT_EQ(exportBytes(kKey), file) << "a second export is the same file";
}

TEST_F(RegRoundTrip, AFailureHalfWayUndoesEveryEarlierChange)
{
    setValue(kKey, {"first", REG_SZ, std::string("1\0", 2)});
    setValue(kKey, {"second", REG_DWORD, pseudoRandomBytes(4, 1)});
    setValue(kKey, {"third", REG_BINARY, pseudoRandomBytes(10, 2)});
    setValue(std::string(kKey) + "\\Doomed", {"v", REG_SZ, std::string("x\0", 2)});
    setValue(std::string(kKey) + "\\Doomed\\Deeper", {"w", REG_QWORD, pseudoRandomBytes(8, 3)});
    makeKey("HKCU\\Software\\Locked");
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, "Software\\Locked", TRUE), ERROR_SUCCESS);
    const std::string before = dump();

    const std::string file = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[-HKEY_CURRENT_USER\\Software\\Pendlewick\\Dawdlex\\doomed]\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Pendlewick\\Dawdlex]\r\n"
                             "\"first\"=\"changed\"\r\n"
                             "\"second\"=-\r\n"
                             "\"new\"=hex:01\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Brand\\New\\Tree]\r\n"
                             "\"n\"=dword:00000001\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Locked]\r\n"
                             "\"refused\"=\"write\"\r\n";
    const RegImporter::Result result = importBytes(file);
    EXPECT_FALSE(result.succeeded);
    EXPECT_TRUE(result.rolledBack);
    EXPECT_EQ(result.line, 14u);
    EXPECT_NE(result.message.find("refused"), std::string::npos) << result.message;
    EXPECT_EQ(dump(), before) << "values, their order, the deleted subtree and its spelling all restored";
    EXPECT_TRUE(snapshot("HKCU\\Software\\Brand").empty());
}

TEST_F(RegRoundTrip, AStopBeforeAnyChangeUndoesEveryEarlierOneAndKeepsTheOrder)
{
    for (int i = 0; i < 10; ++i)
        setValue(kKey, {std::string("v").append(std::to_string(i)), REG_BINARY,
                        pseudoRandomBytes(3, static_cast<unsigned>(i))});
    setValue(std::string(kKey) + "\\Sub\\Old", {"o", REG_SZ, std::string("o\0", 2)});
    setValue(std::string(kKey) + "\\Sub\\Old\\Inner", {"i", REG_SZ, std::string("i\0", 2)});
    const std::string before = dump();
    const RegistryPath key = path(kKey);
    const auto change = [&](RegOperation::Kind kind, const std::string& name, const RegistryPath& where) {
        return RegOperation{kind, where, {name, REG_SZ, std::string("x\0", 2)}, 1};
    };
    std::vector<RegOperation> operations;
    // Deletes from the last value backwards, as delete /va does, then from the front and the middle.
    for (const char* name : {"v9", "v8", "v7", "v0", "v4"})
        operations.push_back(change(RegOperation::Kind::DeleteValue, name, key));
    operations.push_back(change(RegOperation::Kind::SetValue, "v2", key));
    operations.push_back(change(RegOperation::Kind::SetValue, "added", key));
    operations.push_back(change(RegOperation::Kind::DeleteValue, "v1", key));
    operations.push_back(change(RegOperation::Kind::SetValue, "n", path("HKCU\\Software\\Brand\\New")));
    // Keys deleted as typed in another case come back as spelled; one made by the import goes again.
    const std::string sub = std::string(kKey) + "\\SUB\\";
    operations.push_back(change(RegOperation::Kind::DeleteKey, "", path(sub + "old")));
    operations.push_back(change(RegOperation::Kind::SetValue, "f", path(sub + "Fresh")));
    operations.push_back(change(RegOperation::Kind::DeleteKey, "", path(sub + "FRESH")));
    // The request comes at each point where the importer asks, in turn: before each change and between
    // the keys of a deleted tree.
    for (std::size_t stopAt = 0;; ++stopAt) {
        SCOPED_TRACE(std::string("stop at question ").append(std::to_string(stopAt)));
        std::size_t asked = 0;
        const RegImporter::Result result =
            RegImporter({}, [&] { return asked++ == stopAt; }).apply(operations);
        if (result.succeeded)
            break;
        EXPECT_TRUE(result.stopped) << result.message;
        EXPECT_TRUE(result.rolledBack);
        EXPECT_EQ(dump(), before);
        ASSERT_LT(stopAt, operations.size() + 10) << "the importer asks more often than it has steps";
    }
}

TEST_F(RegRoundTrip, DeletingASubtreeWithAReadOnlyKeyInsideChangesNothing)
{
    setValue(std::string(kKey) + "\\A", {"a", REG_SZ, std::string("1\0", 2)});
    setValue(std::string(kKey) + "\\B\\Locked", {"b", REG_SZ, std::string("2\0", 2)});
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, "Software\\Pendlewick\\Dawdlex\\B\\Locked", TRUE),
              ERROR_SUCCESS);
    const std::string before = dump();
    const RegImporter::Result result =
        importBytes("REGEDIT4\r\n[-HKEY_CURRENT_USER\\Software\\Pendlewick\\Dawdlex]\r\n");
    EXPECT_FALSE(result.succeeded);
    EXPECT_EQ(dump(), before);
}

TEST_F(RegRoundTrip, FilesWrittenByHandInEitherHeaderAndEncoding)
{
    struct Case
    {
        const char* what;
        std::string bytes;
        std::string expandData;
    };
    const std::string version5 = "Windows Registry Editor Version 5.00\r\n\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Hand]\r\n"
                                 "\"Title\"=\"Gr\xC3\xBC\xC3\x9F"
                                 "e\"\r\n"
                                 "\"Path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,e9,00,00,00\r\n";
    const std::string regedit4 = "REGEDIT4\r\n\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Hand]\r\n"
                                 "\"Title\"=\"Gr\xC3\xBC\xC3\x9F"
                                 "e\"\r\n"
                                 "\"Path\"=hex(2):25,48,4f,4d,45,25,c3,a9,00\r\n";
    const std::string expand("%HOME%\xC3\xA9\0", 9);
    const RegValue title{"Title", REG_SZ,
                         std::string("Gr\xC3\xBC\xC3\x9F"
                                     "e\0",
                                     8)};
    const Case cases[] = {
        {"5.00 UTF-16LE", "\xFF\xFE" + utf16LeBytes(utf8ToUtf16(version5)), expand},
        {"5.00 UTF-8", version5, expand},
        {"5.00 UTF-8 with mark", "\xEF\xBB\xBF" + version5, expand},
        {"REGEDIT4 UTF-8", regedit4, expand},
        {"REGEDIT4 UTF-16LE", "\xFF\xFE" + utf16LeBytes(utf8ToUtf16(regedit4)), expand},
        {"REGEDIT4 ANSI",
         "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Hand]\r\n\"Title\"=\"Gr\xFC\xDF"
         "e\"\r\n"
         "\"Path\"=hex(2):25,48,4f,4d,45,25,e9,00\r\n",
         std::string("%HOME%\xE9\0", 8)},
    };
    for (const Case& c : cases) {
        const RegImporter::Result result = importBytes(c.bytes);
        ASSERT_TRUE(result.succeeded) << c.what << ": " << result.message;
        RegKey key;
        ASSERT_EQ(openKey(path("HKCU\\Software\\Hand"), KEY_READ, key), ERROR_SUCCESS);
        std::vector<RegValue> values;
        ASSERT_EQ(readValues(key.get(), values), ERROR_SUCCESS);
        EXPECT_EQ(values, (std::vector<RegValue>{title, {"Path", REG_EXPAND_SZ, c.expandData}})) << c.what;
        key.close();
        deleteKey("HKCU\\Software\\Hand");
    }
}
