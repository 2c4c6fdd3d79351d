// Writes values into the store from a process of its own, for the tests that need two processes.
// Usage: winreg_writer <key path under HKEY_CURRENT_USER> <name prefix> <count>
// Each value holds its own name. Exits 0 when every write succeeded.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, argv[1], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return 3;
    const int count = std::atoi(argv[3]);
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        const std::string name = argv[2] + std::to_string(i);
        const LSTATUS status =
            RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                           static_cast<DWORD>(name.size() + 1));
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "%s: status %ld\n", name.c_str(), static_cast<long>(status));
            ++failures;
        }
    }
    RegCloseKey(key);
    return failures == 0 ? 0 : 1;
}
