// A registry client written against the platform headers alone, as code written for the other platform
// would be: it must compile and behave the same against our layer. Exits 0 when every check holds.
#include <windows.h>

#include <cstdio>
#include <cstring>

static int failures = 0;

static void check(bool ok, const char* what)
{
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

int main()
{
    SECURITY_ATTRIBUTES security;
    std::memset(&security, 0, sizeof security);
    HKEY key = 0;
    DWORD disposition = 0;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\SdkClient\\Settings", 0, NULL, 0, 0xF003F,
                                  &security, &key, &disposition);
    check(status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY, "create");

    const char text[] = "Reading Files...";
    check(RegSetValueExA(key, "Status0", 0, REG_SZ, (const BYTE*)text, sizeof text) == ERROR_SUCCESS,
          "set string");
    DWORD number = 300;
    check(RegSetValueExA(key, "Speed0", 0, REG_DWORD, (const BYTE*)&number, sizeof number) == ERROR_SUCCESS,
          "set dword");

    DWORD type = 0;
    DWORD size = 0;
    check(RegQueryValueExA(key, "Status0", NULL, &type, NULL, &size) == ERROR_SUCCESS && type == REG_SZ &&
              size == sizeof text,
          "query size");
    char buffer[64];
    size = sizeof buffer;
    check(RegQueryValueExA(key, "STATUS0", NULL, &type, (LPBYTE)buffer, &size) == ERROR_SUCCESS &&
              std::strcmp(buffer, text) == 0,
          "query string");

    DWORD subKeys = 0, values = 0, maxValueName = 0;
    check(RegQueryInfoKeyA(key, NULL, NULL, NULL, &subKeys, NULL, NULL, &values, &maxValueName, NULL, NULL,
                           NULL) == ERROR_SUCCESS &&
              subKeys == 0 && values == 2 && maxValueName == 7,
          "query info");

    // Both values, in whatever order the registry keeps them.
    char name[255];
    DWORD nameLength = sizeof name;
    int seen = 0;
    for (DWORD i = 0; RegEnumValueA(key, i, name, &nameLength, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
         ++i) {
        seen += (std::strcmp(name, "Speed0") == 0 && nameLength == 6) ? 1 : 0;
        seen += (std::strcmp(name, "Status0") == 0 && nameLength == 7) ? 2 : 0;
        nameLength = sizeof name;
    }
    check(seen == 3, "enum values");
    nameLength = sizeof name;
    check(RegEnumValueA(key, 2, name, &nameLength, NULL, NULL, NULL, NULL) == ERROR_NO_MORE_ITEMS,
          "enum end");

    HKEY parent = 0;
    check(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\SdkClient", 0, KEY_ALL_ACCESS, &parent) ==
              ERROR_SUCCESS,
          "open");
    FILETIME written;
    nameLength = 255;
    std::memset(name, 0, sizeof name);
    DWORD classLength = 0;
    check(RegEnumKeyExA(parent, 0, name, &nameLength, NULL, NULL, &classLength, &written) == ERROR_SUCCESS &&
              std::strcmp(name, "Settings") == 0 && nameLength == 8,
          "enum key");

    check(RegDeleteValueA(key, "Speed0") == ERROR_SUCCESS, "delete value");
    check(RegDeleteValueA(key, "Speed0") != ERROR_SUCCESS, "delete missing value");
    check(RegCloseKey(key) == ERROR_SUCCESS, "close");
    check(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\SdkClient") != ERROR_SUCCESS,
          "delete refused with subkeys");
    check(RegDeleteKeyA(parent, "Settings") == ERROR_SUCCESS, "delete key");
    check(RegCloseKey(parent) == ERROR_SUCCESS, "close parent");
    check(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\SdkClient") == ERROR_SUCCESS, "delete parent");

    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
