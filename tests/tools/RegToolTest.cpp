// dawdlex-reg: the .reg grammar without a store; then, against a fresh store per test, the command line's
// rows of arguments with their exit status, output and effect on the store, names as the store folds them,
// a round trip, imports undone when they fail or are stopped, an export that runs out of room, and the
// real executable stopped by Ctrl-C.
#include "FreshRegistry.h"
#include "RegCommand.h"
#include "RegExporter.h"
#include "RegFileParser.h"
#include "RegFileWriter.h"
#include "RegImporter.h"
#include "Text.h"

#include <winreg_store.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace dawdlex::regtool;
using namespace std::string_literals;

namespace {

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Dawdlex";

std::string repeat(int times, const std::string& text)
{
    std::string out;
    while (times-- > 0)
        out += text;
    return out;
}

RegistryPath path(const std::string& text)
{
    RegistryPath parsed;
    std::string error;
    EXPECT_TRUE(parseRegistryPath(text, parsed, error)) << error;
    return parsed;
}

void setValue(const std::string& key, const RegValue& value)
{
    dawdlex::RegKey handle;
    ASSERT_EQ(handle.create(path(key).root, path(key).subkey()), ERROR_SUCCESS) << key;
    ASSERT_EQ(writeValue(handle.get(), value), ERROR_SUCCESS) << value.name;
}

// The key and everything below it as an export writes it; "" when the key does not exist.
std::string dump(const std::string& key = "HKCU")
{
    std::vector<ExportedKey> keys;
    std::string text;
    std::string error;
    if (RegExporter().collect(path(key), keys) != ERROR_SUCCESS || !formatRegFile(keys, text, error))
        return {};
    return text;
}

std::string readFile(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ToolRun
{
    int status = -1;
    std::string out; // questions, output and errors, in that order
};

// Runs the command in this process; `answer` answers its questions, none meaning no terminal to ask on.
ToolRun reg(const std::vector<std::string>& arguments, std::optional<bool> answer = {})
{
    std::ostringstream out;
    std::ostringstream err;
    const auto ask = [&](const std::string& question) {
        out << question;
        return answer;
    };
    Console console{out, err, ask, false};
    const int status = RegCommand(console).run(arguments);
    return {status, out.str() + err.str()};
}

} // namespace

TEST(RegFileParser, ReadsEachKindOfLineOrNamesTheLineOfItsMistake)
{
    struct Row
    {
        std::string text; // after a 5.00 header and the line [HKCU\A]
        std::size_t line;
        RegValue value;
        const char* mistake = nullptr;
    };
    const Row rows[] = {
        {" \"a \\\"q\\\" \\\\ b\" = \"x\\\\y\\\"z\\n\"", 3, {"a \"q\" \\ b", REG_SZ, "x\\y\"z\n\0"s}},
        {"\"d\"=dword:0000001F", 3, {"d", REG_DWORD, "\x1F\0\0\0"s}},
        {"\"h\"=hex:01,02,\\\r\n  ff  ,\\\r\n  10", 3, {"h", REG_BINARY, "\1\2\xFF\x10"}},
        {"\"e\"=hex(2):41,00,e9,00,00,00", 3, {"e", REG_EXPAND_SZ, "A\xC3\xA9\0"s}},
        // An odd trailing byte of UTF-16 text is kept as it stands.
        {"\"o\"=hex(1):41,00,42", 3, {"o", REG_SZ, "AB"}},
        {"\"abc=x", 3, {}, "unterminated"},
        {"\"a\"=hex:0g,12", 3, {}, "bad hex"},
        {"\"a\"=hex:12,\\\n  34,\\\n  zz", 5, {}, "bad hex"},
        {"\"a\"=dword:123456789", 3, {}, "dword"},
        {"\n[HKEY_NOWHERE\\A]", 4, {}, "unknown root key \"HKEY_NOWHERE\""},
        {"[-HKEY_CURRENT_USER]", 3, {}, "root key cannot be deleted"},
        {"[-HKCU\\B]\n\"a\"=\"b\"", 4, {}, "[-key]"},
        // The store counts bytes: 256 one-byte or 128 two-byte characters are one too many.
        {"[HKCU\\" + repeat(255, "k") + "]\n[HKCU\\" + repeat(256, "k") + "]", 4, {}, "255 bytes"},
        {"[HKCU\\" + repeat(128, "\xC3\xA9") + "]", 3, {}, "255 bytes"},
        // The registry calls would cut a name at the NUL and write where the file did not say.
        {"[HKCU\\A\0B]"s, 3, {}, "NUL"},
        {"\"v\0w\"=\"x\""s, 3, {}, "NUL"},
    };
    for (const Row& row : rows) {
        std::vector<RegOperation> ops;
        RegFileError error;
        const std::string text = "Windows Registry Editor Version 5.00\r\n[HKCU\\A]\n" + row.text + "\n";
        ASSERT_EQ(parseRegFile(text, ops, error), row.mistake == nullptr)
            << row.text << ": " << error.message;
        EXPECT_EQ(row.mistake ? error.line : ops.back().line, row.line) << row.text;
        if (row.mistake) {
            EXPECT_NE(error.message.find(row.mistake), std::string::npos)
                << row.text << ": " << error.message;
        } else {
            EXPECT_EQ(ops.back().value, row.value) << row.text;
        }
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
        // Texts that cannot go between quotes are UTF-16LE hex.
        {{"raw", REG_SZ, "ab"}, "\"raw\"=hex(1):61,00,62,00"},
        {{"e", REG_EXPAND_SZ, "\xC3\xA9\0"s}, "\"e\"=hex(2):e9,00,00,00"},
        // Hex lines end at column 80 at most, their backslash included; a long name gets one byte.
        {{"nn", REG_BINARY, repeat(24, "Z")}, "\"nn\"=hex:" + repeat(23, "5a,") + "5a"},
        {{"nnn", REG_BINARY, repeat(24, "Z")}, "\"nnn\"=hex:" + repeat(23, "5a,") + "\\\r\n  5a"},
        {{"n", REG_BINARY, repeat(50, "Z")},
         "\"n\"=hex:" + repeat(23, "5a,") + "\\\r\n  " + repeat(25, "5a,") + "\\\r\n  5a,5a"},
        {{repeat(80, "n"), REG_NONE, "ZZ"},
         std::string(1, '"').append(repeat(80, "n")) + "\"=hex(0):5a,\\\r\n  5a"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(formatValue(row.value), row.text) << row.value.name;
    }
    EXPECT_EQ(encodeRegFile("W\xC3\xA9"), "\xFF\xFEW\0\xE9\0"s);
}

class RegTool : public ::testing::Test
{
protected:
    std::string writeFile(const std::string& name, const std::string& bytes) const
    {
        const std::string file = (m_registry.configHome() / name).string();
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }

    FreshRegistry m_registry;
};

TEST_F(RegTool, EachCommandDoesWhatItSaysOrChangesNothing)
{
    struct Row
    {
        std::vector<std::string> arguments;
        std::optional<bool> answer; // none: no terminal to ask on
        int status;
        std::string shown; // in the output, or in the key as exported afterwards
    };
    setValue(kKey, {"Title", REG_SZ, "old\0"s});
    setValue(kKey, {"Other", REG_DWORD, "\1\2\3\4"});
    setValue(kKey, {"Third", REG_BINARY, ""});
    setValue(kKey + "\\Doomed\\Deeper", {"w", REG_QWORD, "\1\2\3\4\5\6\7\x8"});
    setValue(kKey + "\\Sub\\Locked", {"v", REG_SZ, "x\0"s});
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, "Software\\Dawdlex\\Sub\\Locked", TRUE), 0);
    // Valid but for its last line, or the change there is refused; before it the file deletes a tree
    // (typed in another case), overwrites, deletes and adds values, and creates keys.
    const std::string head = "REGEDIT4\r\n[" + kKey + "]\r\n";
    const std::string changes = head + "\"Title\"=\"new\"\r\n\"Other\"=-\r\n\"new\"=hex:01\r\n[-" + kKey +
                                "\\doomed]\r\n[HKCU\\A\\B]\r\n";
    const std::string bad = writeFile("bad.reg", changes + "\"b\"=hex:01,0g\r\n");
    const std::string refused =
        writeFile("no.reg", changes + "[" + kKey + "\\Sub\\Locked]\r\n\"v\"=\"y\"\r\n");
    const std::string backup = writeFile("backup.reg", "precious");
    const std::string version5 =
        "Windows Registry Editor Version 5.00\r\n[" + kKey + "]\r\n\"U\"=\"\xC3\xA9\xF0\x9F\x98\x80\"\r\n";
    const std::string utf16 = writeFile("utf16.reg", "\xFF\xFE" + utf16LeBytes(utf8ToUtf16(version5)));
    const std::string ansi = writeFile("ansi.reg", head + "\"A\"=\"\x80\x9F\xE9\"\r\n");
    const std::string to = kKey + " (Yes/No)? ";
    const Row rows[] = {
        {{"add", kKey, "/v", "D", "/t", "REG_DWORD", "/d", "4294967296"}, {}, 1, "from 0 to 4294967295"},
        {{"add", kKey, "/v", "Q", "/t", "REG_QWORD", "/d", "18446744073709551616"}, {}, 1, "from 0 to"},
        {{"add", kKey, "/v", "B", "/t", "REG_BINARY", "/d", "abc"}, {}, 1, "an even number of hexadecimal"},
        {{"delete", kKey + "\\Sub", "/f"}, {}, 1, "nothing was deleted"},
        {{"export", kKey, "/nonexistent/backup.reg", "/y"}, {}, 1, "cannot write /nonexistent/backup.reg"},
        {{"import", bad}, {}, 1, bad + ", line 8: bad hex data"},
        {{"import", refused}, {}, 1, refused + ", line 9: could not set the value"},
        {{"import", writeFile("cut.reg", "\xFF\xFEW\0R"s)}, {}, 1, "in the middle of a UTF-16 character"},
        {{"add", kKey, "/v", "title", "/d", "new"}, {}, 1, "to ask \"Value title exists, overwrite"},
        {{"delete", kKey, "/v", "Title"}, {}, 1, "to ask \"Delete the registry value Title (Yes/No)? \" on"},
        {{"export", kKey, backup}, {}, 1, "to ask \"File " + backup + " already exists. Overwrite (Yes"},
        {{"add", kKey, "/v", "Title", "/d", "new"}, false, 1, "Value Title exists, overwrite (Yes/No)? "},
        {{"delete", kKey}, false, 1, "Permanently delete the registry key " + to},
        {{"add", kKey, "/v", "title", "/d", "new", "/f"}, {}, 0, "\"Title\"=\"new\""},
        {{"add", kKey, "/v", "Title", "/d", "d\xC3\xA9"}, true, 0, "(Yes/No)? The operation completed"},
        {{"query", kKey, "/v", "TITLE"}, {}, 0, "\n    Title    REG_SZ    d\xC3\xA9\n"},
        {{"add", kKey, "/v", "E", "/t", "reg_expand_sz", "/d", "%HOME%"}, {}, 0, "\"E\"=hex(2):25,00,48,00"},
        {{"add", kKey, "/v", "M", "/t", "REG_MULTI_SZ", "/d", "a\\0b"}, {}, 0, "62,00,00,00,00,00\r"},
        {{"query", kKey, "/v", "M"}, {}, 0, "\n    M    REG_MULTI_SZ    a\\0b\n"},
        {{"add", kKey, "/v", "D", "/t", "REG_DWORD", "/d", "0x1F"}, {}, 0, "\"D\"=dword:0000001f\r"},
        {{"add", kKey, "/v", "D", "/t", "REG_DWORD", "/d", "4294967295", "/f"}, {}, 0, "dword:ffffffff\r"},
        {{"add", kKey, "/v", "Q", "/t", "REG_QWORD", "/d", "4294967296"}, {}, 0, "00,00,00,00,01,00,00,00\r"},
        {{"add", kKey, "/v", "Q", "/t", "REG_QWORD", "/d", "0xFFFFFFFFFFFFFFFF", "/f"}, {}, 0, "ff,ff\r"},
        {{"add", kKey, "/v", "B", "/t", "REG_BINARY", "/d", "00aBff"}, {}, 0, "\"B\"=hex:00,ab,ff\r"},
        {{"add", kKey, "/ve", "/t", "REG_NONE"}, {}, 0, "@=hex(0):\r"},
        {{"query", "HKCU\\Software", "/s", "/v", "b"}, {}, 0, "00ABFF\n\nEnd of search: 1 match(es) found."},
        {{"delete", kKey, "/v", "TITLE", "/f"}, {}, 0, "The operation completed successfully."},
        {{"query", kKey, "/v", "Title"}, {}, 1, "the value Title does not exist"},
        {{"delete", kKey + "\\Doomed"}, true, 0, "registry key " + kKey + "\\Doomed (Yes"},
        // Windows-1252, both ends of its 0x80..0x9F block, and UTF-16LE.
        {{"import", ansi}, {}, 0, "\"A\"=\"\xE2\x82\xAC\xC5\xB8\xC3\xA9\"\r"},
        {{"import", utf16}, {}, 0, "\"U\"=\"\xC3\xA9\xF0\x9F\x98\x80\"\r"},
    };
    for (const Row& row : rows) {
        const std::string before = dump();
        const ToolRun run = reg(row.arguments, row.answer);
        EXPECT_EQ(run.status, row.status) << row.shown << "\n" << run.out;
        EXPECT_NE((run.out + dump(kKey)).find(row.shown), std::string::npos) << row.shown << "\n" << run.out;
        if (row.status != 0) {
            EXPECT_EQ(dump(), before) << "values, their order, deleted trees and their spelling as they were";
        }
    }
    EXPECT_EQ(readFile(backup), "precious");
    EXPECT_EQ(dump(kKey + "\\Doomed"), "") << dump(kKey);
}

TEST_F(RegTool, NamesMatchExactlyWhenTheStoreSaysTheyMatch)
{
    // A name as stored and as typed; the differing pairs are ones a general Unicode upper-casing joins.
    struct Pair
    {
        std::string stored;
        std::string typed;
        bool same;
    };
    const Pair pairs[] = {
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", true},               // Latin-1
        {"\xC4\xBA\xC5\xBE", "\xC4\xB9\xC5\xBD", true},                 // Latin Extended-A, odd-even pairs
        {"\xCF\x83\xCE\xBF\xCF\x82", "\xCE\xA3\xCE\x9F\xCE\xA3", true}, // Greek, final sigma
        {"\xC4\xB8", "\xC4\xB9", false},                                // kra and L with acute
        {"\xC4\xB1", "I", false},                                       // dotless i
        {"\xC5\xBF", "S", false},                                       // long s
        {"\xE2\xB4\x80", "\xE1\x82\xA0", false},                        // Georgian
    };
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.stored + " / " + pair.typed);
        const std::string parent = std::string("HKCU\\T").append(std::to_string(&pair - pairs)) + "\\";
        setValue(parent + pair.stored, {pair.stored, REG_DWORD, "\1\0\0\0"s});
        if (!pair.same) {
            setValue(parent + pair.typed, {pair.typed, REG_DWORD, "\2\0\0\0"s});
            setValue(parent + pair.stored, {pair.typed, REG_DWORD, "\3\0\0\0"s});
        }
        const std::string shown = pair.same ? pair.stored : pair.typed;
        const std::string key = reg({"query", parent + pair.typed}).out;
        EXPECT_NE(key.find("\\" + shown + "\n    " + shown + "    REG_DWORD    0x"), std::string::npos)
            << key;
        const std::string value = reg({"query", parent + pair.stored, "/v", pair.typed}).out;
        EXPECT_EQ(value, "\nHKEY_CURRENT_USER\\" + parent.substr(5) + pair.stored + "\n    " + shown +
                             (pair.same ? "    REG_DWORD    0x1\n" : "    REG_DWORD    0x3\n"));
        ASSERT_EQ(reg({"delete", parent + pair.typed, "/f"}).status, 0);
        EXPECT_EQ(dump(parent + pair.stored).empty(), pair.same) << "the other key must stay";
    }
}

TEST_F(RegTool, ARoundTripGivesBackEveryByteAndAStopAtAnyPointUndoesEveryChange)
{
    std::string binary;
    for (int i = 0; i < 70000; ++i)
        binary += static_cast<char>(i * 7919 >> 3);
    const RegValue values[] = {
        {"", REG_SZ, "default\0"s},
        {"quote\"d back\\slash a=b [not] ; a comment", REG_SZ, "say \"hi\" C:\\\0"s},
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x97\xA5 \xF0\x9F\x98\x80",
         REG_SZ, "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80\0"s},
        {"line\nbreak\rname", REG_SZ, "two\r\nlines\0"s},
        {"sz odd", REG_SZ, "abc"},
        {"sz invalid utf8", REG_SZ, "\xFF\xC3(\xED\xA0\x80\xC0\xAF\0"s},
        {"expand", REG_EXPAND_SZ, std::string(100000, 'x') + '\0'},
        {"multi", REG_MULTI_SZ, "one\0t\xC3\xA9o\0\0"s},
        {"binary", REG_BINARY, binary},
        {"unknown type", 0x12345678, "\x7F\0\x80"s},
    };
    for (const RegValue& value : values)
        setValue(kKey, value);
    setValue(kKey + "\\Sub ]key[ =\\\xC3\x9Cml\xC3\xA4ut", {"deep", REG_NONE, ""});
    setValue("HKCU\\Software\\Other", {"kept", REG_DWORD, "\1\2\3\4"});
    const std::string before = dump();
    const std::string file = writeFile("all.reg", "");
    ASSERT_EQ(reg({"export", kKey, file, "/y"}).status, 0);
    const std::string exported = readFile(file);
    ASSERT_EQ(reg({"delete", kKey, "/f"}).status, 0);
    ASSERT_EQ(reg({"import", file}).status, 0);
    EXPECT_EQ(dump(), before);
    ASSERT_EQ(reg({"export", kKey, file, "/y"}).status, 0);
    EXPECT_EQ(readFile(file), exported) << "a second export is the same file";

    // The tree deleted as typed in another case and imported again: a stop at each point where the
    // importer asks (before each change, between the keys of a deleted tree) undoes every earlier change.
    std::string text = dump(kKey);
    text.insert(text.find("\r\n") + 2, "[-hkcu\\SOFTWARE\\dawdlex]\r\n");
    std::vector<RegOperation> operations;
    RegFileError error;
    ASSERT_TRUE(parseRegFile(text, operations, error)) << error.message;
    for (std::size_t stopAt = 0;; ++stopAt) {
        SCOPED_TRACE(std::string("stop at question ").append(std::to_string(stopAt)));
        std::size_t asked = 0;
        const RegImporter::Result result =
            RegImporter({}, [&] { return asked++ == stopAt; }).apply(operations);
        EXPECT_TRUE(result.succeeded || (result.stopped && result.rolledBack)) << result.message;
        EXPECT_EQ(dump(), before);
        if (result.succeeded)
            break;
        ASSERT_LT(stopAt, operations.size() + 10) << "the importer asks more often than it has steps";
    }
}

TEST_F(RegTool, AnExportThatCannotBeWrittenWholeLeavesTheOldFile)
{
    setValue(kKey, {"Big", REG_BINARY, std::string(20000, 'Z')});
    const std::string backup = writeFile("backup.reg", "precious");
    // Files may grow to 8 KB only; past that a write fails with EFBIG instead of ending the process.
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{8192, limit.rlim_max};
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const ToolRun run = reg({"export", kKey, backup, "/y"});
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, previous);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("cannot write " + backup + ": File too large"), std::string::npos) << run.out;
    EXPECT_EQ(readFile(backup), "precious");
}

TEST_F(RegTool, CtrlCDuringALongImportUndoesItAndThenEndsTheTool)
{
    setValue(kKey, {"Kept", REG_SZ, "k\0"s});
    const std::string before = dump();
    // Far more than can be imported before the interruption arrives.
    std::string text = "REGEDIT4\r\n[" + kKey + "]\r\n";
    for (int i = 0; i < 200000; ++i)
        text.append("\"v").append(std::to_string(i)).append("\"=dword:00000001\r\n");
    std::string file = writeFile("long.reg", text);
    char verb[] = "import";
    char* argv[] = {const_cast<char*>(DAWDLEX_REG_EXE), verb, file.data(), nullptr};
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(60); // a watchdog: the tool ends within a minute whatever happens
        ::execv(argv[0], argv);
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    bool started = false;
    for (int polls = 0; !started && polls < 30000; ++polls, ::usleep(2000))
        started = dump(kKey).find("\"v0\"=") != std::string::npos;
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(started) << "the import never began";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "status " << status;
    EXPECT_EQ(dump(), before);
}
