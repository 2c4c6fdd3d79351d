#include "RegistryFixture.h"

#include <windows.h>
#ifndef _WIN32
#include <winreg_store.h>
#endif

#include <tuple>

namespace {

using Writers = RegistryFixture;

std::vector<uint8_t> textBytes(const std::string& text)
{
    std::vector<uint8_t> bytes = bytesOf(text);
    bytes.push_back(0);
    return bytes;
}

TEST_F(Writers, EachWriterStoresItsTypeAndBytes)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKey(base));
    ASSERT_TRUE(registry.OpenKey(base));
    EXPECT_TRUE(registry.WriteString("abc", "string abc"));
    EXPECT_TRUE(registry.WriteString("", "string empty"));
    EXPECT_TRUE(registry.WriteString({'a', 0, 'b'}, "string with NUL"));
    EXPECT_TRUE(registry.WriteEnvironmentString("TEMP", "environment TEMP"));
    EXPECT_TRUE(registry.WriteInteger(258, "integer 258"));
    EXPECT_TRUE(registry.WriteInteger(-2, "integer -2"));
    EXPECT_TRUE(registry.WriteBigEndian(258, "big endian 258"));
    EXPECT_TRUE(registry.WriteBigEndian(-2, "big endian -2"));
    EXPECT_TRUE(registry.WriteBinary(std::vector<uint8_t>{1, 2, 3}, "binary 1 2 3"));
    // Each override lasts one write.
    EXPECT_EQ(registry.stringType(), REG_SZ);
    EXPECT_EQ(registry.integerType(), REG_DWORD);

    const std::vector<std::tuple<std::string, DWORD, std::vector<uint8_t>>> expected{
        {"string abc", REG_SZ, textBytes("abc")},
        {"string empty", REG_SZ, {0, 0}},
        {"string with NUL", REG_SZ, {'a', 0, 'b', 0}},
        {"environment TEMP", REG_EXPAND_SZ, textBytes("%TEMP%")},
        {"integer 258", REG_DWORD, {2, 1, 0, 0}},
        {"integer -2", REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}},
        {"big endian 258", REG_DWORD_BIG_ENDIAN, {0, 0, 1, 2}},
        {"big endian -2", REG_DWORD_BIG_ENDIAN, {0xFF, 0xFF, 0xFF, 0xFE}},
        {"binary 1 2 3", REG_BINARY, {1, 2, 3}},
    };
    for (const auto& [name, type, data] : expected) {
        SCOPED_TRACE(name);
        const StoredValue stored = queryRaw(baseSubKey, name);
        EXPECT_TRUE(stored.found);
        EXPECT_EQ(stored.type, type);
        EXPECT_EQ(stored.data, data);
    }
}

TEST_F(Writers, TheOverriddenTypeLastsOneWriteAndTheDefaultNameIsTheDefaultValue)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKey(base));
    ASSERT_TRUE(registry.OpenKey(base));
    ASSERT_TRUE(registry.WriteEnvironmentString("X", "Text"));
    ASSERT_TRUE(registry.WriteString("plain", "Text"));
    EXPECT_EQ(queryRaw(baseSubKey, "Text").type, static_cast<DWORD>(REG_SZ));
    ASSERT_TRUE(registry.WriteBigEndian(258, "Number"));
    EXPECT_EQ(registry.ReadBigEndian("Number"), 258);
    EXPECT_EQ(registry.ReadInteger("Number"), 33619968);
    ASSERT_TRUE(registry.WriteInteger(258, "Number"));
    EXPECT_EQ(queryRaw(baseSubKey, "Number").type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(registry.ReadInteger("Number"), 258);

    ASSERT_TRUE(registry.WriteString("default"));
    EXPECT_EQ(queryRaw(baseSubKey, "").data, textBytes("default"));
    EXPECT_EQ(registry.ReadString(), "default");
    EXPECT_TRUE(registry.DeleteValue(""));
    EXPECT_FALSE(registry.DeleteValue(""));
}

TEST_F(Writers, AFailedWriteStillEndsTheOverride)
{
#ifdef _WIN32
    GTEST_SKIP() << "read-only keys are made with the store's own call";
#else
    setRaw(baseSubKey, "Expandable", REG_EXPAND_SZ, textBytes("%X%"));
    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, baseSubKey.c_str(), TRUE), ERROR_SUCCESS);
    EXPECT_FALSE(registry.WriteEnvironmentString("X", "Text"));
    EXPECT_FALSE(registry.WriteBigEndian(1, "Number"));
    EXPECT_FALSE(registry.RenameValue("Expandable", "Copy"));
    EXPECT_TRUE(queryRaw(baseSubKey, "Expandable").found);
    EXPECT_EQ(registry.stringType(), REG_SZ);
    EXPECT_EQ(registry.integerType(), REG_DWORD);
#endif
}

TEST_F(Writers, TextsCrossInTheAnsiCodePageAndComeBackUnchanged)
{
    const std::string text = "\xC3\xA9t\xC3\xA9"; // two accented letters in UTF-8
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKey(base));
    ASSERT_TRUE(registry.OpenKey(base));
    ASSERT_TRUE(registry.WriteString(text, text));
    EXPECT_EQ(registry.ReadString(text), text);
    std::vector<std::string> names;
    int32_t count = 0;
    ASSERT_TRUE(registry.EnumerateValues(names, count));
    EXPECT_EQ(names, std::vector<std::string>{text});
#ifndef _WIN32
    // Our store's code page is UTF-8 itself.
    EXPECT_EQ(queryRaw(baseSubKey, text).data, textBytes(text));
#endif
}

TEST_F(Writers, EnvironmentTextsAreWrappedUnlessAlreadyWrapped)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", "%%"}, {"TEMP", "%TEMP%"}, {"%X%", "%X%"}, {"%", "%"}, {"%X", "%%X%"}, {"X%", "%X%%"},
    };
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKey(base));
    ASSERT_TRUE(registry.OpenKey(base));
    for (const auto& [given, stored] : cases) {
        SCOPED_TRACE(given);
        ASSERT_TRUE(registry.WriteEnvironmentString(given, "Env"));
        const StoredValue value = queryRaw(baseSubKey, "Env");
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_EXPAND_SZ));
        EXPECT_EQ(value.data, textBytes(stored));
    }
}

TEST_F(Writers, WriteBinaryTakesOnlyANonEmptyByteArray)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKey(base));
    ASSERT_TRUE(registry.OpenKey(base));
    const std::vector<RegistryVariant> refused{std::string("text"), int32_t{7}, RegistryVariant{},
                                               std::vector<uint8_t>{}};
    for (const RegistryVariant& data : refused) {
        SCOPED_TRACE(data.index());
        EXPECT_FALSE(registry.WriteBinary(data, "Bytes"));
        EXPECT_FALSE(queryRaw(baseSubKey, "Bytes").found);
    }
    // What ReadBinary returns goes straight back in.
    ASSERT_TRUE(registry.WriteBinary(std::vector<uint8_t>{0, 255, 0}, "Bytes"));
    ASSERT_TRUE(registry.WriteBinary(registry.ReadBinary("Bytes"), "Copy"));
    EXPECT_EQ(queryRaw(baseSubKey, "Copy").data, (std::vector<uint8_t>{0, 255, 0}));
}

TEST_F(Writers, RenameValueCopiesEachKindThroughTheClassWriters)
{
    struct Case
    {
        const char* label;
        DWORD type;
        std::vector<uint8_t> data;
        bool renamed;
        DWORD newType;
        std::vector<uint8_t> newData;
    };
    const std::vector<Case> cases{
        {"sz", REG_SZ, textBytes("abc"), true, REG_SZ, textBytes("abc")},
        {"sz empty", REG_SZ, {0}, true, REG_SZ, {0, 0}},
        {"expand_sz", REG_EXPAND_SZ, textBytes("%PATH%"), true, REG_EXPAND_SZ, textBytes("%PATH%")},
        {"multi_sz", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}, true, REG_SZ, {'a', 0, 'b', 0, 0}},
        {"dword", REG_DWORD, {1, 2, 3, 4}, true, REG_DWORD, {1, 2, 3, 4}},
        {"big endian", REG_DWORD_BIG_ENDIAN, {0, 0, 1, 2}, true, REG_DWORD_BIG_ENDIAN, {0, 0, 1, 2}},
        {"binary", REG_BINARY, {1, 2, 3}, true, REG_BINARY, {1, 2, 3}},
        {"link", REG_LINK, {1, 2}, true, REG_BINARY, {1, 2}},
        {"binary without data", REG_BINARY, {}, false, 0, {}},
        {"none with data", REG_NONE, {1, 2}, false, 0, {}},
        {"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}, false, 0, {}},
    };
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKey(base));
    ASSERT_TRUE(registry.OpenKey(base));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string newName = std::string(c.label) + " renamed";
        setRaw(baseSubKey, c.label, c.type, c.data);
        EXPECT_EQ(registry.RenameValue(c.label, newName), c.renamed);
        const StoredValue old = queryRaw(baseSubKey, c.label);
        const StoredValue copy = queryRaw(baseSubKey, newName);
        EXPECT_EQ(old.found, !c.renamed);
        EXPECT_EQ(copy.found, c.renamed);
        if (c.renamed) {
            EXPECT_EQ(copy.type, c.newType);
            EXPECT_EQ(copy.data, c.newData);
        } else {
            EXPECT_EQ(old.data, c.data);
        }
        EXPECT_EQ(registry.stringType(), REG_SZ);
        EXPECT_EQ(registry.integerType(), REG_DWORD);
    }
}

TEST_F(Writers, RenameValueNeverOverwritesAndNeedsAnOldValue)
{
    setRaw(baseSubKey, "Old", REG_SZ, textBytes("old"));
    setRaw(baseSubKey, "Taken", REG_DWORD, {9, 0, 0, 0});
    setRaw(baseSubKey, "Hollow", REG_NONE, {});
    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    EXPECT_FALSE(registry.RenameValue("Old", "Taken"));
    EXPECT_FALSE(registry.RenameValue("Old", "Old"));
    EXPECT_FALSE(registry.RenameValue("Old", "old"));
    EXPECT_FALSE(registry.RenameValue("Missing", "Fresh"));
    EXPECT_EQ(queryRaw(baseSubKey, "Old").data, textBytes("old"));
    EXPECT_EQ(queryRaw(baseSubKey, "Taken").data, (std::vector<uint8_t>{9, 0, 0, 0}));
    EXPECT_FALSE(queryRaw(baseSubKey, "Fresh").found);

    // A REG_NONE value without data does not count as a value, so it is overwritten.
    EXPECT_TRUE(registry.RenameValue("Old", "Hollow"));
    EXPECT_EQ(queryRaw(baseSubKey, "Hollow").type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(queryRaw(baseSubKey, "Hollow").data, textBytes("old"));
    EXPECT_FALSE(queryRaw(baseSubKey, "Old").found);
}

TEST_F(Writers, RenameValueFailsWhenTheOldValueCannotBeDeleted)
{
#ifdef _WIN32
    GTEST_SKIP() << "the damage is done to our own store's file";
#else
    setRaw(baseSubKey, "Old", REG_SZ, textBytes("old"));
    setRaw(baseSubKey, "Other", REG_SZ, textBytes("other"));
    // Reading the value and writing the copy do not meet this damage; removing the old value does.
    damageValueOrder("Old");
    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    EXPECT_FALSE(registry.RenameValue("Old", "New"));
    // The store refuses every call once it has met damage, until it is opened again.
    RegStoreClose();
    EXPECT_EQ(queryRaw(baseSubKey, "Old").data, textBytes("old"));
    EXPECT_EQ(queryRaw(baseSubKey, "New").data, textBytes("old"));
#endif
}

} // namespace
