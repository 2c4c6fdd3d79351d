#include "CRegistry.h"
#include "FreshRegistry.h"
#include "RawRegistry.h"

#include <gtest/gtest.h>
#include <windows.h>
#ifndef _WIN32
#include <winreg_store.h>
#endif

#include <cstdlib>
#include <tuple>

namespace {

using namespace std::string_literals;
using K = RegistryValueType;
using R = CRegistry&;

// Every test gets a registry of its own and works below one key of it.
class Registry : public ::testing::Test, protected RawRegistry
{
protected:
    FreshRegistry freshRegistry;
    const std::string subKey = "Software\\DawdlexRegistryTest";
    const std::string base = "HKEY_CURRENT_USER\\" + subKey;
};

std::vector<uint8_t> bytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

// A value as stored, and what the readers make of it.
struct Row
{
    const char* name;
    DWORD type;
    std::string bytes;
    K kind;
    int32_t size;
    std::string text; // ReadString
    int32_t integer;
    bool binary; // ReadBinary gives the bytes, else the empty variant
};

TEST_F(Registry, EachKindIsReadAsItsBytesAndSizeFigureSayAndCopiedByRenameValue)
{
    const std::string var = "%DAWDLEX_TEST_FOLDER%";
    const std::vector<Row> rows{
        {"abc", REG_SZ, "abc\0"s, K::String, 3, "abc", 0, false},
        // Texts count without their terminator, but a one-byte text counts 1.
        {"NUL", REG_SZ, "\0"s, K::String, 1, "\0"s, 0, true},
        {"sz one byte unterminated", REG_SZ, "x", K::String, 1, "x", 'x', true},
        {"ab", REG_SZ, "ab", K::String, 1, "a", 0, false},
        {"wrapped", REG_EXPAND_SZ, var + '\0', K::EnvironmentString, 21, var, 0, false},
        {"unwrapped", REG_EXPAND_SZ, var + "b\0"s, K::EnvironmentString, 22, var + "b", 0, false},
        {"multi_sz", REG_MULTI_SZ, "a\0b\0\0"s, K::String, 4, "a\0b\0"s, 0, false},
        {"dword", REG_DWORD, "\1\2\3\4", K::Integer, 4, "\1\2\3\4", 0x04030201, true},
        {"big endian", REG_DWORD_BIG_ENDIAN, "\4\3\2\1", K::BigEndian, 4, "\4\3\2\1", 0x01020304, true},
        {"binary", REG_BINARY, "\1\2\3", K::Binary, 3, "\1\2\3", 0x030201, true},
        {"link", REG_LINK, "\t", K::Binary, 1, "\t", 9, true},
        // No kind, and without data not a value at all; longer than the integer: not read as one.
        {"none", REG_NONE, "", K::Unknown, 0, "", 0, false},
        {"none 78", REG_NONE, "78", K::Unknown, 2, "78", 0x3837, true},
        {"qword", REG_QWORD, "12345678", K::Unknown, 8, "12345678", 0, true},
    };
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKey(base));
    ASSERT_TRUE(registry.OpenKey(base));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<uint8_t> bytes = bytesOf(row.bytes);
        setRaw(subKey, row.name, row.type, bytes);
        K kind = K::Binary; // junk the call must overwrite
        int32_t size = 12345;
        EXPECT_EQ(registry.GetValueInfo(row.name, kind, size), row.type != REG_NONE || !bytes.empty());
        EXPECT_EQ(std::tie(kind, size), std::tie(row.kind, row.size));
        EXPECT_EQ(registry.ReadString(row.name), row.text);
        EXPECT_EQ(registry.ReadInteger(row.name), row.integer);
        EXPECT_EQ(registry.ReadBinary(row.name), row.binary ? RegistryVariant(bytes) : RegistryVariant());
        // The copy is written back through the class's own writers: the type may change, but not the kind,
        // the size figure or the text.
        const std::string renamed = row.name + "'"s;
        EXPECT_EQ(registry.RenameValue(row.name, renamed), row.kind != K::Unknown);
        if (row.kind != K::Unknown) {
            EXPECT_FALSE(registry.ValueExists(row.name));
            EXPECT_TRUE(registry.GetValueInfo(renamed, kind, size));
            EXPECT_EQ(std::tie(kind, size), std::tie(row.kind, row.size));
            EXPECT_EQ(registry.ReadString(renamed), row.text);
        }
        // A type override lasts one write.
        EXPECT_EQ(std::make_pair(registry.stringType(), registry.integerType()), std::make_pair(1, 4));
    }
    EXPECT_EQ(registry.ReadBigEndian("big endian'"), 0x04030201);
#ifdef _WIN32
    SetEnvironmentVariableA("DAWDLEX_TEST_FOLDER", "/var/tmp/dawdlex");
#else
    setenv("DAWDLEX_TEST_FOLDER", "/var/tmp/dawdlex", 1);
#endif
    // Expanded only when the text begins and ends with a sign.
    EXPECT_EQ(registry.ReadEnviromentString("wrapped'"), "/var/tmp/dawdlex");
    EXPECT_EQ(registry.ReadEnviromentString("unwrapped'"), "");

    // What the writers store: an empty text as one NUL character, an environment text wrapped in signs unless
    // it begins and ends with one, numbers least or most significant byte first.
    ASSERT_TRUE(registry.WriteString("", "w1") && registry.WriteEnvironmentString("X%", "w2") &&
                registry.WriteEnvironmentString("%", "w3") && registry.WriteInteger(0x04030201, "w4") &&
                registry.WriteBigEndian(0x04030201, "w5"));
    const std::vector<std::tuple<const char*, DWORD, std::string>> written{
        {"w1", REG_SZ, "\0\0"s},
        {"w2", REG_EXPAND_SZ, "%X%%\0"s},
        {"w3", REG_EXPAND_SZ, "%\0"s},
        {"w4", REG_DWORD, "\1\2\3\4"},
        {"w5", REG_DWORD_BIG_ENDIAN, "\4\3\2\1"}};
    for (const auto& [name, type, bytes] : written) {
        const StoredValue value = queryRaw(subKey, name);
        EXPECT_EQ(std::make_pair(value.type, value.data), std::make_pair(type, bytesOf(bytes))) << name;
    }
    EXPECT_EQ(std::make_pair(registry.stringType(), registry.integerType()), std::make_pair(1, 4));
    EXPECT_EQ(registry.ReadEnviromentString("w2"), "%X%%") << "an unknown name stays as it is";
}

// With no key open, on a key that cannot be written, and for data or names the class does not take: false,
// every value as it was, and no type override left behind.
TEST_F(Registry, RefusedCallsChangeNothing)
{
    const std::vector<std::tuple<const char*, DWORD, std::string>> planted{
        {"Present", REG_SZ, "p\0"s},     {"Taken", REG_DWORD, "\1\0\0\0"s},
        {"Quad", REG_QWORD, "12345678"}, {"Bytes", REG_BINARY, ""},
        {"New", REG_NONE, ""},
    };
    for (const auto& [name, type, bytes] : planted)
        setRaw(subKey, name, type, bytesOf(bytes));
    const std::vector<bool (*)(R)> calls{
        [](R r) { return r.WriteBinary(std::string("text"), "New"); },
        [](R r) { return r.WriteBinary(std::vector<uint8_t>{}, "New"); },
        [](R r) { return r.RenameValue("Present", "Taken"); },
        [](R r) { return r.RenameValue("Missing", "New"); },
        [](R r) { return r.RenameValue("Quad", "New"); },
        [](R r) { return r.RenameValue("Bytes", "New"); },
        // Refused with the key open up to here.
        [](R r) { return r.WriteEnvironmentString("x", "New"); },
        [](R r) { return r.WriteBigEndian(1, "New"); },
        [](R r) { return r.RenameValue("Present", "New"); },
        [](R r) { return r.DeleteValue("Present"); },
    };
    CRegistry registry;
    const auto expectRefused = [&](const char* state, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_FALSE(calls[i](registry)) << state << ", call " << i;
        for (const auto& [name, type, bytes] : planted) {
            const StoredValue value = queryRaw(subKey, name);
            EXPECT_EQ(std::make_pair(value.type, value.data), std::make_pair(type, bytesOf(bytes))) << name;
        }
        EXPECT_EQ(std::make_pair(registry.stringType(), registry.integerType()), std::make_pair(1, 4));
    };
    expectRefused("no key open", calls.size());
    K kind = K::Binary;
    int32_t size = 12345;
    std::vector<std::string> names{"kept"};
    EXPECT_FALSE(registry.GetValueInfo("Present", kind, size) || registry.EnumerateValues(names, size));
    EXPECT_EQ(std::tie(kind, size, names[0]), std::make_tuple(K::Binary, 12345, "kept"));
    ASSERT_TRUE(registry.OpenKey(base));
    expectRefused("key open", 6);
#ifndef _WIN32
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, subKey.c_str(), TRUE), ERROR_SUCCESS);
    expectRefused("read-only key", calls.size());
    // A copy written while the old value cannot be deleted is no rename either.
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, subKey.c_str(), FALSE), ERROR_SUCCESS);
    damageValueOrder("Present");
    ASSERT_TRUE(registry.OpenKey(base));
    EXPECT_FALSE(registry.RenameValue("Present", "Copy"));
    RegStoreClose(); // the store refuses every call once it has met damage
    EXPECT_TRUE(queryRaw(subKey, "Present").found && queryRaw(subKey, "Copy").found);
#endif
}

TEST_F(Registry, KeysAreNamedByFullPathsOrBelowTheCurrentKey)
{
    CRegistry registry;
    EXPECT_FALSE(registry.CreateKey("Relative")) << "no key open";
    EXPECT_TRUE(registry.CreateKey(base) && !registry.CreateKey(base)) << "true only for a new key";
    for (const std::string& path : {"hkey_current_user\\" + subKey, "HKCU\\" + subKey, "\\" + base, subKey})
        EXPECT_FALSE(registry.OpenKey(path) || registry.KeyExists(path)) << path;
    ASSERT_TRUE(registry.OpenKey(base));
    EXPECT_TRUE(registry.CreateKey("Sub\\Child") && registry.KeyExists(base + "\\Sub\\Child"));
    EXPECT_FALSE(registry.DeleteKey(base) || registry.DeleteKey("Sub"))
        << "the current key, one with a subkey";
    EXPECT_TRUE(registry.DeleteKey("Sub\\Child") && registry.DeleteKey("Sub") && !registry.HasSubKeys());
    // A failed open still closes the key that was open.
    EXPECT_FALSE(registry.OpenKey(base + "\\Sub"));
    EXPECT_EQ(registry.CurrentPath() + registry.CurrentKey(), "");
}

// A tree is moved with every value's type and bytes, even those the class's typed readers and writers would
// change; it is never merged into a key that exists, and an old tree that cannot go whole stays whole.
TEST_F(Registry, RenameKeyMovesTheWholeTreeButNeverOntoAnotherKey)
{
    const std::vector<std::tuple<std::string, std::string, DWORD, std::string>> tree{
        {"", "", REG_SZ, "d\0"s},
        {"", "Expand", REG_EXPAND_SZ, "%H%\\b\0"s},
        {"", "Quad", REG_QWORD, "12345678"},
        {"", "None", REG_NONE, ""},
        {"", "Unterminated", REG_SZ, "ab"},
        {"\\A", "Deep", REG_BINARY, "\1\2\3"},
        {"\\A\\A1", "Deeper", REG_DWORD_BIG_ENDIAN, "\0\0\1\2"s},
        {"\\B", "Leaf", REG_LINK, "a\0"s},
    };
    for (const auto& [key, name, type, bytes] : tree)
        setRaw(subKey + "\\Old" + key, name, type, bytesOf(bytes));
    const auto expectTree = [&](const std::string& below) {
        for (const auto& [key, name, type, bytes] : tree) {
            const StoredValue value = queryRaw(subKey + below + key, name);
            EXPECT_EQ(std::make_tuple(value.found, value.type, value.data),
                      std::make_tuple(true, type, bytesOf(bytes)))
                << below << key << '\\' << name;
        }
    };
    setRaw(subKey + "\\Taken", "Own", REG_SZ, {'t', 0});
    EXPECT_FALSE(CRegistry().RenameKey("New")) << "no key open";
    // the current key, the new name
    const std::vector<std::pair<std::string, std::string>> refused{
        {base + "\\Old", "Taken"},    {base + "\\Old", "taken"}, {base + "\\Old", "Old"},
        {base + "\\Old", ""},         {base + "\\Old", "A\\B"},  {base + "\\Old\\", "C"},
        {"HKEY_CURRENT_USER", "New"},
    };
    for (const auto& [current, newName] : refused) {
        CRegistry registry;
        ASSERT_TRUE(registry.OpenKey(current));
        EXPECT_FALSE(registry.RenameKey(newName)) << current << " -> " << newName;
        EXPECT_EQ(registry.CurrentPath(), current);
    }
    expectTree("\\Old");
    EXPECT_FALSE(CRegistry().KeyExists(base + "\\Taken\\A") || queryRaw(subKey + "\\Taken", "Expand").found)
        << "merged";

    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base + "\\Old"));
    ASSERT_TRUE(registry.RenameKey("New"));
    EXPECT_EQ(std::make_pair(registry.CurrentPath(), registry.CurrentKey()),
              std::make_pair(base + "\\New", "New"s));
    expectTree("\\New");
    EXPECT_FALSE(CRegistry().KeyExists(base + "\\Old"));
#ifndef _WIN32
    ASSERT_TRUE(registry.CreateKey("B\\Locked"));
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, (subKey + "\\New\\B\\Locked").c_str(), TRUE),
              ERROR_SUCCESS);
    EXPECT_FALSE(registry.RenameKey("Old"));
    EXPECT_EQ(registry.CurrentPath(), base + "\\Old");
    expectTree("\\Old");
    expectTree("\\New");
#endif
}

} // namespace
