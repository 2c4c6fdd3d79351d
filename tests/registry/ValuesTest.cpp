#include "RegistryFixture.h"

#include <windows.h>

#include <algorithm>
#include <optional>

namespace {

using Values = RegistryFixture;

std::string chars(std::initializer_list<int> codes)
{
    std::string text;
    for (int code : codes)
        text.push_back(static_cast<char>(code));
    return text;
}

TEST_F(Values, EachStoredFormReadsAsItsSizeFigureSays)
{
    struct Case
    {
        const char* label;
        DWORD type;
        std::vector<uint8_t> data;
        RegistryValueType kind;
        int32_t size;
        bool exists;
        std::string text;
        int32_t integer;
        std::optional<std::vector<uint8_t>> binary; // nullopt: the empty variant
        int32_t bigEndian;
    };
    using K = RegistryValueType;
    const std::vector<Case> cases{
        {"sz abc", REG_SZ, bytesOf(chars({'a', 'b', 'c', 0})), K::String, 3, true, "abc", 0, std::nullopt, 0},
        {"sz terminator only", REG_SZ, {0}, K::String, 1, true, chars({0}), 0, std::vector<uint8_t>{0}, 0},
        {"sz one byte unterminated",
         REG_SZ,
         {'x'},
         K::String,
         1,
         true,
         "x",
         'x',
         std::vector<uint8_t>{'x'},
         'x' << 24},
        {"sz as WriteString stores empty",
         REG_SZ,
         {0, 0},
         K::String,
         1,
         true,
         chars({0}),
         0,
         std::nullopt,
         0},
        {"sz no data", REG_SZ, {}, K::String, -1, true, "", 0, std::nullopt, 0},
        {"sz two bytes unterminated", REG_SZ, {'a', 'b'}, K::String, 1, true, "a", 0, std::nullopt, 0},
        {"expand_sz one byte", REG_EXPAND_SZ, {0}, K::EnvironmentString, 0, true, "", 0, std::nullopt, 0},
        {"multi_sz", REG_MULTI_SZ, bytesOf(chars({'a', 0, 'b', 0, 0})), K::String, 4, true,
         chars({'a', 0, 'b', 0}), 0, std::nullopt, 0},
        {"dword 1",
         REG_DWORD,
         {1, 0, 0, 0},
         K::Integer,
         4,
         true,
         chars({1, 0, 0, 0}),
         1,
         std::vector<uint8_t>{1, 0, 0, 0},
         16777216},
        {"dword big endian 258",
         REG_DWORD_BIG_ENDIAN,
         {0, 0, 1, 2},
         K::BigEndian,
         4,
         true,
         chars({0, 0, 1, 2}),
         33619968,
         std::vector<uint8_t>{0, 0, 1, 2},
         258},
        {"binary 1 2 3",
         REG_BINARY,
         {1, 2, 3},
         K::Binary,
         3,
         true,
         chars({1, 2, 3}),
         197121,
         std::vector<uint8_t>{1, 2, 3},
         16909056},
        {"link", REG_LINK, {9}, K::Binary, 1, true, chars({9}), 9, std::vector<uint8_t>{9}, 9 << 24},
        {"resource list",
         REG_RESOURCE_LIST,
         {5, 6},
         K::Binary,
         2,
         true,
         chars({5, 6}),
         0x0605,
         std::vector<uint8_t>{5, 6},
         0x05060000},
        {"none empty", REG_NONE, {}, K::Unknown, 0, false, "", 0, std::nullopt, 0},
        {"none 2 bytes",
         REG_NONE,
         {7, 8},
         K::Unknown,
         2,
         true,
         chars({7, 8}),
         0x0807,
         std::vector<uint8_t>{7, 8},
         0x07080000},
        // Longer than the integer: not read at all.
        {"qword",
         REG_QWORD,
         {1, 2, 3, 4, 5, 6, 7, 8},
         K::Unknown,
         8,
         true,
         chars({1, 2, 3, 4, 5, 6, 7, 8}),
         0,
         std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8},
         0},
    };
    for (const Case& c : cases)
        setRaw(baseSubKey, c.label, c.type, c.data);

    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        RegistryValueType kind = RegistryValueType::Binary;
        int32_t size = 12345;
        EXPECT_EQ(registry.GetValueInfo(c.label, kind, size), c.exists);
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(registry.ValueExists(c.label), c.exists);
        EXPECT_EQ(registry.ReadString(c.label), c.text);
        EXPECT_EQ(registry.ReadInteger(c.label), c.integer);
        const RegistryVariant binary = registry.ReadBinary(c.label);
        if (c.binary) {
            EXPECT_EQ(std::get<std::vector<uint8_t>>(binary), *c.binary);
        } else {
            EXPECT_TRUE(std::holds_alternative<std::monostate>(binary));
        }
        EXPECT_EQ(registry.ReadBigEndian(c.label), c.bigEndian);
        EXPECT_EQ(registry.ReadEnviromentString(c.label), "");
    }
}

TEST_F(Values, AMissingValueGivesTheEmptyResults)
{
    makeKey(baseSubKey);
    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    RegistryValueType kind = RegistryValueType::Binary;
    int32_t size = 7;
    EXPECT_FALSE(registry.GetValueInfo("Missing", kind, size));
    EXPECT_EQ(kind, RegistryValueType::Unknown);
    EXPECT_EQ(size, 0);
    EXPECT_FALSE(registry.ValueExists("Missing"));
    EXPECT_FALSE(registry.ValueExists(""));
    EXPECT_EQ(registry.ReadString("Missing"), "");
    EXPECT_EQ(registry.ReadInteger("Missing"), 0);
    EXPECT_EQ(registry.ReadBigEndian("Missing"), 0);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(registry.ReadBinary("Missing")));
    EXPECT_EQ(registry.ReadEnviromentString("Missing"), "");
}

TEST_F(Values, WithNoKeyOpenEveryOperationFailsAndTouchesNothing)
{
    setRaw(baseSubKey, "Present", REG_DWORD, {1, 0, 0, 0});
    CRegistry registry;
    ASSERT_TRUE(registry.OpenKey(base));
    ASSERT_TRUE(registry.CloseKey());

    RegistryValueType kind = RegistryValueType::Binary;
    int32_t size = 7;
    EXPECT_FALSE(registry.GetValueInfo("Present", kind, size));
    EXPECT_EQ(kind, RegistryValueType::Binary);
    EXPECT_EQ(size, 7);
    std::vector<std::string> names{"kept"};
    int32_t count = 42;
    EXPECT_FALSE(registry.EnumerateValues(names, count));
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    EXPECT_EQ(count, 42);
    EXPECT_FALSE(registry.ValueExists("Present"));
    EXPECT_EQ(registry.ReadString("Present"), "");
    EXPECT_EQ(registry.ReadInteger("Present"), 0);
    EXPECT_EQ(registry.ReadBigEndian("Present"), 0);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(registry.ReadBinary("Present")));
    EXPECT_EQ(registry.ReadEnviromentString("Present"), "");

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

} // namespace
