// The .reg text format without a store: encodings, the parser's operations and errors, the writer's lines.
#include "RegFileParser.h"
#include "RegFileWriter.h"
#include "Text.h"

#include <gtest/gtest.h>

using namespace dawdlex::regtool;

namespace {

std::vector<RegOperation> parseOk(const std::string& text)
{
    std::vector<RegOperation> operations;
    RegFileError error;
    EXPECT_TRUE(parseRegFile(text, operations, error)) << "line " << error.line << ": " << error.message;
    return operations;
}

std::string bytes(std::initializer_list<unsigned> list)
{
    std::string out;
    for (const unsigned b : list)
        out += static_cast<char>(b);
    return out;
}

} // namespace

TEST(RegFileText, Utf8SurvivesUtf16ByteForByteEvenWhenInvalid)
{
    const std::string cases[] = {"plain",
                                 "Gr\xC3\xBC\xC3\x9F"
                                 "e",
                                 "\xF0\x9F\x98\x80 emoji",
                                 "\xFF\xFE lone",
                                 "cut \xC3",
                                 "\xED\xA0\x80 surrogate",
                                 "\xC0\xAF overlong",
                                 std::string("nul\0in", 6),
                                 ""};
    for (const std::string& text : cases) {
        EXPECT_EQ(utf16ToUtf8(utf16LeFromBytes(utf16LeBytes(utf8ToUtf16(text)))), text) << text;
    }
    EXPECT_EQ(utf8ToUtf16("\xC3\xA9\xF0\x9F\x98\x80"), (std::u16string{0xE9, 0xD83D, 0xDE00}));
    EXPECT_EQ(utf8ToUtf16("\xFF"), std::u16string(1, char16_t(0xDCFF)));
    // A lone high surrogate from a Windows file has no UTF-8 form.
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD800, 'a'}), "\xEF\xBF\xBD"
                                                        "a");
}

TEST(RegFileText, DecodesEachFileEncoding)
{
    struct Case
    {
        const char* what;
        std::string bytes;
        FileEncoding encoding;
    };
    const std::string text = "REGEDIT4\r\n\"\xC3\xA9\"";
    const Case cases[] = {
        {"UTF-16LE with mark", "\xFF\xFE" + utf16LeBytes(utf8ToUtf16(text)), FileEncoding::Utf16Le},
        {"UTF-16LE without mark", utf16LeBytes(utf8ToUtf16(text)), FileEncoding::Utf16Le},
        {"UTF-8 with mark", "\xEF\xBB\xBF" + text, FileEncoding::Utf8},
        {"UTF-8", text, FileEncoding::Utf8},
        {"ANSI", "REGEDIT4\r\n\"\xE9\"", FileEncoding::Ansi},
    };
    for (const Case& c : cases) {
        std::string decoded;
        std::string error;
        FileEncoding encoding = FileEncoding::Utf8;
        ASSERT_TRUE(decodeRegFileBytes(c.bytes, decoded, encoding, error)) << c.what;
        EXPECT_EQ(decoded, text) << c.what;
        EXPECT_EQ(encoding, c.encoding) << c.what;
    }
    std::string decoded;
    std::string error;
    FileEncoding encoding = FileEncoding::Utf8;
    EXPECT_FALSE(decodeRegFileBytes("\xFF\xFEW\0R", decoded, encoding, error));
    EXPECT_FALSE(error.empty());
}

TEST(RegFileParser, ReadsEveryKindOfLine)
{
    const std::vector<RegOperation> ops = parseOk("\r\n"
                                                  "Windows Registry Editor Version 5.00\r\n"
                                                  "; a comment\r\n"
                                                  "\r\n"
                                                  "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
                                                  "  [HKCU\\Software\\\\New\\]  \r\n"
                                                  "@=\"def\"\r\n"
                                                  "\"a \\\"q\\\" \\\\ b\" = \"x\\\\y\\\"z\\n\" ; trailing\r\n"
                                                  "\"d\"=dword:0000001F\r\n"
                                                  "\"h\"=hex:01,02,\\\r\n"
                                                  "  ff  ,\\\r\n"
                                                  "  10\r\n"
                                                  "\"e\"=hex(2):41,00,e9,00,00,00\r\n"
                                                  "\"q\"=HEX(b):01,00,00,00,00,00,00,00\r\n"
                                                  "\"empty\"=hex:\r\n"
                                                  "\"gone\"=-\r\n");
    ASSERT_EQ(ops.size(), 10u);
    EXPECT_EQ(ops[0].kind, RegOperation::Kind::DeleteKey);
    EXPECT_EQ(ops[0].key.text(), "HKEY_CURRENT_USER\\Software\\Old");
    EXPECT_EQ(ops[0].line, 5u);
    EXPECT_EQ(ops[1].kind, RegOperation::Kind::CreateKey);
    EXPECT_EQ(ops[1].key.text(), "HKEY_CURRENT_USER\\Software\\New");
    const RegValue expected[] = {
        {"", REG_SZ, std::string("def\0", 4)},
        {"a \"q\" \\ b", REG_SZ, std::string("x\\y\"z\n\0", 7)},
        {"d", REG_DWORD, bytes({0x1F, 0, 0, 0})},
        {"h", REG_BINARY, bytes({1, 2, 0xFF, 0x10})},
        {"e", REG_EXPAND_SZ, std::string("A\xC3\xA9\0", 4)},
        {"q", REG_QWORD, bytes({1, 0, 0, 0, 0, 0, 0, 0})},
        {"empty", REG_BINARY, ""},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(ops[2 + i].kind, RegOperation::Kind::SetValue) << i;
        EXPECT_EQ(ops[2 + i].value, expected[i]) << "value " << expected[i].name;
        EXPECT_EQ(ops[2 + i].key.text(), "HKEY_CURRENT_USER\\Software\\New");
    }
    EXPECT_EQ(ops[9].kind, RegOperation::Kind::DeleteValue);
    EXPECT_EQ(ops[9].value.name, "gone");
}

TEST(RegFileParser, Regedit4TakesStringHexDataAsItStands)
{
    const std::vector<RegOperation> ops =
        parseOk("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\X]\n\"e\"=hex(2):41,42,00\n");
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[1].value, (RegValue{"e", REG_EXPAND_SZ, std::string("AB\0", 3)}));
    EXPECT_EQ(ops[1].key.root, HKEY_LOCAL_MACHINE);
}

TEST(RegFileParser, NamesTheLineOfEachMistake)
{
    struct Case
    {
        const char* what;
        const char* text;
        std::size_t line;
        const char* message;
    };
    const Case cases[] = {
        {"bad header", "\nREGEDIT5\n", 2, "first line"},
        {"empty file", "  \r\n\r\n", 0, "empty"},
        {"unterminated name", "REGEDIT4\n[HKCU\\A]\n\"abc=x\n", 3, "unterminated"},
        {"unterminated data", "REGEDIT4\n[HKCU\\A]\n\"a\"=\"x\\\"\n", 3, "unterminated"},
        {"bad hex digit", "REGEDIT4\n[HKCU\\A]\n\"a\"=hex:0g,12\n", 3, "bad hex"},
        {"three digits", "REGEDIT4\n[HKCU\\A]\n\"a\"=hex:123\n", 3, "bad hex"},
        {"missing comma", "REGEDIT4\n[HKCU\\A]\n\"a\"=hex:12 34\n", 3, "bad hex"},
        {"bad hex on a continuation line", "REGEDIT4\n[HKCU\\A]\n\"a\"=hex:12,\\\n  34,\\\n  zz\n", 5,
         "bad hex"},
        {"bad type", "REGEDIT4\n[HKCU\\A]\n\"a\"=hex(q):00\n", 3, "hex(N)"},
        {"long dword", "REGEDIT4\n[HKCU\\A]\n\"a\"=dword:123456789\n", 3, "dword"},
        {"empty dword", "REGEDIT4\n[HKCU\\A]\n\"a\"=dword:\n", 3, "dword"},
        {"unknown data", "REGEDIT4\n[HKCU\\A]\n\"a\"=word:1\n", 3, "unrecognised value data"},
        {"no equals", "REGEDIT4\n[HKCU\\A]\n\"a\" \"b\"\n", 3, "'='"},
        {"text after string", "REGEDIT4\n[HKCU\\A]\n\"a\"=\"b\" c\n", 3, "after the closing"},
        {"unknown root", "REGEDIT4\n\n[HKEY_NOWHERE\\A]\n", 3, "unknown root key \"HKEY_NOWHERE\""},
        {"missing bracket", "REGEDIT4\n[HKCU\\A]\n[HKCU\\B\n", 3, "missing ']'"},
        {"text after bracket", "REGEDIT4\n[HKCU\\A] x\n", 2, "after ']'"},
        {"root deleted", "REGEDIT4\n[-HKEY_CURRENT_USER]\n", 2, "root key cannot be deleted"},
        {"value before key", "REGEDIT4\n\"a\"=\"b\"\n", 2, "before any [key]"},
        {"value after deletion", "REGEDIT4\n[-HKCU\\A]\n\"a\"=\"b\"\n", 3, "[-key]"},
        {"stray line", "REGEDIT4\n[HKCU\\A]\nname=value\n", 3, "unrecognised line"},
        {"key name too long", nullptr, 2, "255"},
        // The store counts bytes: 128 two-byte characters are too many.
        {"key name too long in bytes", nullptr, 2, "255"},
    };
    for (const Case& c : cases) {
        const std::string longName = c.what == std::string("key name too long") ? std::string(256, 'k') : [] {
            std::string name;
            for (int i = 0; i < 128; ++i)
                name += "\xC3\xA9";
            return name;
        }();
        const std::string text = c.text != nullptr ? c.text : "REGEDIT4\n[HKCU\\" + longName + "]\n";
        std::vector<RegOperation> operations;
        RegFileError error;
        EXPECT_FALSE(parseRegFile(text, operations, error)) << c.what;
        EXPECT_EQ(error.line, c.line) << c.what << ": " << error.message;
        EXPECT_NE(error.message.find(c.message), std::string::npos) << c.what << ": " << error.message;
    }
    // The registry calls would cut a key path or value name at the NUL and write where the file did not say.
    using namespace std::string_literals;
    for (const std::string& text : {"REGEDIT4\n[HKCU\\A\0B]\n"s, "REGEDIT4\n[HKCU\\A]\n\"v\0w\"=\"x\"\n"s}) {
        std::vector<RegOperation> operations;
        RegFileError error;
        EXPECT_FALSE(parseRegFile(text, operations, error));
        EXPECT_NE(error.message.find("NUL"), std::string::npos) << error.message;
        EXPECT_EQ(error.line, text.find('"') == std::string::npos ? 2U : 3U) << error.message;
    }
}

TEST(RegFileWriter, WritesEachValueAsWindowsDoes)
{
    struct Case
    {
        RegValue value;
        std::string line;
    };
    const Case cases[] = {
        {{"", REG_SZ, std::string("def\0", 4)}, "@=\"def\""},
        {{"q\"b\\=", REG_SZ, std::string("C:\\x \"y\"\0", 9)}, "\"q\\\"b\\\\=\"=\"C:\\\\x \\\"y\\\"\""},
        {{"n", REG_DWORD, bytes({0x78, 0x56, 0x34, 0x12})}, "\"n\"=dword:12345678"},
        {{"short", REG_DWORD, bytes({1, 2})}, "\"short\"=hex(4):01,02"},
        {{"b", REG_BINARY, ""}, "\"b\"=hex:"},
        {{"none", REG_NONE, bytes({0xAB})}, "\"none\"=hex(0):ab"},
        {{"q", REG_QWORD, bytes({1, 0, 0, 0, 0, 0, 0, 0})}, "\"q\"=hex(b):01,00,00,00,00,00,00,00"},
        {{"raw", REG_SZ, "ab"}, "\"raw\"=hex(1):61,00,62,00"},
        {{"nl", REG_SZ, std::string("a\nb\0", 4)}, "\"nl\"=hex(1):61,00,0a,00,62,00,00,00"},
        {{"e", REG_EXPAND_SZ, std::string("\xC3\xA9\0", 3)}, "\"e\"=hex(2):e9,00,00,00"},
        {{"odd", 0x12345, "x"}, "\"odd\"=hex(12345):78"},
        {{"line\nbreak", REG_SZ, std::string("\0", 1)}, "\"line\\nbreak\"=\"\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatValue(c.value), c.line) << c.value.name;
}

TEST(RegFileWriter, WrapsLongHexAtEightyColumnsAndReadsItBack)
{
    for (const std::size_t nameLength : {1u, 20u, 75u, 100u}) {
        RegValue value{std::string(nameLength, 'n'), REG_BINARY, std::string(300, '\x5A')};
        const std::string text = formatValue(value);
        std::size_t start = 0;
        std::size_t lines = 0;
        while (start <= text.size()) {
            std::size_t end = text.find("\r\n", start);
            const std::string line = text.substr(start, end == std::string::npos ? end : end - start);
            if (lines > 0) {
                EXPECT_EQ(line.substr(0, 2), "  ");
            }
            if (end != std::string::npos) {
                EXPECT_EQ(line.substr(line.size() - 2), ",\\");
            }
            if (line.size() > 80) { // only a first line whose name alone is too long, with one byte
                EXPECT_EQ(lines, 0u);
                EXPECT_TRUE(line.ends_with("=hex:5a,\\")) << line;
            }
            ++lines;
            if (end == std::string::npos)
                break;
            start = end + 2;
        }
        EXPECT_GT(lines, 3u);
        const std::vector<RegOperation> ops = parseOk("REGEDIT4\r\n[HKCU\\A]\r\n" + text + "\r\n");
        ASSERT_EQ(ops.size(), 2u);
        EXPECT_EQ(ops[1].value, value);
    }
}

TEST(RegFileWriter, FormatsTheFileAndRefusesKeyNamesWithLineBreaks)
{
    RegistryPath path;
    std::string error;
    ASSERT_TRUE(parseRegistryPath("HKCU\\A", path, error));
    std::string text;
    ASSERT_TRUE(formatRegFile({{path, {{"v", REG_SZ, std::string("1\0", 2)}}}}, text, error));
    EXPECT_EQ(text,
              "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"1\"\r\n\r\n");
    EXPECT_EQ(encodeRegFile("W\xC3\xA9"), bytes({0xFF, 0xFE, 'W', 0, 0xE9, 0}));
    path.components.push_back("bad\nname");
    EXPECT_FALSE(formatRegFile({{path, {}}}, text, error));
    EXPECT_NE(error.find("line break"), std::string::npos);
}
