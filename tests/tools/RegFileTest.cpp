// The .reg grammar without a store: file encodings, the parser's operations and errors, the writer's text.
#include "RegFileParser.h"
#include "RegFileWriter.h"
#include "Text.h"

#include <gtest/gtest.h>

using namespace dawdlex::regtool;
using namespace std::string_literals;
using Kind = RegOperation::Kind;

namespace {

std::string repeat(int times, const std::string& text)
{
    std::string out;
    while (times-- > 0)
        out += text;
    return out;
}

} // namespace

TEST(RegFileText, DecodesEachFileEncoding)
{
    struct Row
    {
        std::string bytes;
        std::string text; // "" when the file is refused
        FileEncoding encoding;
    };
    const std::string text = "REGEDIT4\r\n\"\xC3\xA9\xF0\x9F\x98\x80\"";
    const std::string utf16 = utf16LeBytes(utf8ToUtf16(text));
    const Row rows[] = {
        {"\xFF\xFE" + utf16, text, FileEncoding::Utf16Le},
        {utf16, text, FileEncoding::Utf16Le},
        {"\xEF\xBB\xBF" + text, text, FileEncoding::Utf8},
        {text, text, FileEncoding::Utf8},
        // Windows-1252, both ends of its 0x80..0x9F block included.
        {"R\x80\x8A\x9C\x9F\xE9\xFF", "R\xE2\x82\xAC\xC5\xA0\xC5\x93\xC5\xB8\xC3\xA9\xC3\xBF",
         FileEncoding::Ansi},
        {"\xFF\xFEW\0R"s, "", FileEncoding::Utf16Le},
    };
    for (const Row& row : rows) {
        std::string decoded;
        std::string error;
        FileEncoding encoding = FileEncoding::Ansi;
        EXPECT_EQ(decodeRegFileBytes(row.bytes, decoded, encoding, error), !row.text.empty()) << row.text;
        EXPECT_EQ(decoded, row.text);
        EXPECT_EQ(encoding, row.text.empty() ? FileEncoding::Ansi : row.encoding) << row.text;
    }
}

TEST(RegFileParser, ReadsEachKindOfLine)
{
    struct Row
    {
        std::string lines; // in a 5.00 file, after the key [HKCU\A]
        Kind kind;
        std::string key;
        RegValue value;
    };
    const std::string a = "HKEY_CURRENT_USER\\A";
    const Row rows[] = {
        {"@=\"def\" ; a comment", Kind::SetValue, a, {"", REG_SZ, "def\0"s}},
        {" \"a \\\"q\\\" \\\\ b\" = \"x\\\\y\\\"z\\n\"",
         Kind::SetValue,
         a,
         {"a \"q\" \\ b", REG_SZ, "x\\y\"z\n\0"s}},
        {"\"d\"=dword:0000001F", Kind::SetValue, a, {"d", REG_DWORD, "\x1F\0\0\0"s}},
        {"\"h\"=hex:01,02,\\\r\n  ff  ,\\\r\n  10", Kind::SetValue, a, {"h", REG_BINARY, "\1\2\xFF\x10"}},
        {"\"e\"=hex(2):41,00,e9,00,00,00", Kind::SetValue, a, {"e", REG_EXPAND_SZ, "A\xC3\xA9\0"s}},
        // An odd trailing byte of UTF-16 text is kept as it stands.
        {"\"o\"=hex(1):41,00,42", Kind::SetValue, a, {"o", REG_SZ, "AB"}},
        {"\"q\"=HEX(b):01,00,00,00,00,00,00,80", Kind::SetValue, a, {"q", REG_QWORD, "\1\0\0\0\0\0\0\x80"s}},
        {"\"gone\"=-", Kind::DeleteValue, a, {"gone", REG_NONE, ""}},
        {"[-HKEY_CURRENT_USER\\Old]", Kind::DeleteKey, "HKEY_CURRENT_USER\\Old", {}},
        {"  [hkcu\\\\New\\]  ", Kind::CreateKey, "HKEY_CURRENT_USER\\New", {}},
    };
    for (const Row& row : rows) {
        std::vector<RegOperation> ops;
        RegFileError error;
        const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\A]\n" + row.lines + "\n";
        ASSERT_TRUE(parseRegFile(text, ops, error)) << row.lines << ": " << error.message;
        EXPECT_EQ(ops.back().kind, row.kind) << row.lines;
        EXPECT_EQ(ops.back().key.text(), row.key) << row.lines;
        EXPECT_EQ(ops.back().value, row.value) << row.lines;
        EXPECT_EQ(ops.back().line, 4u) << row.lines;
    }
    // A REGEDIT4 file's string data is taken as it stands.
    std::vector<RegOperation> ops;
    RegFileError error;
    ASSERT_TRUE(parseRegFile("REGEDIT4\n[HKCU\\A]\n\"e\"=hex(2):41,e9,00\n", ops, error));
    EXPECT_EQ(ops.back().value, (RegValue{"e", REG_EXPAND_SZ, "A\xE9\0"s}));
}

TEST(RegFileParser, NamesTheLineOfEachMistake)
{
    struct Row
    {
        std::string text; // after "REGEDIT4\n[HKCU\A]\n"
        std::size_t line;
        const char* message;
    };
    const Row rows[] = {
        {"\"abc=x", 3, "unterminated"},
        {"\"a\"=\"x\\\"", 3, "unterminated"},
        {"\"a\"=hex:0g,12", 3, "bad hex"},
        {"\"a\"=hex:12 34", 3, "bad hex"},
        {"\"a\"=hex:12,\\\n  34,\\\n  zz", 5, "bad hex"},
        {"\"a\"=hex(q):00", 3, "hex(N)"},
        {"\"a\"=dword:123456789", 3, "dword"},
        {"\"a\" \"b\"", 3, "'='"},
        {"\n[HKEY_NOWHERE\\A]", 4, "unknown root key \"HKEY_NOWHERE\""},
        {"[HKCU\\B] x", 3, "after ']'"},
        {"[-HKEY_CURRENT_USER]", 3, "root key cannot be deleted"},
        {"[-HKCU\\B]\n\"a\"=\"b\"", 4, "[-key]"},
        {"name=value", 3, "unrecognised line"},
        // The store counts bytes: 256 one-byte or 128 two-byte characters are one too many.
        {"[HKCU\\" + repeat(256, "k") + "]", 3, "255"},
        {"[HKCU\\" + repeat(128, "\xC3\xA9") + "]", 3, "255"},
        // The registry calls would cut a name at the NUL and write where the file did not say.
        {"[HKCU\\A\0B]"s, 3, "NUL"},
        {"\"v\0w\"=\"x\""s, 3, "NUL"},
    };
    for (const Row& row : rows) {
        std::vector<RegOperation> ops;
        RegFileError error;
        EXPECT_FALSE(parseRegFile("REGEDIT4\n[HKCU\\A]\n" + row.text + "\n", ops, error)) << row.text;
        EXPECT_EQ(error.line, row.line) << row.text << ": " << error.message;
        EXPECT_NE(error.message.find(row.message), std::string::npos) << row.text << ": " << error.message;
    }
}

TEST(RegFileWriter, WritesEachValueAsWindowsDoes)
{
    struct Row
    {
        RegValue value;
        std::string text;
    };
    const Row rows[] = {
        {{"", REG_SZ, "def\0"s}, "@=\"def\""},
        {{"q\"b\\=", REG_SZ, "C:\\x \"y\"\0"s}, "\"q\\\"b\\\\=\"=\"C:\\\\x \\\"y\\\"\""},
        {{"n", REG_DWORD, "\x78\x56\x34\x12"}, "\"n\"=dword:12345678"},
        {{"short", REG_DWORD, "\1\2"}, "\"short\"=hex(4):01,02"},
        {{"b", REG_BINARY, ""}, "\"b\"=hex:"},
        {{"odd", 0x12345, "x"}, "\"odd\"=hex(12345):78"},
        // Texts that cannot go between quotes are UTF-16LE hex.
        {{"raw", REG_SZ, "ab"}, "\"raw\"=hex(1):61,00,62,00"},
        {{"nl", REG_SZ, "a\nb\0"s}, "\"nl\"=hex(1):61,00,0a,00,62,00,00,00"},
        {{"e", REG_EXPAND_SZ, "\xC3\xA9\0"s}, "\"e\"=hex(2):e9,00,00,00"},
        // Hex lines end at column 80 at most, their backslash included; a long name gets one byte.
        {{"nn", REG_BINARY, repeat(24, "Z")}, "\"nn\"=hex:" + repeat(23, "5a,") + "5a"},
        {{"nnn", REG_BINARY, repeat(24, "Z")}, "\"nnn\"=hex:" + repeat(23, "5a,") + "\\\r\n  5a"},
        {{"n", REG_BINARY, repeat(50, "Z")},
         "\"n\"=hex:" + repeat(23, "5a,") + "\\\r\n  " + repeat(25, "5a,") + "\\\r\n  5a,5a"},
        {{repeat(80, "n"), REG_NONE, "ZZ"}, "\"" + repeat(80, "n") + "\"=hex(0):5a,\\\r\n  5a"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(formatValue(row.value), row.text) << row.value.name;
    }
    EXPECT_EQ(encodeRegFile("W\xC3\xA9"), "\xFF\xFEW\0\xE9\0"s);
}
