// The real dawdlex-reg executable: its verbs, refusals without a terminal and its import errors.
#include "ProgressMeter.h"
#include "RegCommand.h"
#include "SignalBlocker.h"
#include "StoreAccess.h"
#include "Text.h"
#include "ToolFixture.h"

#include <csignal>
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
    ::sigaction(SIGINT, &previous, nullptr);
}
