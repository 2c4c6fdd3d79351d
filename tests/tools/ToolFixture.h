// What the dawdlex-reg tests share: a fresh store per test and helpers to reach it and the executable.
#pragma once

#include "RegExporter.h"
#include "RegValue.h"
#include "FreshRegistry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct ToolRun
{
    int status = -1;
    std::string out;
    std::string err;
};

class ToolTest : public ::testing::Test
{
protected:
    // Runs the real executable with stdin from /dev/null (so it never has a terminal to ask on).
    ToolRun runTool(const std::vector<std::string>& arguments) const;

    // Writes `bytes` to a file in the test's folder and returns its path.
    std::string writeFile(const std::string& name, const std::string& bytes) const;
    std::string readFile(const std::string& path) const;

public:
    static dawdlex::regtool::RegistryPath path(const std::string& text);
    static void setValue(const std::string& key, const dawdlex::regtool::RegValue& value);
    static void makeKey(const std::string& key);
    // The key with its subtree as export reads it; empty when the key does not exist.
    static std::vector<dawdlex::regtool::ExportedKey> snapshot(const std::string& key);
    // Everything under HKEY_CURRENT_USER as one comparable text (names, types and bytes).
    static std::string dump(const std::string& key = "HKEY_CURRENT_USER");

protected:
    FreshRegistry m_registry;
};
