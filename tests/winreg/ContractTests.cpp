// The registry calls' contract, row by row. These run on Linux against our store and on Windows (or Wine)
// against the real registry, which checks that both agree.
#include "StoreFixture.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <tuple>

namespace {

using ContractTest = StoreTest;

TEST_F(ContractTest, PathsSplitOnBackslashesAndHaveLimits)
{
    enum Call
    {
        Open,
        Create,
        Delete
    };
    const std::string longest = "K\\" + std::string(255, 'k');
    const std::string tooLong = "M\\" + std::string(256, 'k');
    std::string deepest = "D"; // 512 levels, the most there may be
    for (int depth = 2; depth <= 512; ++depth)
        deepest += "\\L";
    const std::string tooDeep = "E\\" + deepest;
    // The call, the path, the status and, for a create, the disposition.
    const std::tuple<Call, const char*, LSTATUS, DWORD> cases[] = {
        {Create, "Software\\Acme\\Tool", ERROR_SUCCESS, REG_CREATED_NEW_KEY},
        {Create, "software\\ACME\\tool\\", ERROR_SUCCESS, REG_OPENED_EXISTING_KEY},
        {Open, "Software\\\\Acme\\\\\\Tool", ERROR_SUCCESS, 0},
        {Open, "", ERROR_SUCCESS, 0},
        {Open, nullptr, ERROR_SUCCESS, 0},
        {Open, "\\Software", ERROR_BAD_PATHNAME, 0},
        {Create, "\\Other", ERROR_BAD_PATHNAME, 0},
        {Delete, "Software\\Acme", ERROR_ACCESS_DENIED, 0}, // it has a subkey
        {Delete, "Software\\Acme\\Missing", ERROR_FILE_NOT_FOUND, 0},
        {Delete, "\\Software", ERROR_BAD_PATHNAME, 0},
        {Delete, "SOFTWARE\\acme\\tool", ERROR_SUCCESS, 0},
        {Open, "Software\\Acme\\Tool", ERROR_FILE_NOT_FOUND, 0},
        {Create, longest.c_str(), ERROR_SUCCESS, REG_CREATED_NEW_KEY},
        {Create, tooLong.c_str(), ERROR_INVALID_PARAMETER, 0},
        {Create, deepest.c_str(), ERROR_SUCCESS, REG_CREATED_NEW_KEY},
        {Create, tooDeep.c_str(), ERROR_INVALID_PARAMETER, 0},
        {Open, "M", ERROR_FILE_NOT_FOUND, 0}, // nothing of a refused path is made
        {Open, "E", ERROR_FILE_NOT_FOUND, 0},
    };
    for (const auto& [call, path, expected, expectedDisposition] : cases) {
        SCOPED_TRACE(path ? std::string(path).substr(0, 40) : "(null)");
        if (runningUnderWine() && path && std::strlen(path) > 257)
            continue; // its A calls refuse longer subkey paths with ERROR_MORE_DATA
        HKEY key = nullptr;
        DWORD disposition = 0;
        const LSTATUS status = call == Open ? RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key)
                               : call == Delete
                                   ? RegDeleteKeyA(HKEY_CURRENT_USER, path)
                                   : RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                     nullptr, &key, &disposition);
        EXPECT_EQ(status, expected);
        EXPECT_EQ(disposition, expectedDisposition);
        EXPECT_EQ(key != nullptr, call != Delete && expected == ERROR_SUCCESS);
        RegCloseKey(key);
    }
}

TEST_F(ContractTest, HandlesWorkOnlyWhileTheyAndTheirKeyExist)
{
    HKEY deleted = create("Deleted");
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Deleted"), ERROR_SUCCESS);
    HKEY anew = create("Deleted"); // the same name made anew is another key
    // Closed last: Windows hands a closed handle's number to the next key opened.
    HKEY closed = create("Closed");
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    // A predefined handle that went through a 32-bit integer and came back without sign extension.
    const auto low32 = reinterpret_cast<HKEY>(
        static_cast<ULONG_PTR>(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(HKEY_CURRENT_USER))));
    // What the handle is, the handle, the status of calls through it, and of closing it.
    std::vector<std::tuple<const char*, HKEY, LSTATUS, LSTATUS>> cases = {
        {"closed", closed, ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE},
        {"null", nullptr, ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE},
        {"unknown", reinterpret_cast<HKEY>(ULONG_PTR{0x7777}), ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE},
        {"of a deleted key", deleted, ERROR_KEY_DELETED, ERROR_SUCCESS},
        {"predefined, zero-extended", low32, ERROR_SUCCESS, ERROR_SUCCESS},
    };
#ifndef _WIN32
    cases.emplace_back("performance data", HKEY_PERFORMANCE_DATA, ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE);
#endif
    for (const auto& [what, handle, use, close] : cases) {
        SCOPED_TRACE(what);
        char name[300];
        DWORD length = sizeof name;
        HKEY opened = nullptr;
        EXPECT_EQ(setString(handle, "v", "x"), use);
        EXPECT_EQ(getString(handle, "v").empty(), use != ERROR_SUCCESS);
        EXPECT_EQ(RegEnumKeyExA(handle, 0, name, &length, nullptr, nullptr, nullptr, nullptr), use);
        EXPECT_EQ(RegDeleteValueA(handle, "v"), use);
        EXPECT_EQ(RegOpenKeyExA(handle, nullptr, 0, KEY_READ, &opened), use);
        RegCloseKey(opened);
        EXPECT_EQ(RegCloseKey(handle), close);
    }
    RegCloseKey(anew);
}

// Values need the handle's access; creating and deleting keys need none of it (a client's tree delete
// deletes through handles opened for listing only, and would list the same key for ever if refused).
TEST_F(ContractTest, ValuesNeedTheHandlesAccessKeysDoNot)
{
    using Call = LSTATUS (*)(HKEY);
    const std::tuple<const char*, REGSAM, Call, LSTATUS> cases[] = {
        {"set value, read handle", KEY_READ, [](HKEY h) { return setString(h, "v", "x"); },
         ERROR_ACCESS_DENIED},
        {"query value, write handle", KEY_WRITE,
         [](HKEY h) { return RegQueryValueExA(h, "v", nullptr, nullptr, nullptr, nullptr); },
         ERROR_ACCESS_DENIED},
        {"list values, write handle", KEY_WRITE,
         [](HKEY h) {
             char name[8];
             DWORD length = sizeof name;
             return RegEnumValueA(h, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
         },
         ERROR_ACCESS_DENIED},
        {"create subkey, notify handle", KEY_NOTIFY,
         [](HKEY h) {
             HKEY sub = nullptr;
             const LSTATUS status =
                 RegCreateKeyExA(h, "New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr);
             RegCloseKey(sub);
             return status;
         },
         ERROR_SUCCESS},
        {"delete subkey, listing handle", KEY_ENUMERATE_SUB_KEYS,
         [](HKEY h) { return RegDeleteKeyA(h, "B"); }, ERROR_SUCCESS},
    };
    for (const auto& [what, access, call, expected] : cases) {
        SCOPED_TRACE(what);
        const std::string path = std::string("Guarded\\") + what;
        RegCloseKey(create(path + "\\B"));
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &key), ERROR_SUCCESS);
        EXPECT_EQ(call(key), expected);
        RegCloseKey(key);
    }
}

// A key's last write time is the clock's, as FILETIME ticks (100 ns since 1601), and a change moves it on.
TEST_F(ContractTest, ChangesStampTheKeysLastWriteTime)
{
    const auto now = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                       .count() /
                   100 +
               116444736000000000LL;
    };
    const auto lastWrite = [](HKEY key) {
        FILETIME time{};
        EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, &time),
                  ERROR_SUCCESS);
        return static_cast<long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    };
    const long long slack = 50000000; // 5 s: the store keeps milliseconds, Windows its own coarse clock
    const long long before = now();
    HKEY key = create("Stamped");
    const long long created = lastWrite(key);
    EXPECT_GE(created, before - slack);
    EXPECT_LE(created, now() + slack);
    ASSERT_EQ(setString(key, "v", "x"), ERROR_SUCCESS);
    EXPECT_GE(lastWrite(key), created);
    EXPECT_LE(lastWrite(key), now() + slack);
    RegCloseKey(key);
}

TEST_F(ContractTest, BuffersGetTheirContentOnlyWhenItFitsWithItsTerminator)
{
    HKEY key = create("Buffers");
    ASSERT_EQ(setString(key, "Greeting", "Welcome"), ERROR_SUCCESS);
    HKEY zed = nullptr;
    char className[] = "leaf class";
    ASSERT_EQ(RegCreateKeyExA(key, "Zed", 0, className, 0, KEY_ALL_ACCESS, nullptr, &zed, nullptr),
              ERROR_SUCCESS);
    using Call = std::function<LSTATUS(char* buffer, DWORD* length)>;
    const Call data = [&](char* b, DWORD* l) {
        return RegQueryValueExA(key, "Greeting", nullptr, nullptr, reinterpret_cast<BYTE*>(b), l);
    };
    const Call valueName = [&](char* b, DWORD* l) {
        return RegEnumValueA(key, 0, b, l, nullptr, nullptr, nullptr, nullptr);
    };
    const Call keyName = [&](char* b, DWORD* l) {
        return RegEnumKeyExA(key, 0, b, l, nullptr, nullptr, nullptr, nullptr);
    };
    const Call keyClass = [&](char* b, DWORD* l) {
        return RegQueryInfoKeyA(zed, b, l, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr);
    };
    // What, the call, the buffer's size, the status, the size afterwards, and the buffer's text afterwards
    // (null: untouched).
    const std::tuple<const char*, const Call&, DWORD, LSTATUS, DWORD, const char*> cases[] = {
        {"data, exact size", data, 8, ERROR_SUCCESS, 8, "Welcome"},
        {"data, one short", data, 7, ERROR_MORE_DATA, 8, nullptr},
        {"data, none", data, 0, ERROR_MORE_DATA, 8, nullptr},
        {"value name, exact size", valueName, 9, ERROR_SUCCESS, 8, "Greeting"},
        {"value name, no room for its terminator", valueName, 8, ERROR_MORE_DATA, 8, nullptr},
        {"key name, exact size", keyName, 4, ERROR_SUCCESS, 3, "Zed"},
        {"key name, no room for its terminator", keyName, 3, ERROR_MORE_DATA, 3, nullptr},
        {"class, exact size", keyClass, 11, ERROR_SUCCESS, 10, "leaf class"},
        {"class, no room for its terminator", keyClass, 10, ERROR_MORE_DATA, 10, nullptr},
    };
    for (const auto& [what, call, size, expected, sizeAfter, text] : cases) {
        SCOPED_TRACE(what);
        if (runningUnderWine() && &call == &keyClass && !text)
            continue; // a short class buffer gets what fits there
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        DWORD length = size;
        EXPECT_EQ(call(buffer, &length), expected);
        EXPECT_EQ(length, sizeAfter);
        if (text) {
            EXPECT_STREQ(buffer, text);
            continue;
        }
#ifndef _WIN32
        // Windows does not say what a short buffer holds afterwards.
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));
#endif
    }
    RegCloseKey(zed);
    RegCloseKey(key);
}

TEST_F(ContractTest, NamesMatchIgnoringCaseByTheseLetterPairsOnly)
{
    SKIP_ON_WINDOWS("the A calls take the ANSI code page there, not UTF-8");
    // A name as stored, as asked for, and whether the two are the same name.
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"software-grün-äpfel-þ-ÿ", "SOFTWARE-GRÜN-ÄPFEL-Þ-Ÿ", true},
        {"ā-į-ĳ-ķ-ŋ-ŷ", "Ā-Į-Ĳ-Ķ-Ŋ-Ŷ", true}, // Latin Extended-A, runs that pair odd then even
        {"ĺ", "Ĺ", true},                     // and runs that pair even then odd
        {"ň", "Ň", true},
        {"ź", "Ź", true},
        {"ž", "Ž", true},
        {"ωμέγα-ς-жук-ё-ѣ-ӂ-ա", "ΩΜΈΓΑ-Σ-ЖУК-Ё-Ѣ-Ӂ-Ա", true},
        {"ḁ-ẕ-ａ", "Ḁ-Ẕ-Ａ", true},
        {"ĸ", "Ĺ", false},
        {"ĸ", "ĺ", false},
        {"ÿ", "Ź", false},
        {"ŉ", "Ň", false},
        {"ß", "SS", false},
        {"×", "÷", false},
        {"a", "á", false},
        {"ı", "I", false},
        {"ſ", "S", false},
    };
    HKEY key = create("Fold");
    for (const auto& [stored, asked, same] : cases) {
        SCOPED_TRACE(std::string(stored) + " / " + asked);
        ASSERT_EQ(setString(key, stored, "x"), ERROR_SUCCESS);
        EXPECT_EQ(getString(key, asked), same ? "x" : "");
        ASSERT_EQ(RegDeleteValueA(key, stored), ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

TEST_F(ContractTest, ValuesKeepTheirKindAndBytes)
{
    HKEY key = create("Values");
    const std::tuple<const char*, DWORD, std::vector<BYTE>> cases[] = {
        {"text", REG_SZ, {'h', 'i', 0}},
        {"unterminated", REG_SZ, {'a', 'b'}},
        {"binary", REG_BINARY, {0, 1, 0, 255, 0}},
        {"number", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {"odd type", 0xDEADBEEF, {7}},
        {"empty", REG_BINARY, {}},
        {"", REG_EXPAND_SZ, {'%', 'H', '%', 0}},
    };
    for (const auto& [name, type, data] : cases)
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    // Set again under another spelling, a value keeps its first one. Names have up to 16,383 bytes.
    ASSERT_EQ(RegSetValueExA(key, "TEXT", 0, REG_SZ, reinterpret_cast<const BYTE*>("hi"), 3), ERROR_SUCCESS);
    EXPECT_EQ(setString(key, std::string(16383, 'v'), "x"), ERROR_SUCCESS);
    EXPECT_EQ(setString(key, std::string(16384, 'v'), "x"), ERROR_INVALID_PARAMETER);
    for (const auto& [name, expectedType, expectedData] : cases) {
        SCOPED_TRACE(name);
        std::vector<BYTE> data(expectedData.size() + 4, 0xAA);
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        ASSERT_EQ(RegQueryValueExA(key, name, nullptr, &type, data.data(), &size), ERROR_SUCCESS);
        EXPECT_EQ(type, expectedType);
        data.resize(size);
        EXPECT_EQ(data, expectedData);
    }
    const std::vector<std::string> listed = valueNames(key);
    EXPECT_EQ(listed.size(), std::size(cases) + 1);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "text"), 1);

    // Only what is there can be deleted; what is not has no size.
    EXPECT_EQ(RegDeleteValueA(key, "Text"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "text"), ERROR_FILE_NOT_FOUND);
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "text", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, 0u);
    RegCloseKey(key);
}

#ifdef _WIN32
// ExpandEnvironmentStringsA reads the process environment of Windows, not the C runtime's copy of it.
void setenv(const char* name, const char* value, int)
{
    SetEnvironmentVariableA(name, value);
}
#endif

TEST(Environment, ReferencesExpandAndUnknownOnesStay)
{
    setenv("DAWDLEX_T_DIR", "/opt/dawdlex", 1);
    setenv("DAWDLEX_T_EMPTY", "", 1);
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"%DAWDLEX_T_DIR%\\bin", "/opt/dawdlex\\bin"},
        {"%DAWDLEX_T_DIR%%dawdlex_t_dir%", "/opt/dawdlex/opt/dawdlex"},
        {"a%DAWDLEX_T_EMPTY%b", "ab"},
        {"x%DAWDLEX_T_UNSET%y%", "x%DAWDLEX_T_UNSET%y%"},
        {"%%", "%%"},
        {"50% of %DAWDLEX_T_DIR", "50% of %DAWDLEX_T_DIR"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        const DWORD needed = ExpandEnvironmentStringsA(text, nullptr, 0);
        ASSERT_EQ(needed, std::strlen(expected) + 1);
        std::string out(needed + 1, '#');
        EXPECT_EQ(ExpandEnvironmentStringsA(text, out.data(), needed - 1), needed);
        EXPECT_EQ(out.substr(needed - 1), "##"); // nothing written past a buffer too small
        EXPECT_EQ(ExpandEnvironmentStringsA(text, out.data(), needed), needed);
        EXPECT_EQ(out, std::string(expected) + '\0' + '#');
    }
}

} // namespace
