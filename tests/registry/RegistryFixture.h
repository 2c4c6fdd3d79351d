#pragma once

#include "CRegistry.h"
#include "tests/support/FreshRegistry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// Gives every test a registry of its own (FreshRegistry) and ways to reach it around the class under test.
class RegistryFixture : public ::testing::Test
{
protected:
    // The key every test works below, as a CRegistry path and as a subkey of HKEY_CURRENT_USER.
    static const std::string base;
    static const std::string baseSubKey;

    struct StoredValue
    {
        bool found = false;
        DWORD type = 0;
        std::vector<uint8_t> data;
    };

    // Straight to the registry API, around the class under test. subKey is below HKEY_CURRENT_USER.
    static void makeKey(const std::string& subKey);
    static void setRaw(const std::string& subKey, const std::string& name, DWORD type,
                       const std::vector<uint8_t>& data);
    static StoredValue queryRaw(const std::string& subKey, const std::string& name);
    // Value names in the registry's enumeration order.
    static std::vector<std::string> valueNamesRaw(const std::string& subKey);
    static void setEnvironment(const std::string& name, const std::string& value);

private:
    FreshRegistry m_registry;
};

std::vector<uint8_t> bytesOf(const std::string& text);
