#include "RegistryFixture.h"

#include <windows.h>

#include <algorithm>

namespace {

using Values = RegistryFixture;

std::string chars(std::initializer_list<int> codes)
{
    std::string text;
    for (int code : codes)
        text.push_back(static_cast<char>(code));
    return text;
}

using K = RegistryValueType;

// What the readers make of one value name. raw: ReadBinary gives the stored bytes, else the empty variant.
struct Reads
{
    bool found;
    K kind;
    int32_t size;
    std::string text;
    int32_t integer;
    bool raw;
    int32_t bigEndian;
};

// GetValueInfo's outputs start as junk it must overwrite, or leave alone when no key is open.
void expectReads(CRegistry& registry, const std::string& name, const Reads& expected,
                 const std::vector<uint8_t>& stored = {})
{
    SCOPED_TRACE(name);
    K kind = K::Binary;
    int32_t size = 12345;
    EXPECT_EQ(registry.GetValueInfo(name, kind, size), expected.found);
    EXPECT_EQ(kind, expected.kind);
    EXPECT_EQ(size, expected.size);
    EXPECT_EQ(registry.ValueExists(name), expected.found);
    EXPECT_EQ(registry.ReadString(name), expected.text);
    EXPECT_EQ(registry.ReadInteger(name), expected.integer);
    EXPECT_EQ(registry.ReadBinary(name), expected.raw ? RegistryVariant(stored) : RegistryVariant());
    EXPECT_EQ(registry.ReadBigEndian(name), expected.bigEndian);
    EXPECT_EQ(registry.ReadEnviromentString(name), "");
}

TEST_F(Values, EachStoredFormReadsAsItsSizeFigureSays)
{
    struct Case
    {
        const char* label;
        DWORD type;
        std::vector<uint8_t> data;
        Reads reads;
    };
    const std::vector<Case> cases{
        {"sz abc", REG_SZ, {'a', 'b', 'c', 0}, {true, K::String, 3, "abc", 0, false, 0}},
        {"sz terminator only", REG_SZ, {0}, {true, K::String, 1, chars({0}), 0, true, 0}},
        {"sz one byte unterminated", REG_SZ, {'x'}, {true, K::String, 1, "x", 'x', true, 'x' << 24}},
        {"sz as WriteString stores empty", REG_SZ, {0, 0}, {true, K::String, 1, chars({0}), 0, false, 0}},
        {"sz no data", REG_SZ, {}, {true, K::String, -1, "", 0, false, 0}},
        {"sz two bytes unterminated", REG_SZ, {'a', 'b'}, {true, K::String, 1, "a", 0, false, 0}},
        {"expand_sz one byte", REG_EXPAND_SZ, {0}, {true, K::EnvironmentString, 0, "", 0, false, 0}},
        {"multi_sz",
         REG_MULTI_SZ,
         {'a', 0, 'b', 0, 0},
         {true, K::String, 4, chars({'a', 0, 'b', 0}), 0, false, 0}},
        {"dword 1", REG_DWORD, {1, 0, 0, 0}, {true, K::Integer, 4, chars({1, 0, 0, 0}), 1, true, 16777216}},
        {"dword big endian 258",
         REG_DWORD_BIG_ENDIAN,
         {0, 0, 1, 2},
         {true, K::BigEndian, 4, chars({0, 0, 1, 2}), 33619968, true, 258}},
        {"binary 1 2 3",
         REG_BINARY,
         {1, 2, 3},
         {true, K::Binary, 3, chars({1, 2, 3}), 197121, true, 16909056}},
        {"link", REG_LINK, {9}, {true, K::Binary, 1, chars({9}), 9, true, 9 << 24}},
        {"resource list",
         REG_RESOURCE_LIST,
         {5, 6},
         {true, K::Binary, 2, chars({5, 6}), 0x0605, true, 0x05060000}},
        {"none empty", REG_NONE, {}, {false, K::Unknown, 0, "", 0, false, 0}},
        {"none 2 bytes", REG_NONE, {7, 8}, {true, K::Unknown, 2, chars({7, 8}), 0x0807, true, 0x07080000}},
        // Longer than the integer: not read at all.
        {"qword",
         REG_QWORD,
         {1, 2, 3, 4, 5, 6, 7, 8},
         {true, K::Unknown, 8, chars({1, 2, 3, 4, 5, 6, 7, 8}), 0, true, 0}},
    };
    for (const Case& c : cases)
        setRaw(baseSubKey, c.label, c.type, c.data);

    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    for (const Case& c : cases)
        expectReads(registry, c.label, c.reads, c.data);
    expectReads(registry, "Missing", {false, K::Unknown, 0, "", 0, false, 0});
    EXPECT_FALSE(registry.ValueExists(""));
}

TEST_F(Values, WithNoKeyOpenEveryOperationFailsAndTouchesNothing)
{
    setRaw(baseSubKey, "Present", REG_DWORD, {1, 0, 0, 0});
    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    ASSERT_TRUE(registry.CloseKey());

    expectReads(registry, "Present", {false, K::Binary, 12345, "", 0, false, 0});
    std::vector<std::string> names{"kept"};
    int32_t count = 42;
    EXPECT_FALSE(registry.EnumerateValues(names, count));
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    EXPECT_EQ(count, 42);

    EXPECT_FALSE(registry.WriteString("x", "New"));
    EXPECT_FALSE(registry.WriteEnvironmentString("x", "New"));
    EXPECT_FALSE(registry.WriteInteger(1, "New"));
    EXPECT_FALSE(registry.WriteBigEndian(1, "New"));
    EXPECT_FALSE(registry.WriteBinary(std::vector<uint8_t>{1}, "New"));
    EXPECT_FALSE(registry.RenameValue("Present", "New"));
    EXPECT_FALSE(registry.DeleteValue("Present"));
    EXPECT_EQ(registry.stringType(), REG_SZ);
    EXPECT_EQ(registry.integerType(), REG_DWORD);

    EXPECT_TRUE(queryRaw(baseSubKey, "Present").found);
    EXPECT_FALSE(queryRaw(baseSubKey, "New").found);
}

TEST_F(Values, EnvironmentReferencesExpandOnlyWhenTheTextIsWrapped)
{
    setEnvironment("DAWDLEX_TEST_FOLDER", "/var/tmp/dawdlex");
    setRaw(baseSubKey, "Wrapped", REG_EXPAND_SZ, bytesOf(std::string("%DAWDLEX_TEST_FOLDER%") + '\0'));
    setRaw(baseSubKey, "Followed", REG_EXPAND_SZ, bytesOf(std::string("%DAWDLEX_TEST_FOLDER%\\dir") + '\0'));
    setRaw(baseSubKey, "Unknown", REG_EXPAND_SZ, bytesOf(std::string("%DAWDLEX_NO_SUCH_VARIABLE%") + '\0'));
    setRaw(baseSubKey, "Percent", REG_EXPAND_SZ, bytesOf(std::string("%") + '\0'));
    setRaw(baseSubKey, "PlainSz", REG_SZ, bytesOf(std::string("%DAWDLEX_TEST_FOLDER%") + '\0'));

    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    EXPECT_EQ(registry.ReadString("Wrapped"), "%DAWDLEX_TEST_FOLDER%");
    EXPECT_EQ(registry.ReadEnviromentString("Wrapped"), "/var/tmp/dawdlex");
    EXPECT_EQ(registry.ReadEnviromentString("Followed"), "");
    EXPECT_EQ(registry.ReadEnviromentString("Unknown"), "%DAWDLEX_NO_SUCH_VARIABLE%");
    EXPECT_EQ(registry.ReadEnviromentString("Percent"), "%");
    // The stored type is not looked at.
    EXPECT_EQ(registry.ReadEnviromentString("PlainSz"), "/var/tmp/dawdlex");
}

TEST_F(Values, EnumerateValuesListsNamesIncludingTheDefaultValue)
{
    makeKey(baseSubKey);
    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    std::vector<std::string> names{"kept"};
    int32_t count = 42;
    EXPECT_FALSE(registry.EnumerateValues(names, count));
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    EXPECT_EQ(count, 42);

    setRaw(baseSubKey, "Second", REG_SZ, {'b', 0});
    setRaw(baseSubKey, "", REG_SZ, {'d', 0});
    setRaw(baseSubKey, "A rather longer value name", REG_DWORD, {1, 0, 0, 0});
    EXPECT_TRUE(registry.EnumerateValues(names, count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(names, valueNamesRaw(baseSubKey));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"", "A rather longer value name", "Second"}));
}

#ifndef _WIN32
TEST_F(Values, AnEntryTheStoreFailsToListIsListedEmpty)
{
    for (const char* name : {"One", "Two", "A rather longer value name", "Four"})
        setRaw(baseSubKey, name, REG_SZ, {'v', 0});
    damageValueOrder("Two");
    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    std::vector<std::string> names;
    int32_t count = 0;
    EXPECT_TRUE(registry.EnumerateValues(names, count));
    EXPECT_EQ(count, 4);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0], "One");
    // The damage is met at the second entry; from then on the store refuses every call.
    for (std::size_t i = 1; i < names.size(); ++i)
        EXPECT_EQ(names[i], "") << i;
}
#endif

} // namespace
