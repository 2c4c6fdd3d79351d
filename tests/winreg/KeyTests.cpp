#include "StoreFixture.h"

#include <chrono>
#include <string>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#endif

namespace {

using KeyTest = StoreTest;

TEST_F(KeyTest, PathsSplitOnBackslashes)
{
    HKEY key = create("Software\\Acme\\Tool");
    RegCloseKey(key);

    struct Case
    {
        const char* path;
        LSTATUS expected;
    };
    const Case cases[] = {
        {"Software\\Acme\\Tool", ERROR_SUCCESS},
        {"Software\\Acme\\Tool\\", ERROR_SUCCESS},
        {"Software\\\\Acme\\\\\\Tool", ERROR_SUCCESS},
        {"\\Software\\Acme", ERROR_BAD_PATHNAME},
        {"Software\\Acme\\Missing", ERROR_FILE_NOT_FOUND},
        {"", ERROR_SUCCESS},
        {nullptr, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        HKEY opened = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, c.path, 0, KEY_ALL_ACCESS, &opened), c.expected)
            << (c.path ? c.path : "(null)");
        EXPECT_EQ(opened != nullptr, c.expected == ERROR_SUCCESS);
        if (opened) {
            EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
        }
    }

    HKEY bad = nullptr;
    EXPECT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, "\\Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &bad, nullptr),
        ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Other", 0, KEY_READ, &bad), ERROR_FILE_NOT_FOUND);
}

TEST_F(KeyTest, CreateReportsDispositionAndMakesIntermediateKeys)
{
    DWORD disposition = 0;
    HKEY key = create("A\\B\\C", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(key);

    key = create("a\\b\\c\\", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);

    HKEY middle = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A\\B", 0, KEY_READ, &middle), ERROR_SUCCESS);
    EXPECT_EQ(subKeys(middle), std::vector<std::string>{"C"});
    RegCloseKey(middle);
}

TEST_F(KeyTest, KeyNamesAreLimitedTo255Bytes)
{
    const std::string longest(255, 'k');
    const std::string tooLong(256, 'k');
    DWORD disposition = 0;
    HKEY key = create(longest.c_str(), &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(key);

    SKIP_UNDER_WINE("its A calls refuse subkey paths longer than 260 characters with ERROR_MORE_DATA");
    HKEY refused = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ("Parent\\" + tooLong).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &refused, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(refused, nullptr);
    // Nothing of the refused path was made, not even its valid first part.
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Parent", 0, KEY_READ, &refused), ERROR_FILE_NOT_FOUND);

    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &root), ERROR_SUCCESS);
    DWORD maxLength = 0;
    ASSERT_EQ(RegQueryInfoKeyA(root, nullptr, nullptr, nullptr, nullptr, &maxLength, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(maxLength, 255u);
    RegCloseKey(root);
}

TEST_F(KeyTest, NestingStopsAt512Levels)
{
    SKIP_UNDER_WINE("its A calls refuse subkey paths longer than 260 characters with ERROR_MORE_DATA");
    std::string path = "L";
    for (int depth = 2; depth <= 512; ++depth)
        path += "\\L";
    HKEY key = create(path.c_str());
    RegCloseKey(key);

    HKEY deeper = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (path + "\\L").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &deeper, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (path + "\\L").c_str(), 0, KEY_READ, &deeper),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(KeyTest, NamesMatchIgnoringCaseAndKeepTheirFirstSpelling)
{
    HKEY key = create("Software\\MixedCase");
    RegCloseKey(key);
    DWORD disposition = 0;
    key = create("SOFTWARE\\mixedcase", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);
    SKIP_ON_WINDOWS("the A calls take the ANSI code page there, not UTF-8");
    key = create("software\\Grün-Äpfel-Ωmega-Жук", &disposition);
    RegCloseKey(key);
    key = create("Software\\gRÜN-äPFEL-ωMEGA-жУК", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);

    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "sOfTwArE", 0, KEY_READ, &software), ERROR_SUCCESS);
    EXPECT_EQ(subKeys(software), (std::vector<std::string>{"Grün-Äpfel-Ωmega-Жук", "MixedCase"}));
    RegCloseKey(software);
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &root), ERROR_SUCCESS);
    EXPECT_EQ(subKeys(root), std::vector<std::string>{"Software"});
    RegCloseKey(root);
}

TEST_F(KeyTest, SubkeysEnumerateInUpperCaseOrder)
{
    SKIP_UNDER_WINE("it orders subkeys by their lower-case names, so \"_x\" comes before the letters");
    HKEY parent = create("Order");
    for (const char* name : {"b", "A", "c", "B2", "a1", "_x", "Zed", "~t"}) {
        HKEY child = nullptr;
        ASSERT_EQ(RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(child);
    }
    EXPECT_EQ(subKeys(parent), (std::vector<std::string>{"A", "a1", "b", "B2", "c", "Zed", "_x", "~t"}));

    char name[8];
    DWORD length = 3; // "Zed" needs 4 with its terminator
    std::memset(name, '#', sizeof name);
    EXPECT_EQ(RegEnumKeyExA(parent, 5, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(std::string(name, sizeof name), std::string(8, '#'));
    length = 4;
    EXPECT_EQ(RegEnumKeyExA(parent, 5, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(length, 3u);
    EXPECT_STREQ(name, "Zed");
    RegCloseKey(parent);
}

TEST_F(KeyTest, QueryInfoCountsAndAcceptsNullPointers)
{
    HKEY key = create("Info");
    HKEY child = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(key, "Child\\Grandchild", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(child);
    ASSERT_EQ(RegCreateKeyExA(key, "Kid", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
    ASSERT_EQ(setString(key, "Name", "0123456789"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "LongerName", "x"), ERROR_SUCCESS);

    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    DWORD subKeyCount = 99, maxSubKey = 99, maxClass = 99, valueCount = 99, maxValueName = 99, maxValue = 99;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeyCount, &maxSubKey, &maxClass,
                               &valueCount, &maxValueName, &maxValue, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeyCount, 2u);
    EXPECT_EQ(maxSubKey, 5u);
    EXPECT_EQ(maxClass, 0u);
    EXPECT_EQ(valueCount, 2u);
    EXPECT_EQ(maxValueName, 10u);
    RegCloseKey(key);
    SKIP_ON_WINDOWS("the longest data is counted as stored there, texts in UTF-16");
    EXPECT_EQ(maxValue, 11u);
}

TEST_F(KeyTest, DeleteRefusesKeysWithSubkeysAndRoots)
{
    HKEY key = create("Tree\\Leaf");
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Tree"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Tree\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "\\Tree"), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "tree\\LEAF"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Tree"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Tree", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

    SKIP_ON_WINDOWS("a null subkey is refused with ERROR_INVALID_PARAMETER, and in the test run "
                    "HKEY_CURRENT_USER stands for an ordinary key");
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr), ERROR_ACCESS_DENIED);
}

TEST_F(KeyTest, HandlesOfADeletedKeyReportItUntilClosed)
{
    HKEY key = create("Doomed");
    ASSERT_EQ(setString(key, "v", "x"), ERROR_SUCCESS);
    HKEY second = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "doomed", 0, KEY_ALL_ACCESS, &second), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(key, ""), ERROR_SUCCESS);

    // The same name made anew is a different key: old handles still see theirs as deleted.
    HKEY reborn = create("Doomed");
    RegCloseKey(reborn);

    for (HKEY handle : {key, second}) {
        char name[16];
        DWORD length = sizeof name;
        DWORD size = 0;
        HKEY sub = nullptr;
        EXPECT_EQ(RegOpenKeyExA(handle, nullptr, 0, KEY_READ, &sub), ERROR_KEY_DELETED);
        EXPECT_EQ(RegCreateKeyExA(handle, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegDeleteKeyA(handle, ""), ERROR_KEY_DELETED);
        EXPECT_EQ(RegEnumKeyExA(handle, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegEnumValueA(handle, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegQueryValueExA(handle, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
        EXPECT_EQ(setString(handle, "v", "y"), ERROR_KEY_DELETED);
        EXPECT_EQ(RegDeleteValueA(handle, "v"), ERROR_KEY_DELETED);
#ifndef _WIN32
        EXPECT_EQ(RegStoreSetKeyReadOnlyA(handle, nullptr, TRUE), ERROR_KEY_DELETED);
#endif
        EXPECT_EQ(RegCloseKey(handle), ERROR_SUCCESS);
    }
}

TEST_F(KeyTest, ClosedNullAndUnknownHandlesAreInvalid)
{
    HKEY key = create("Closing");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    const HKEY unknown = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7777));
    std::vector<HKEY> handles{key, nullptr, unknown};
#ifndef _WIN32
    // Windows serves performance data under this root.
    handles.push_back(HKEY_PERFORMANCE_DATA);
#endif
    for (HKEY handle : handles) {
        HKEY sub = nullptr;
        DWORD size = 0;
        EXPECT_EQ(RegOpenKeyExA(handle, "x", 0, KEY_READ, &sub), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueExA(handle, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
        EXPECT_EQ(setString(handle, "v", "x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteKeyA(handle, "x"), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

#ifndef _WIN32
    // A store closed under open handles invalidates them.
    key = create("Closing");
    RegStoreClose();
    EXPECT_EQ(setString(key, "v", "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
#endif
}

// A client's delete-tree helper deletes each key through a handle it opened for listing only, and lists
// the same subkey again when that fails: without end, if it always fails.
TEST_F(KeyTest, ValuesNeedTheHandlesAccessKeysOnlyTheKeysOwn)
{
    struct Case
    {
        const char* what;
        REGSAM access;
        LSTATUS (*call)(HKEY);
        LSTATUS expected;
    };
    const Case cases[] = {
        {"set value, read handle", KEY_READ, [](HKEY h) { return setString(h, "v", "x"); },
         ERROR_ACCESS_DENIED},
        {"query value, write handle", KEY_WRITE,
         [](HKEY h) { return RegQueryValueExA(h, "v", nullptr, nullptr, nullptr, nullptr); },
         ERROR_ACCESS_DENIED},
        {"create subkey, notify handle", KEY_NOTIFY,
         [](HKEY h) {
             HKEY sub = nullptr;
             const LSTATUS status =
                 RegCreateKeyExA(h, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
             RegCloseKey(sub);
             return status;
         },
         ERROR_SUCCESS},
        {"delete itself, listing handle", KEY_ENUMERATE_SUB_KEYS,
         [](HKEY h) {
             const LSTATUS status = RegDeleteKeyA(h, "B");
             return status != ERROR_SUCCESS ? status : RegDeleteKeyA(h, "");
         },
         ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = std::string("Guarded\\") + c.what;
        HKEY key = create((path + "\\B").c_str());
        RegCloseKey(key);
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, c.access, &key), ERROR_SUCCESS);
        EXPECT_EQ(c.call(key), c.expected);
        RegCloseKey(key);
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Guarded", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(subKeys(key).size(), std::size(cases) - 1);
    RegCloseKey(key);
}

TEST_F(KeyTest, PredefinedKeysAreKnownByTheirLow32Bits)
{
    // As a handle comes back from a 32-bit integer without sign extension.
    const auto zeroExtended = [](HKEY root) {
        return reinterpret_cast<HKEY>(
            static_cast<ULONG_PTR>(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(root))));
    };
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(zeroExtended(HKEY_CURRENT_USER), "Wide", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Wide", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    std::vector<HKEY> roots{HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                            HKEY_CURRENT_CONFIG};
#ifndef _WIN32
    roots.push_back(HKEY_DYN_DATA);
#endif
    for (HKEY root : roots) {
        EXPECT_EQ(RegOpenKeyExA(zeroExtended(root), nullptr, 0, KEY_READ, &key), ERROR_SUCCESS) << root;
        RegCloseKey(key);
        EXPECT_EQ(RegCloseKey(zeroExtended(root)), ERROR_SUCCESS) << root;
    }
#ifndef _WIN32
    EXPECT_EQ(RegOpenKeyExA(zeroExtended(HKEY_PERFORMANCE_DATA), nullptr, 0, KEY_READ, &key),
              ERROR_INVALID_HANDLE);
#endif
}

TEST_F(KeyTest, AClassIsKeptForTheKeyCreatedWithIt)
{
    HKEY key = create("Classes");
    HKEY leaf = nullptr;
    char leafClass[] = "leaf class";
    ASSERT_EQ(RegCreateKeyExA(key, "Mid\\Leaf", 0, leafClass, 0, KEY_ALL_ACCESS, nullptr, &leaf, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(leaf);
    RegCloseKey(key);
#ifndef _WIN32
    RegStoreClose();
#endif

    HKEY mid = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Classes\\Mid", 0, KEY_READ, &mid), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(mid, "Leaf", 0, KEY_READ, &leaf), ERROR_SUCCESS);
    DWORD maxClass = 0;
    ASSERT_EQ(RegQueryInfoKeyA(mid, nullptr, nullptr, nullptr, nullptr, nullptr, &maxClass, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(maxClass, 10u);

    enum class Call
    {
        Info,
        Enum
    };
    struct Case
    {
        Call call;
        bool buffer;
        bool length;
        DWORD size;
        LSTATUS expected;
        const char* text; // what the buffer holds afterwards; null: untouched
        DWORD lengthAfter;
    };
    const auto check = [&](const Case& c) {
        SCOPED_TRACE(testing::Message() << (c.call == Call::Info ? "info" : "enum") << " size " << c.size
                                        << (c.buffer ? "" : " no buffer") << (c.length ? "" : " no length"));
        char text[16];
        std::memset(text, '#', sizeof text);
        DWORD length = c.size;
        char* buffer = c.buffer ? text : nullptr;
        DWORD* lengthPointer = c.length ? &length : nullptr;
        char name[8];
        DWORD nameLength = sizeof name;
        const LSTATUS status =
            c.call == Call::Info
                ? RegQueryInfoKeyA(leaf, buffer, lengthPointer, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr)
                : RegEnumKeyExA(mid, 0, name, &nameLength, nullptr, buffer, lengthPointer, nullptr);
        EXPECT_EQ(status, c.expected);
        if (c.length) {
            EXPECT_EQ(length, c.lengthAfter);
        }
        if (c.text) {
            EXPECT_STREQ(text, c.text);
        }
        if (c.call == Call::Enum && status == ERROR_SUCCESS) {
            EXPECT_STREQ(name, "Leaf");
        }
#ifndef _WIN32
        // Windows does not say what a short buffer holds afterwards.
        if (!c.text) {
            EXPECT_EQ(std::string(text, sizeof text), std::string(sizeof text, '#'));
        }
#endif
    };
    for (const Case& c : {
             Case{Call::Info, true, true, 11, ERROR_SUCCESS, "leaf class", 10},
             Case{Call::Info, false, true, 0, ERROR_SUCCESS, nullptr, 10},
             Case{Call::Info, true, false, 0, ERROR_INVALID_PARAMETER, nullptr, 0},
             Case{Call::Enum, true, true, 11, ERROR_SUCCESS, "leaf class", 10},
         })
        check(c);

    SKIP_UNDER_WINE("a short class buffer gets what fits and its count; RegEnumKeyExA does not check its "
                    "pointers; keys made on the way, and an existing key opened, get the class too");
    for (const Case& c : {
             Case{Call::Info, true, true, 10, ERROR_MORE_DATA, nullptr, 10},
             Case{Call::Info, true, true, 4, ERROR_MORE_DATA, nullptr, 10},
             Case{Call::Enum, true, true, 10, ERROR_MORE_DATA, nullptr, 10},
             Case{Call::Enum, true, true, 4, ERROR_MORE_DATA, nullptr, 10},
             Case{Call::Enum, true, false, 0, ERROR_INVALID_PARAMETER, nullptr, 0},
         })
        check(c);

    // Keys made on the way to the new one have no class, and opening a key leaves its class alone.
    DWORD length = 5;
    EXPECT_EQ(RegQueryInfoKeyA(mid, nullptr, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(length, 0u);
    RegCloseKey(leaf);
    char otherClass[] = "other";
    ASSERT_EQ(RegCreateKeyExA(mid, "Leaf", 0, otherClass, 0, KEY_ALL_ACCESS, nullptr, &leaf, nullptr),
              ERROR_SUCCESS);
    check(Case{Call::Info, true, true, 11, ERROR_SUCCESS, "leaf class", 10});
    RegCloseKey(leaf);
    RegCloseKey(mid);
}

std::int64_t ticksOf(const FILETIME& time)
{
    return static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
}

// The clock as FILETIME ticks: 100 ns since 1601, UTC.
std::int64_t ticksNow()
{
    const auto sinceUnixEpoch = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return sinceUnixEpoch.count() * 10 + 116'444'736'000'000'000;
}

std::int64_t lastWriteOf(HKEY key)
{
    FILETIME time{};
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, &time),
              ERROR_SUCCESS);
    return ticksOf(time);
}

TEST_F(KeyTest, KeysKeepTheTimeTheyWereWritten)
{
    // The clocks of the registry and of the test may round differently.
    constexpr std::int64_t slack = 20'000'000;
    const std::int64_t before = ticksNow();
    HKEY key = create("Timed\\Child");
    const std::int64_t after = ticksNow();

    const std::int64_t created = lastWriteOf(key);
    EXPECT_GE(created, before - slack);
    EXPECT_LE(created, after + slack);
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Timed", 0, KEY_READ, &parent), ERROR_SUCCESS);
    char name[8];
    DWORD length = sizeof name;
    FILETIME listed{};
    ASSERT_EQ(RegEnumKeyExA(parent, 0, name, &length, nullptr, nullptr, nullptr, &listed), ERROR_SUCCESS);
    EXPECT_EQ(ticksOf(listed), created);

    ASSERT_EQ(setString(key, "v", "x"), ERROR_SUCCESS);
    EXPECT_GE(lastWriteOf(key), created);
    EXPECT_LE(lastWriteOf(key), ticksNow() + slack);
    EXPECT_NE(lastWriteOf(HKEY_CURRENT_USER), 0);
    RegCloseKey(parent);
    RegCloseKey(key);
}

// The store's own calls and files: Linux only.
#ifndef _WIN32
TEST_F(KeyTest, ReadOnlyKeyOpensForReadingOnly)
{
    HKEY key = create("Locked\\Inner");
    ASSERT_EQ(setString(key, "v", "before"), ERROR_SUCCESS);
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, "Locked\\Inner", TRUE), ERROR_SUCCESS);

    // Handles opened before the mark lose their writes too.
    EXPECT_EQ(setString(key, "v", "after"), ERROR_ACCESS_DENIED);
    RegCloseKey(key);

    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Locked\\Inner", 0, KEY_ALL_ACCESS, &opened),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Locked\\Inner", 0, KEY_SET_VALUE, &opened),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Locked\\Inner", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &opened, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Locked\\Inner\\New", 0, nullptr, 0, KEY_READ, nullptr,
                              &opened, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Locked\\Inner"), ERROR_ACCESS_DENIED);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Locked\\Inner", 0, KEY_READ, &opened), ERROR_SUCCESS);
    char text[16] = {};
    DWORD size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(opened, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "before");
    RegCloseKey(opened);

    // The parent is not affected, and the mark comes off again.
    HKEY parent = create("Locked");
    EXPECT_EQ(setString(parent, "w", "x"), ERROR_SUCCESS);
    RegCloseKey(parent);
    ASSERT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, "Locked\\Inner", FALSE), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Locked\\Inner", 0, KEY_ALL_ACCESS, &opened), ERROR_SUCCESS);
    RegCloseKey(opened);
    EXPECT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, "Locked\\Missing", TRUE), ERROR_FILE_NOT_FOUND);
}

TEST_F(KeyTest, StoreFileWithoutOwnerWriteMakesEveryKeyReadOnly)
{
    HKEY key = create("Software\\Frozen");
    ASSERT_EQ(setString(key, "v", "kept"), ERROR_SUCCESS);
    RegCloseKey(key);
    RegStoreClose();
    ASSERT_EQ(::chmod(storeFile().c_str(), 0400), 0);

    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Frozen", 0, KEY_ALL_ACCESS, &opened),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0, KEY_READ, nullptr, &opened,
                              nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(setString(HKEY_CURRENT_USER, "v", "x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Frozen"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegStoreSetKeyReadOnlyA(HKEY_CURRENT_USER, "Software", TRUE), ERROR_ACCESS_DENIED);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Frozen", 0, KEY_READ, &opened), ERROR_SUCCESS);
    char text[16] = {};
    DWORD size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(opened, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "kept");
    EXPECT_EQ(RegDeleteValueA(opened, "v"), ERROR_ACCESS_DENIED);
    RegCloseKey(opened);

    // An existing key still opens through RegCreateKeyExA when no write right is asked for.
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Frozen", 0, nullptr, 0, KEY_READ, nullptr,
                              &opened, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(opened);
}

TEST_F(KeyTest, EachChangeStampsTheKeysItChanges)
{
    RegCloseKey(create("T\\K\\Old"));
    enum Stamped
    {
        None = 0,
        Parent = 1, // T
        Key = 2,    // T\K
        Child = 4,  // T\K\Old
    };
    struct Case
    {
        const char* what;
        LSTATUS (*change)(HKEY k);
        int stamped;
    };
    const Case cases[] = {
        {"value set", [](HKEY k) { return setString(k, "v", "1"); }, Key},
        {"value replaced", [](HKEY k) { return setString(k, "V", "2"); }, Key},
        {"value deleted", [](HKEY k) { return RegDeleteValueA(k, "v"); }, Key},
        {"missing value deleted",
         [](HKEY k) -> LSTATUS {
             return RegDeleteValueA(k, "v") == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : ERROR_BADDB;
         },
         None},
        {"subkey created",
         [](HKEY k) {
             HKEY sub = nullptr;
             const LSTATUS status =
                 RegCreateKeyExA(k, "New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr);
             RegCloseKey(sub);
             return status;
         },
         Key},
        {"subkey deleted", [](HKEY k) { return RegDeleteKeyA(k, "New"); }, Key},
        {"marked read-only", [](HKEY k) { return RegStoreSetKeyReadOnlyA(k, "Old", TRUE); }, None},
        {"read",
         [](HKEY k) {
             return RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr);
         },
         None},
    };
    HKEY key = create("T\\K");
    const char* paths[] = {"T", "T\\K", "T\\K\\Old"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(storeFile().c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "UPDATE keys SET written = 1", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        const std::int64_t before = ticksNow();
        ASSERT_EQ(c.change(key), ERROR_SUCCESS);
        for (int i = 0; i < 3; ++i) {
            HKEY opened = nullptr;
            ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, paths[i], 0, KEY_READ, &opened), ERROR_SUCCESS);
            const std::int64_t time = lastWriteOf(opened);
            // SQLite's clock counts whole milliseconds.
            EXPECT_EQ(time >= before - 20'000, (c.stamped & (1 << i)) != 0) << paths[i] << ": " << time;
            RegCloseKey(opened);
        }
    }
    RegCloseKey(key);

    // A new key has its own time, not the file's, which the layer falls back on.
    const timespec longAgo[2] = {{0, 0}, {0, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, storeFile().c_str(), longAgo, 0), 0);
    const std::int64_t before = ticksNow();
    key = create("T\\Fresh");
    EXPECT_GE(lastWriteOf(key), before - 20'000);
    RegCloseKey(key);
}

TEST_F(KeyTest, StoreLivesInAPrivateFolder)
{
    HKEY key = create("Anything");
    RegCloseKey(key);
    EXPECT_EQ(std::string(RegStorePath()), storeFile());
    struct stat info = {};
    ASSERT_EQ(::stat((configFolder() + "/dawdlex").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(storeFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(KeyTest, KeysAndValuesPersistAcrossReopening)
{
    HKEY key = create("Software\\Pendlewick\\Dawdlex");
    ASSERT_EQ(setString(key, "Title", "Processing..."), ERROR_SUCCESS);
    RegCloseKey(key);
    RegStoreClose();

    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Pendlewick\\Dawdlex", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    char text[32] = {};
    DWORD size = sizeof text;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "title", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 14u);
    EXPECT_STREQ(text, "Processing...");
    RegCloseKey(key);
}
#endif

} // namespace
