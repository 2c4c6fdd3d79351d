#pragma once

#include <windows.h>

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
                       const std::vector<uint8_t>& data);
    static StoredValue queryRaw(const std::string& subKey, const std::string& name);
#ifndef _WIN32
    // Closes the store and damages its file as a flipped bit in an index page can: the index of value
    // order gets a wrong entry for every value called `name`, which the quick check at opening misses.
    static void damageValueOrder(const std::string& name);
#endif
};
