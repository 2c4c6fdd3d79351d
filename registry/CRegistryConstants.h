// The constants CRegistry passes to the registry API: the six root keys reachable by name, the access
// mask of every open and create, and the few codes the class compares results with. The values are the
// published ones; <windows.h> (ours or the SDK's) supplies the same numbers under the SDK's names.
#pragma once

#include "RootKeys.h"

#include <windows.h>

namespace CRegistryConstants {

// The root keys, compared with a path's root part exactly and case-sensitively; no short forms.
using dawdlex::kRootKeys;
using dawdlex::RootKey;

inline constexpr REGSAM keyAllAccess = 0xF003F;
static_assert(keyAllAccess == KEY_ALL_ACCESS);

inline constexpr LSTATUS success = ERROR_SUCCESS;
inline constexpr DWORD createOptions = REG_OPTION_NON_VOLATILE;
inline constexpr DWORD createdNewKey = REG_CREATED_NEW_KEY;

// Subkey names are read into a buffer of this many characters, terminator included.
inline constexpr DWORD keyNameBufferLength = 255;

} // namespace CRegistryConstants
