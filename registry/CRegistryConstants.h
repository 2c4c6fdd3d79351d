// The constants CRegistry passes to the registry API: the six root keys reachable by name, the access
// mask of every open and create, and the few codes the class compares results with. The values are the
// published ones; <windows.h> (ours or the SDK's) supplies the same numbers under the SDK's names.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string_view>

namespace CRegistryConstants {

struct RootKey
{
    std::string_view name;
    uint32_t handle; // the predefined handle's 32-bit value
};

// Compared with a path's root part exactly and case-sensitively; there are no short forms.
inline constexpr std::array<RootKey, 6> rootKeys{{
    {"HKEY_CLASSES_ROOT", 0x80000000u},
    {"HKEY_CURRENT_USER", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", 0x80000002u},
    {"HKEY_USERS", 0x80000003u},
    {"HKEY_CURRENT_CONFIG", 0x80000005u},
    {"HKEY_DYN_DATA", 0x80000006u},
}};

// The predefined handle for a 32-bit value, sign-extended on 64-bit builds as the SDK's macros do.
inline HKEY rootHandle(uint32_t value)
{
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(value)));
}

inline constexpr REGSAM keyAllAccess = 0xF003F;
static_assert(keyAllAccess == KEY_ALL_ACCESS);

inline constexpr LSTATUS success = ERROR_SUCCESS;
inline constexpr DWORD createOptions = REG_OPTION_NON_VOLATILE;
inline constexpr DWORD createdNewKey = REG_CREATED_NEW_KEY;

// Subkey names are read into a buffer of this many characters, terminator included.
inline constexpr DWORD keyNameBufferLength = 255;

} // namespace CRegistryConstants
