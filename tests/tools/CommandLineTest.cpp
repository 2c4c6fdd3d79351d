// The real dawdlex-reg executable: its verbs, refusals without a terminal and its import errors.
#include "ProgressMeter.h"
#include "RegCommand.h"
#include "SignalBlocker.h"
#include "StoreAccess.h"
#include "Text.h"
#include "ToolFixture.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <sstream>

using namespace dawdlex::regtool;
using dawdlex::RegKey;

namespace {

volatile std::sig_atomic_t interruptions = 0;

const char* const kKey = "HKCU\\Software\\Pendlewick\\Dawdlex";

RegValue readBack(const std::string& key, const std::string& name)
{
    RegKey handle;
    RegValue value;
    EXPECT_EQ(openKey(ToolTest::path(key), KEY_READ, handle), ERROR_SUCCESS) << key;
    EXPECT_EQ(readValue(handle.get(), name, value), ERROR_SUCCESS) << name;
    return value;
}

} // namespace

class RegToolCommandLine : public ToolTest
{
};

TEST_F(RegToolCommandLine, AddStoresEachTypeAndQueryShowsIt)
{
    struct Case
    {
        std::vector<std::string> options;
        RegValue stored;
        std::string shown;
    };
    const Case cases[] = {
        {{"/v", "Title", "/d", "Processing..."},
         {"Title", REG_SZ, std::string("Processing...\0", 14)},
         "Title    REG_SZ    Processing..."},
        {{"/ve", "/d", "d\xC3\xA9"},
         {"", REG_SZ, std::string("d\xC3\xA9\0", 4)},
         "(Default)    REG_SZ    d\xC3\xA9"},
        {{"/v", "E", "/t", "reg_expand_sz", "/d", "%HOME%"},
         {"E", REG_EXPAND_SZ, std::string("%HOME%\0", 7)},
         "E    REG_EXPAND_SZ    %HOME%"},
        {{"/v", "M", "/t", "REG_MULTI_SZ", "/d", "a\\0b c"},
         {"M", REG_MULTI_SZ, std::string("a\0b c\0\0", 7)},
         "M    REG_MULTI_SZ    a\\0b c"},
        {{"/v", "S", "/t", "REG_MULTI_SZ", "/s", ",", "/d", "x,y"},
         {"S", REG_MULTI_SZ, std::string("x\0y\0\0", 5)},
         "S    REG_MULTI_SZ    x\\0y"},
        {{"/v", "D", "/t", "REG_DWORD", "/d", "0x1F"},
         {"D", REG_DWORD, std::string("\x1F\0\0\0", 4)},
         "D    REG_DWORD    0x1f"},
        {{"/v", "D2", "/t", "REG_DWORD", "/d", "4294967295"},
         {"D2", REG_DWORD, "\xFF\xFF\xFF\xFF"},
         "D2    REG_DWORD    0xffffffff"},
        {{"/v", "Q", "/t", "REG_QWORD", "/d", "4294967296"},
         {"Q", REG_QWORD, std::string("\0\0\0\0\1\0\0\0", 8)},
         "Q    REG_QWORD    0x100000000"},
        {{"/v", "B", "/t", "REG_BINARY", "/d", "00aBff"},
         {"B", REG_BINARY, std::string("\0\xAB\xFF", 3)},
         "B    REG_BINARY    00ABFF"},
        {{"/v", "N", "/t", "REG_NONE"}, {"N", REG_NONE, ""}, "N    REG_NONE    "},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"add", kKey};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ToolRun run = runTool(arguments);
        ASSERT_EQ(run.status, 0) << c.stored.name << ": " << run.err;
        EXPECT_EQ(readBack(kKey, c.stored.name), c.stored);
        const ToolRun query =
            runTool(c.stored.name.empty() ? std::vector<std::string>{"query", kKey, "/ve"}
                                          : std::vector<std::string>{"query", kKey, "/v", c.stored.name});
        EXPECT_EQ(query.status, 0) << query.err;
        EXPECT_NE(query.out.find("\n    " + c.shown + "\n"), std::string::npos) << query.out;
    }
    const ToolRun all = runTool({"query", "hkcu\\software\\PENDLEWICK"});
    EXPECT_EQ(all.status, 0);
    EXPECT_NE(all.out.find("HKEY_CURRENT_USER\\Software\\Pendlewick\\Dawdlex\n"), std::string::npos)
        << all.out;
    const ToolRun deep = runTool({"query", "HKCU\\Software", "/s", "/v", "q"});
    EXPECT_NE(deep.out.find("Q    REG_QWORD"), std::string::npos) << deep.out;
    EXPECT_NE(deep.out.find("1 match(es)"), std::string::npos) << deep.out;
}

TEST_F(RegToolCommandLine, BadArgumentsAreRefusedWithoutChangingAnything)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate", kKey},
        {"query"},
        {"query", "HKXX\\Software"},
        {"query", kKey},
        {"add", kKey, "/v", "D", "/t", "REG_DWORD", "/d", "4294967296"},
        {"add", kKey, "/v", "D", "/t", "REG_DWORD", "/d", "-1"},
        {"add", kKey, "/v", "B", "/t", "REG_BINARY", "/d", "abc"},
        {"add", kKey, "/v", "M", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"},
        {"add", kKey, "/v", "X", "/t", "REG_TEXT"},
        {"add", kKey, "/v", "X", "/ve"},
        {"add", kKey, "/v"},
        {"add", kKey, "/v", std::string(16384, 'n')},
        {"add", "HKCU\\" + std::string(256, 'k')},
        {"delete", "HKCU"},
        {"delete", kKey},
        {"export", kKey, "/tmp/never-written.reg"},
        {"import", "/nonexistent/file.reg"},
    };
    for (const std::vector<std::string>& arguments : cases) {
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.status, 1) << (arguments.empty() ? "" : arguments[0]) << " " << run.out;
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_EQ(dump(), "[HKEY_CURRENT_USER]\n");
}

TEST_F(RegToolCommandLine, WithoutATerminalOnlyForceOverwritesOrDeletes)
{
    setValue(kKey, {"Title", REG_SZ, std::string("old\0", 4)});
    setValue(std::string(kKey) + "\\Sub", {"v", REG_SZ, std::string("x\0", 2)});
    const std::string before = dump();
    const std::vector<std::vector<std::string>> refused = {
        {"add", kKey, "/v", "title", "/d", "new"},
        {"delete", kKey, "/v", "Title"},
        {"delete", kKey, "/va"},
        {"delete", kKey},
    };
    for (const std::vector<std::string>& arguments : refused) {
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.status, 1) << arguments[0];
        EXPECT_NE(run.err.find("/f"), std::string::npos) << run.err;
    }
    EXPECT_EQ(dump(), before);

    EXPECT_EQ(runTool({"add", kKey, "/v", "title", "/d", "new", "/f"}).status, 0);
    EXPECT_EQ(readBack(kKey, "Title").data, std::string("new\0", 4));
    EXPECT_EQ(runTool({"delete", kKey, "/v", "TITLE", "/f"}).status, 0);
    EXPECT_EQ(runTool({"query", kKey, "/v", "Title"}).status, 1);
    EXPECT_EQ(runTool({"delete", kKey, "/f"}).status, 0);
    EXPECT_TRUE(snapshot(kKey).empty());
    EXPECT_FALSE(snapshot("HKCU\\Software\\Pendlewick").empty()) << "only the key itself goes";
}

TEST_F(RegToolCommandLine, OnATerminalItAsksAndANoChangesNothing)
{
    setValue(kKey, {"Title", REG_SZ, std::string("old\0", 4)});
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> questions;
    bool answer = false;
    Console console{out, err,
                    [&](const std::string& question) {
                        questions.push_back(question);
                        return std::optional<bool>(answer);
                    },
                    false};
    RegCommand command(console);
    EXPECT_EQ(command.run({"add", kKey, "/v", "Title", "/d", "new"}), 1);
    EXPECT_EQ(command.run({"delete", kKey}), 1);
    EXPECT_EQ(readBack(kKey, "Title").data, std::string("old\0", 4));
    EXPECT_NE(err.str().find("cancelled"), std::string::npos);

    answer = true;
    EXPECT_EQ(command.run({"add", kKey, "/v", "Fresh", "/d", "x"}), 0) << "a new value needs no question";
    EXPECT_EQ(command.run({"add", kKey, "/v", "Title", "/d", "new"}), 0);
    EXPECT_EQ(readBack(kKey, "Title").data, std::string("new\0", 4));
    EXPECT_EQ(command.run({"delete", kKey}), 0);
    EXPECT_TRUE(snapshot(kKey).empty());
    const std::vector<std::string> expected = {
        "Value Title exists, overwrite (Yes/No)? ",
        "Permanently delete the registry key HKEY_CURRENT_USER\\Software\\Pendlewick\\Dawdlex (Yes/No)? ",
        "Value Title exists, overwrite (Yes/No)? ",
        "Permanently delete the registry key HKEY_CURRENT_USER\\Software\\Pendlewick\\Dawdlex (Yes/No)? ",
    };
    EXPECT_EQ(questions, expected);
}

TEST_F(RegToolCommandLine, ExportRefusesToOverwriteWithoutYAndImportRestores)
{
    setValue(kKey, {"Title", REG_SZ, std::string("T\xC3\xADtulo\0", 8)});
    setValue(kKey, {"Speed0", REG_SZ, std::string("500\0", 4)});
    const std::string before = dump();
    const std::string file = writeFile("backup.reg", "precious");
    EXPECT_EQ(runTool({"export", kKey, file}).status, 1);
    EXPECT_EQ(readFile(file), "precious");
    ASSERT_EQ(runTool({"export", kKey, file, "/y"}).status, 0);
    const std::string exported = readFile(file);
    EXPECT_EQ(exported.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(utf16ToUtf8(utf16LeFromBytes(exported.substr(2))).find("\"Title\"=\"T\xC3\xADtulo\"\r\n"),
              std::string::npos);

    ASSERT_EQ(runTool({"delete", kKey, "/f"}).status, 0);
    const ToolRun run = runTool({"import", file});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(dump(), before);
}

TEST_F(RegToolCommandLine, NamesMatchExactlyWhenTheStoreSaysTheyMatch)
{
    // Each pair: a name as stored and one typed by the user; the store's folding decides whether they are
    // one name. The differing pairs are ones a general Unicode upper-casing would join.
    struct Pair
    {
        std::string stored;
        std::string typed;
        bool same;
    };
    const Pair pairs[] = {
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", true},               // Latin
        {"\xCF\x83\xCE\xBF\xCF\x82", "\xCE\xA3\xCE\x9F\xCE\xA3", true}, // Greek, final sigma
        {"\xD0\xB4\xD0\xBE\xD0\xBC", "\xD0\x94\xD0\x9E\xD0\x9C", true}, // Cyrillic
        {"\xD5\xA1", "\xD4\xB1", true},                                 // Armenian
        {"\xEF\xBD\x9A", "\xEF\xBC\xBA", true},                         // fullwidth
        {"\xC6\x80", "\xC9\x83", false},                                // Latin Extended-B
        {"\xC4\xB1", "I", false},                                       // dotless i
        {"\xC5\xBF", "S", false},                                       // long s
        {"\xE2\x93\x90", "\xE2\x92\xB6", false},                        // circled letters
        {"\xE2\xB4\x80", "\xE1\x82\xA0", false},                        // Georgian
    };
    const std::string file = writeFile("names.reg", "");
    const auto text = [](const std::string& s) { return std::string(s.c_str(), s.size() + 1); };
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.stored + " / " + pair.typed);
        const std::string parent = "HKCU\\Software\\T" + std::to_string(&pair - pairs);
        const std::string stored = parent + "\\" + pair.stored;
        const std::string typed = parent + "\\" + pair.typed;
        setValue(stored, {"Who", REG_SZ, text(pair.stored)});
        if (!pair.same)
            setValue(typed, {"Who", REG_SZ, text(pair.typed)});
        // Value names follow the same rule.
        setValue(stored, {pair.stored, REG_DWORD, std::string("\1\0\0\0", 4)});
        if (!pair.same)
            setValue(stored, {pair.typed, REG_DWORD, std::string("\2\0\0\0", 4)});
        const std::string before = dump();

        const ToolRun query = runTool({"query", typed});
        ASSERT_EQ(query.status, 0) << query.err;
        const std::string shownKey = pair.same ? pair.stored : pair.typed;
        EXPECT_NE(query.out.find("\\" + shownKey + "\n    Who    REG_SZ    " + shownKey + "\n"),
                  std::string::npos)
            << query.out;
        const ToolRun byValue = runTool({"query", stored, "/v", pair.typed});
        EXPECT_EQ(byValue.out.find("0x1") != std::string::npos, pair.same) << byValue.out;
        EXPECT_EQ(byValue.out.find("0x2") != std::string::npos, !pair.same) << byValue.out;

        ASSERT_EQ(runTool({"export", typed, file, "/y"}).status, 0);
        ASSERT_EQ(runTool({"delete", typed, "/f"}).status, 0);
        EXPECT_EQ(snapshot(stored).empty(), pair.same) << "the other key must stay";
        if (!pair.same) {
            EXPECT_EQ(readBack(stored, "Who").data, text(pair.stored));
        }
        ASSERT_EQ(runTool({"import", file}).status, 0);
        EXPECT_EQ(dump(), before) << "export and import give back what was there";

        ASSERT_EQ(runTool({"add", typed, "/v", "Added", "/d", "x", "/f"}).status, 0);
        ASSERT_EQ(runTool({"delete", stored, "/v", pair.typed, "/f"}).status, 0);
        const std::string after = dump(stored);
        EXPECT_EQ(after.find("Added") != std::string::npos, pair.same) << after;
        EXPECT_EQ(after.find(std::to_string(pair.stored.size()) + ":" + pair.stored + " 4") !=
                      std::string::npos,
                  !pair.same)
            << after;
    }
}

TEST_F(RegToolCommandLine, AMalformedImportNamesTheLineAndChangesNothing)
{
    struct Case
    {
        const char* what;
        std::string lastLines;
        std::size_t line;
    };
    const Case cases[] = {
        {"unterminated string", "\"Title\"=\"never closed\r\n", 7},
        {"bad hex", "\"Bytes\"=hex:01,0g\r\n", 7},
        {"unknown root", "[HKEY_ELSEWHERE\\Software]\r\n", 7},
        {"missing bracket", "[HKEY_CURRENT_USER\\Software\\Other\r\n", 7},
        {"bad continuation", "\"Bytes\"=hex:01,\\\r\n  02,\\\r\n  xyz\r\n", 9},
    };
    setValue(kKey, {"Title", REG_SZ, std::string("kept\0", 5)});
    setValue(std::string(kKey) + "\\Sub", {"v", REG_SZ, std::string("x\0", 2)});
    const std::string before = dump();
    for (const Case& c : cases) {
        // Everything before the last line is valid and would delete, overwrite and create.
        const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                                 "[-HKEY_CURRENT_USER\\Software\\Pendlewick\\Dawdlex\\Sub]\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Pendlewick\\Dawdlex]\r\n"
                                 "\"Title\"=\"replaced\"\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Created]\r\n" +
                                 c.lastLines;
        for (const bool utf16 : {true, false}) {
            const std::string file =
                writeFile("bad.reg", utf16 ? "\xFF\xFE" + utf16LeBytes(utf8ToUtf16(text)) : text);
            const ToolRun run = runTool({"import", file});
            EXPECT_EQ(run.status, 1) << c.what;
            EXPECT_NE(run.err.find(file + ", line " + std::to_string(c.line) + ":"), std::string::npos)
                << c.what << ": " << run.err;
            EXPECT_NE(run.err.find("nothing was changed"), std::string::npos) << run.err;
            EXPECT_EQ(dump(), before) << c.what;
        }
    }
}

TEST_F(RegToolCommandLine, CtrlCDuringALongImportUndoesItAndThenEndsTheTool)
{
    setValue(kKey, {"Kept", REG_SZ, std::string("k\0", 2)});
    const std::string before = dump();
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Pendlewick\\"
        "Dawdlex]\r\n";
    // Far more than can be imported before the interruption arrives.
    for (int i = 0; i < 200000; ++i)
        text += "\"v" + std::to_string(i) + "\"=dword:00000001\r\n";
    const std::string file = writeFile("long.reg", text);
    std::string program = DAWDLEX_REG_EXE;
    std::string verb = "import";
    std::string fileArgument = file;
    char* argv[] = {program.data(), verb.data(), fileArgument.data(), nullptr};
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(argv[0], argv);
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    // Watchdogs, not timings: each wait gives up after a minute instead of hanging the suite.
    const auto waitUntil = [](const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!done() && std::chrono::steady_clock::now() < limit)
            ::usleep(2000);
        return done();
    };
    const bool started = waitUntil([&] {
        RegKey key;
        RegValue value;
        return openKey(path(kKey), KEY_READ, key) == ERROR_SUCCESS &&
               readValue(key.get(), "v0", value) == ERROR_SUCCESS;
    });
    ::kill(child, SIGINT);
    int status = 0;
    const bool ended = waitUntil([&] { return status != 0 || ::waitpid(child, &status, WNOHANG) == child; });
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    ASSERT_TRUE(started) << "the import never began";
    ASSERT_TRUE(ended) << "the tool did not stop";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "status " << status;
    EXPECT_EQ(dump(), before);
}

TEST(RegProgressMeter, DrawsOnlyAfterASecondAndOnlyWhenEnabled)
{
    std::chrono::steady_clock::time_point now{};
    const auto clock = [&] { return now; };
    std::ostringstream out;
    {
        ProgressMeter meter(out, true, "Importing", clock);
        meter.update(1, 4);
        now += std::chrono::milliseconds(999);
        meter.update(2, 4);
        EXPECT_EQ(out.str(), "");
        now += std::chrono::milliseconds(2);
        meter.update(2, 4);
        EXPECT_NE(out.str().find("] 50%"), std::string::npos) << out.str();
        const std::size_t drawn = out.str().size();
        now += std::chrono::milliseconds(50);
        meter.update(3, 4);
        EXPECT_EQ(out.str().size(), drawn) << "no redraw within a tenth of a second";
        now += std::chrono::milliseconds(100);
        meter.update(4, 4);
        EXPECT_NE(out.str().find("100%"), std::string::npos);
    }
    EXPECT_EQ(out.str().back(), '\r') << "the line is cleared at the end";

    std::ostringstream quiet;
    ProgressMeter disabled(quiet, false, "Importing", clock);
    now += std::chrono::seconds(5);
    disabled.update(1, 2);
    disabled.finish();
    EXPECT_EQ(quiet.str(), "");
}

TEST(RegSignalBlocker, CtrlCWaitsUntilTheChangeIsDone)
{
    struct sigaction counting
    {
    };
    counting.sa_handler = [](int) { interruptions = interruptions + 1; };
    struct sigaction previous
    {
    };
    ASSERT_EQ(::sigaction(SIGINT, &counting, &previous), 0);
    interruptions = 0;
    {
        const SignalBlocker blocker;
        ::raise(SIGINT);
        EXPECT_EQ(interruptions, 0);
    }
    EXPECT_EQ(interruptions, 1) << "delivered once the blocker is gone";
    {
        const SignalBlocker blocker;
        EXPECT_FALSE(blocker.requested());
        ::raise(SIGINT);
        EXPECT_TRUE(blocker.requested()) << "the change can see the request and stop early";
    }
    EXPECT_EQ(interruptions, 2);
    ::sigaction(SIGINT, &previous, nullptr);
}
