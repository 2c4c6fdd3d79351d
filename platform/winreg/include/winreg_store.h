// Calls of this registry layer that the Windows API has no counterpart for.
#pragma once

#include "winreg.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifndef _WIN32
// Marks the key hKey\lpSubKey readable but not writable (bReadOnly TRUE) or writable again (FALSE): the
// store's equivalent of a key whose security grants the user read access only. Opening it with write
// access, writing to it or creating a key under it then gives ERROR_ACCESS_DENIED. Changing the mark
// itself is always allowed.
LSTATUS RegStoreSetKeyReadOnlyA(HKEY hKey, LPCSTR lpSubKey, BOOL bReadOnly);

// Closes the store and invalidates every open handle; the next call opens the store anew under the
// current $XDG_CONFIG_HOME. Tests use it to switch to a fresh store.
void RegStoreClose(void);

// The path of the store file that the next call uses (or the open store's), in a static buffer.
LPCSTR RegStorePath(void);
#endif

#ifdef __cplusplus
}
#endif
