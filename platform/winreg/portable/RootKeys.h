#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string_view>

namespace dawdlex {

// A predefined root key reachable by name.
struct RootKey
{
    std::string_view name;
    std::string_view shortName; // the short form dawdlex-reg accepts too; empty when there is none
    std::uint32_t value;        // the predefined handle's 32-bit value, as published

    // The predefined handle, sign-extended on 64-bit builds as the SDK's macros do.
    HKEY handle() const { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(value))); }
};

// The root keys everything above the registry API names, in this order. Matching a name against them
// (exactly, or case-insensitively) is the caller's rule.
inline constexpr std::array<RootKey, 6> kRootKeys{{
    {"HKEY_CLASSES_ROOT", "HKCR", 0x80000000u},
    {"HKEY_CURRENT_USER", "HKCU", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", "HKLM", 0x80000002u},
    {"HKEY_USERS", "HKU", 0x80000003u},
    {"HKEY_CURRENT_CONFIG", "HKCC", 0x80000005u},
    {"HKEY_DYN_DATA", "", 0x80000006u},
}};

} // namespace dawdlex
