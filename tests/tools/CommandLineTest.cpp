// The command line against a fresh store per test: rows of arguments with their exit status, output and
// effect on the store; round trips; imports undone when they fail or are stopped; an export that runs out
// of room; and the real executable stopped by Ctrl-C.
#include "FreshRegistry.h"
#include "RegCommand.h"
#include "RegExporter.h"
#include "RegImporter.h"

#include <winreg_store.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace dawdlex::regtool;
using namespace std::string_literals;

namespace {

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Dawdlex";

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

std::optional<RegValue> readBack(const std::string& name)
{
    dawdlex::RegKey key;
    RegValue value;
    if (openKey(path(kKey), KEY_READ, key) != ERROR_SUCCESS ||
        readValue(key.get(), name, value) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

// The key and everything below it as an export would write it; "" when the key does not exist.
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

// Fixed-seed bytes, so that a failure repeats.
std::string bytes(std::size_t size, unsigned seed)
{
    std::string out(size, '\0');
    for (char& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return out;
}

// Polls `done` for a minute at most, so that no wait can hang the suite.
bool waitUntil(const std::function<bool()>& done)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    for (; !done(); ::usleep(2000)) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
    }
    return true;
}

struct ToolRun
{
    int status = -1;
    std::string out;      // with the error output after it
    std::string question; // the last Yes/No question asked
};

// Runs the command in this process; `answer` answers its questions, none meaning no terminal to ask on.
ToolRun reg(const std::vector<std::string>& arguments, std::optional<bool> answer = {})
{
    std::ostringstream out;
    std::ostringstream err;
    ToolRun run;
    Console console{out, err,
                    [&](const std::string& question) {
                        run.question = question;
                        return answer;
                    },
                    false};
    run.status = RegCommand(console).run(arguments);
    run.out = out.str() + err.str();
    return run;
}

} // namespace

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

TEST_F(RegTool, AddStoresEachTypeAndQueryShowsIt)
{
    struct Row
    {
        const char* type;
        std::string data;
        std::string stored;
        std::string shown;
    };
    const Row rows[] = {
        {"REG_SZ", "d\xC3\xA9", "d\xC3\xA9\0"s, "REG_SZ    d\xC3\xA9"},
        {"reg_expand_sz", "%HOME%", "%HOME%\0"s, "REG_EXPAND_SZ    %HOME%"},
        {"REG_MULTI_SZ", "a\\0b c", "a\0b c\0\0"s, "REG_MULTI_SZ    a\\0b c"},
        {"REG_DWORD", "0x1F", "\x1F\0\0\0"s, "REG_DWORD    0x1f"},
        {"REG_DWORD", "4294967295", "\xFF\xFF\xFF\xFF", "REG_DWORD    0xffffffff"},
        {"REG_QWORD", "4294967296", "\0\0\0\0\1\0\0\0"s, "REG_QWORD    0x100000000"},
        {"REG_QWORD", "0xFFFFFFFFFFFFFFFF", std::string(8, '\xFF'), "REG_QWORD    0xffffffffffffffff"},
        {"REG_BINARY", "00aBff", "\0\xAB\xFF"s, "REG_BINARY    00ABFF"},
        {"REG_NONE", "", "", "REG_NONE    "},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(reg({"add", kKey, "/v", "V", "/t", row.type, "/d", row.data, "/f"}).status, 0) << row.shown;
        EXPECT_EQ(readBack("V").value_or(RegValue{}).data, row.stored) << row.shown;
        EXPECT_NE(reg({"query", kKey, "/v", "v"}).out.find("\n    V    " + row.shown + "\n"),
                  std::string::npos);
    }
    EXPECT_NE(reg({"query", "hkcu\\SOFTWARE"}).out.find("\n" + kKey + "\n"), std::string::npos);
    const std::string deep = reg({"query", "HKCU\\Software", "/s", "/v", "v"}).out;
    EXPECT_NE(deep.find("    V    REG_NONE    \n\nEnd of search: 1 match(es) found."), std::string::npos)
        << deep;
}

TEST_F(RegTool, EachCommandSucceedsOrChangesNothing)
{
    struct Row
    {
        std::vector<std::string> arguments;
        std::optional<bool> answer; // none: no terminal to ask on
        int status;
        std::string shown; // in the output or the question
    };
    setValue(kKey, {"Title", REG_SZ, "old\0"s});
    setValue(kKey, {"Other", REG_DWORD, bytes(4, 1)});
    setValue(kKey + "\\Doomed\\Deeper", {"w", REG_QWORD, bytes(8, 2)});
    setValue(kKey + "\\Sub\\Locked", {"v", REG_SZ, "x\0"s});
    setValue("HKU\\Bad\nName", {"v", REG_SZ, "x\0"s});
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, "Software\\Dawdlex\\Sub\\Locked", TRUE), 0);
    // Valid but for the last line, and the change there is refused; what comes before deletes a tree (as
    // typed in another case), overwrites, deletes and adds values, and creates keys.
    const std::string changes =
        "REGEDIT4\r\n\r\n[-" + kKey + "\\doomed]\r\n[" + kKey +
        "]\r\n\"Title\"=\"new\"\r\n\"Other\"=-\r\n\"new\"=hex:01\r\n[HKCU\\New\\Tree]\r\n";
    const std::string bad = writeFile("bad.reg", changes + "\"b\"=hex:01,0g\r\n");
    const std::string refused =
        writeFile("refused.reg", changes + "[" + kKey + "\\Sub\\Locked]\r\n\"v\"=\"y\"\r\n");
    const std::string backup = writeFile("backup.reg", "precious");
    const std::string deleteKey = "Permanently delete the registry key " + kKey + " (Yes/No)? ";
    const Row rows[] = {
        {{}, {}, 1, "Usage: dawdlex-reg"},
        {{"frobnicate", kKey}, {}, 1, "unknown verb \"frobnicate\""},
        {{"query", "HKXX\\Software"}, {}, 1, "invalid key \"HKXX\\Software\""},
        {{"query", kKey + "\\Missing"}, {}, 1, "the key " + kKey + "\\Missing does not exist"},
        {{"add", kKey, "/v", "D", "/t", "REG_DWORD", "/d", "4294967296"}, {}, 1, "from 0 to 4294967295"},
        {{"add", kKey, "/v", "Q", "/t", "REG_QWORD", "/d", "18446744073709551616"}, {}, 1, "from 0 to"},
        {{"add", kKey, "/v", "B", "/t", "REG_BINARY", "/d", "abc"}, {}, 1, "an even number of hexadecimal"},
        {{"add", kKey, "/v", "M", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"}, {}, 1, "ERROR: "},
        {{"add", kKey, "/v", "X", "/t", "REG_TEXT"}, {}, 1, "unknown type \"REG_TEXT\""},
        {{"add", kKey, "/v", "X", "/ve"}, {}, 1, "give only one of /v, /ve and /va"},
        {{"add", kKey, "/v", std::string(16384, 'n')}, {}, 1, "longer than 16383 bytes"},
        {{"add", "HKCU\\" + std::string(256, 'k')}, {}, 1, "longer than 255 bytes"},
        {{"delete", "HKCU"}, {}, 1, "a root key cannot be deleted"},
        {{"delete", kKey + "\\Sub", "/f"}, {}, 1, "nothing was deleted"},
        {{"export", kKey, "/nonexistent/backup.reg", "/y"}, {}, 1, "cannot write /nonexistent/backup.reg"},
        {{"export", "HKU\\Bad\nName", backup, "/y"}, {}, 1, "holds a line break"},
        {{"import", "/nonexistent/file.reg"}, {}, 1, "cannot read /nonexistent/file.reg"},
        {{"import", bad}, {}, 1, bad + ", line 9: bad hex data"},
        {{"import", refused}, {}, 1, refused + ", line 10: "},
        {{"add", kKey, "/v", "title", "/d", "new"},
         {},
         1,
         "to ask \"Value title exists, overwrite (Yes/No)? \""},
        {{"delete", kKey, "/v", "Title"},
         {},
         1,
         "to ask \"Delete the registry value Title (Yes/No)? \" on; add /f"},
        {{"delete", kKey, "/va"}, {}, 1, "to ask \"Delete all values under the registry key " + kKey},
        {{"export", kKey, backup},
         {},
         1,
         "to ask \"File " + backup + " already exists. Overwrite (Yes/No)? \""},
        {{"add", kKey, "/v", "Title", "/d", "new"}, false, 1, "Value Title exists, overwrite (Yes/No)? "},
        {{"delete", kKey}, false, 1, deleteKey},
        {{"add", kKey, "/v", "Fresh", "/d", "x"}, {}, 0, "The operation completed successfully."},
        {{"add", kKey, "/v", "title", "/d", "new", "/f"}, {}, 0, "The operation completed successfully."},
        {{"add", kKey, "/v", "Title", "/d", "newer"}, true, 0, "Value Title exists, overwrite (Yes/No)? "},
        {{"query", kKey, "/v", "TITLE"}, {}, 0, "    Title    REG_SZ    newer\n"},
        {{"delete", kKey, "/v", "TITLE", "/f"}, {}, 0, "The operation completed successfully."},
        {{"query", kKey, "/v", "Title"}, {}, 1, "the value Title does not exist"},
        {{"delete", kKey + "\\Doomed"},
         true,
         0,
         "Permanently delete the registry key " + kKey + "\\Doomed (Yes"},
    };
    for (const Row& row : rows) {
        const std::string before = dump();
        const ToolRun run = reg(row.arguments, row.answer);
        EXPECT_EQ(run.status, row.status) << row.shown << "\n" << run.out;
        EXPECT_NE((run.out + run.question).find(row.shown), std::string::npos) << row.shown << "\n"
                                                                               << run.out;
        if (row.status != 0) {
            EXPECT_EQ(dump(), before) << "values, their order, deleted trees and their spelling as they were";
        }
    }
    EXPECT_EQ(readFile(backup), "precious");
    EXPECT_EQ(dump(kKey + "\\Doomed"), "");
    EXPECT_NE(dump(kKey), "") << "only the key itself goes";
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
        {"\xD0\xB4\xD0\xBE\xD0\xBC", "\xD0\x94\xD0\x9E\xD0\x9C", true}, // Cyrillic
        {"\xEF\xBD\x9A", "\xEF\xBC\xBA", true},                         // fullwidth
        {"\xC4\xB8", "\xC4\xB9", false},                                // kra and L with acute
        {"\xC4\xB1", "I", false},                                       // dotless i
        {"\xC5\xBF", "S", false},                                       // long s
        {"\xE2\x93\x90", "\xE2\x92\xB6", false},                        // circled letters
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
        EXPECT_NE(value.find(pair.same ? "0x1\n" : "0x3\n"), std::string::npos) << value;
        EXPECT_EQ(value.find(pair.same ? "0x3\n" : "0x1\n"), std::string::npos) << value;
        ASSERT_EQ(reg({"delete", parent + pair.typed, "/f"}).status, 0);
        EXPECT_EQ(dump(parent + pair.stored).empty(), pair.same) << "the other key must stay";
    }
}

TEST_F(RegTool, EveryValueTypeAndAwkwardNameComesBackByteForByte)
{
    const RegValue values[] = {
        {"", REG_SZ, "default\0"s},
        {"quote\"d back\\slash a=b [not] ; a comment", REG_SZ, "say \"hi\" C:\\\0"s},
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x97\xA5 \xF0\x9F\x98\x80",
         REG_SZ, "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80\0"s},
        {"line\nbreak\rname", REG_SZ, "two\r\nlines\0"s},
        {"sz odd", REG_SZ, "abc"},
        {"sz inner nul", REG_SZ, "a\0b\0"s},
        {"sz invalid utf8", REG_SZ, "\xFF\xC3(\xED\xA0\x80\xC0\xAF\0"s},
        {"expand", REG_EXPAND_SZ, std::string(100000, 'x') + '\0'},
        {"multi", REG_MULTI_SZ, "one\0t\xC3\xA9o\0\0"s},
        {"binary", REG_BINARY, bytes(70000, 3)},
        {"dword", REG_DWORD, bytes(4, 4)},
        {"qword", REG_QWORD, bytes(8, 5)},
        {"unknown type", 0x12345678, bytes(3, 6)},
    };
    for (const RegValue& value : values)
        setValue(kKey, value);
    setValue(kKey + "\\Sub ]key[ =\\\xC3\x9Cml\xC3\xA4ut", {"deep", REG_NONE, ""});
    setValue("HKCU\\Software\\Other", {"kept", REG_DWORD, bytes(4, 7)});
    const std::string before = dump();
    const std::string file = writeFile("all.reg", "");
    ASSERT_EQ(reg({"export", kKey, file, "/y"}).status, 0);
    const std::string exported = readFile(file);
    ASSERT_EQ(reg({"delete", kKey, "/f"}).status, 0);
    ASSERT_EQ(reg({"import", file}).status, 0);
    EXPECT_EQ(dump(), before);
    ASSERT_EQ(reg({"export", kKey, file, "/y"}).status, 0);
    EXPECT_EQ(readFile(file), exported) << "a second export is the same file";
}

TEST_F(RegTool, AStopAtAnyPointUndoesEveryEarlierChangeAndKeepsTheOrder)
{
    for (unsigned i = 0; i < 6; ++i)
        setValue(kKey, {std::string("v").append(std::to_string(i)), REG_BINARY, bytes(3, i)});
    setValue(kKey + "\\Sub\\Old\\Inner", {"i", REG_SZ, "i\0"s});
    const std::string before = dump();
    std::vector<RegOperation> operations;
    const auto change = [&](RegOperation::Kind kind, const std::string& name, const std::string& key) {
        operations.push_back(RegOperation{kind, path(key), {name, REG_SZ, "x\0"s}, 1});
    };
    // Deletes from the last value backwards, as delete /va does, then from the front and the middle.
    for (const char* name : {"v5", "v4", "v0", "v2"})
        change(RegOperation::Kind::DeleteValue, name, kKey);
    change(RegOperation::Kind::SetValue, "v1", kKey);
    change(RegOperation::Kind::SetValue, "added", kKey);
    change(RegOperation::Kind::SetValue, "n", "HKCU\\Software\\Brand\\New");
    // Keys deleted as typed in another case come back as spelled; one made by the import goes again.
    change(RegOperation::Kind::DeleteKey, "", kKey + "\\SUB\\old");
    change(RegOperation::Kind::SetValue, "f", kKey + "\\SUB\\Fresh");
    change(RegOperation::Kind::DeleteKey, "", kKey + "\\SUB\\FRESH");
    // The request comes at each point where the importer asks in turn: before each change and between the
    // keys of a deleted tree.
    for (std::size_t stopAt = 0;; ++stopAt) {
        SCOPED_TRACE(std::string("stop at question ").append(std::to_string(stopAt)));
        std::size_t asked = 0;
        const RegImporter::Result result =
            RegImporter({}, [&] { return asked++ == stopAt; }).apply(operations);
        if (result.succeeded)
            break;
        EXPECT_TRUE(result.stopped && result.rolledBack) << result.message;
        EXPECT_EQ(dump(), before);
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
    for (const auto& entry : std::filesystem::directory_iterator(m_registry.configHome()))
        EXPECT_EQ(entry.path().filename().string().find("backup.reg."), std::string::npos) << entry.path();
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
    std::string verb = "import";
    char* argv[] = {const_cast<char*>(DAWDLEX_REG_EXE), verb.data(), file.data(), nullptr};
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        if (::dup2(null, 0) >= 0 && ::dup2(null, 1) >= 0 && ::dup2(null, 2) >= 0)
            ::execv(argv[0], argv);
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    const bool started = waitUntil([] { return readBack("v0").has_value(); });
    ::kill(child, SIGINT);
    int status = 0;
    if (!waitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; })) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    ASSERT_TRUE(started) << "the import never began";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "status " << status;
    EXPECT_EQ(dump(), before);
}
