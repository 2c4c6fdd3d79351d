#pragma once

#include "CRegistry.h"
#include "FreshRegistry.h"
#include "RawRegistry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// Gives every test a registry of its own (FreshRegistry) and ways to reach it around the class under test
// (RawRegistry).
class RegistryFixture : public ::testing::Test, protected RawRegistry
{
protected:
    // The key every test works below, as a CRegistry path and as a subkey of HKEY_CURRENT_USER.
    static const std::string base;
    static const std::string baseSubKey;

    static void setEnvironment(const std::string& name, const std::string& value);

private:
    FreshRegistry m_registry;
};

std::vector<uint8_t> bytesOf(const std::string& text);
