#pragma once

#include "FreshRegistry.h"
#include "RunningUnderWine.h"

#include <windows.h>
#ifndef _WIN32
#include <winreg_store.h>
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Every test gets a registry of its own (FreshRegistry): on Linux a store in a fresh configuration folder,
// on Windows a throw-away key standing in for HKEY_CURRENT_USER; never the user's.
class StoreTest : public ::testing::Test
{
protected:
    // Creates (or opens) HKEY_CURRENT_USER\path with full access; fails the test when it cannot.
    static HKEY create(const std::string& path)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS)
            << path;
        return key;
    }

    static LSTATUS setString(HKEY key, const std::string& name, const std::string& text)
    {
        return RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }

    // The text stored under `name`, or "" when it cannot be read.
    static std::string getString(HKEY key, const std::string& name)
    {
        char text[64] = {};
        DWORD size = sizeof text - 1;
        const LSTATUS status =
            RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
        return status == ERROR_SUCCESS ? text : "";
    }

    // The key's value names, in the order the registry lists them.
    static std::vector<std::string> valueNames(HKEY key)
    {
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            std::string name(16384, '\0');
            DWORD length = static_cast<DWORD>(name.size());
            const LSTATUS status =
                RegEnumValueA(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
                return names;
            }
            names.emplace_back(name.c_str(), length);
        }
    }

#ifndef _WIN32
    std::string storeFile() const
    {
        return m_registry.configHome().string() + "/dawdlex/registry.sqlite3";
    }
#endif

private:
    FreshRegistry m_registry;
};
