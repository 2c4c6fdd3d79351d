#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// Straight to the registry API below HKEY_CURRENT_USER, around the code under test, for tests that plant
// values of their own or look at what was stored. Reads ask for read access only, so that keys marked
// read-only can be looked at too. Holds nothing; a value that cannot be planted fails the test.
class RawRegistry
{
public:
    struct StoredValue
    {
        bool found = false;
        DWORD type = 0;
        std::vector<uint8_t> data;
    };

    // Creates the key when needed.
    static void setRaw(const std::string& subKey, const std::string& name, DWORD type,
                       const std::vector<uint8_t>& data)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    static StoredValue queryRaw(const std::string& subKey, const std::string& name)
    {
        StoredValue value;
        HKEY key = nullptr;
        DWORD size = 0;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return value;
        if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
            value.data.resize(size);
            value.found = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, value.data.data(),
                                           &size) == ERROR_SUCCESS;
        }
        RegCloseKey(key);
        return value;
    }
#ifndef _WIN32
    // Closes the store and damages its file as a flipped bit in an index page can: the index of value
    // order gets a wrong entry for every value called `name`, which the quick check at opening misses.
    static void damageValueOrder(const std::string& name);
#endif
};
