#pragma once

#include "FreshRegistry.h"
#include "RunningUnderWine.h"

#include <windows.h>
#ifndef _WIN32
#include <winreg_store.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

// Every test gets a registry of its own (FreshRegistry): on Linux a store in a fresh configuration folder,
// on Windows a throw-away key standing in for HKEY_CURRENT_USER; never the user's.
class StoreTest : public ::testing::Test
{
protected:
#ifndef _WIN32
    const std::string& configFolder() const
    {
        return m_config;
    }
    std::string storeFile() const
    {
        return m_config + "/dawdlex/registry.sqlite3";
    }
#endif

    // Creates (or opens) HKEY_CURRENT_USER\path with full access; fails the test when it cannot.
    HKEY create(const char* path, DWORD* disposition = nullptr)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  disposition),
                  ERROR_SUCCESS)
            << path;
        return key;
    }

    static LSTATUS setString(HKEY key, const char* name, const std::string& text)
    {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }

    static std::vector<std::string> subKeys(HKEY key)
    {
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD length = sizeof name;
            const LSTATUS status = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
                return names;
            }
            names.emplace_back(name, length);
        }
    }

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

private:
    FreshRegistry m_registry;
#ifndef _WIN32
    const std::string m_config = m_registry.configHome().string();
#endif
};
