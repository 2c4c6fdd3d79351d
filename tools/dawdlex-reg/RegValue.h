// A named, typed registry value and the changes a .reg file asks for.
#pragma once

#include "RegistryPath.h"

#include <cstddef>
#include <string>

namespace dawdlex::regtool {

struct RegValue
{
    std::string name; // "" is the key's default value
    DWORD type = REG_NONE;
    std::string data; // the bytes exactly as stored

    bool operator==(const RegValue&) const = default;
};

struct RegOperation
{
    enum class Kind
    {
        CreateKey,
        DeleteKey,   // the key and its whole subtree
        SetValue,    // creates the key when missing
        DeleteValue, // value.name only
    };
    Kind kind = Kind::CreateKey;
    RegistryPath key;
    RegValue value;
    std::size_t line = 0; // where the file asked for it
};

} // namespace dawdlex::regtool
