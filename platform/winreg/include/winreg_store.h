// Calls of this registry layer that the Windows API has no counterpart for.
#pragma once

#include "winreg.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifndef _WIN32
// Where the registry lives: one SQLite file per user, $XDG_CONFIG_HOME/dawdlex/registry.sqlite3 (by
// default under ~/.config), the folder 0700 and the file 0600, shared by every process of the user. A
// file that is not such a store, or is of a newer version, makes every call fail with ERROR_BADDB and is
// left exactly as it is, and so does damage that SQLite only meets in the middle of a later call (until
// RegStoreClose); a store file without its owner's write permission makes every key read-only. A store
// made by an older build gains key classes and last-write times in place when it is opened with write
// permission, and that build goes on using it; opened without, it is read as it is, every key read-only
// until the store is opened again, with no classes and the file's time as every key's last-write time.
// Handles are small numbers, never pointers; like the platform's they survive a round trip through a
// 32-bit integer, the predefined ones whether it comes back sign- or zero-extended. The calls are safe to
// use from several threads.

// Marks the key hKey\lpSubKey readable but not writable (bReadOnly TRUE) or writable again (FALSE): the
// store's equivalent of a key whose security grants the user read access only. Opening it with write
// access, writing to it, deleting it or creating a key under it then gives ERROR_ACCESS_DENIED; handles
// already open lose their writes too. Changing the mark itself is always allowed, whatever the handle's
// access: ERROR_FILE_NOT_FOUND when the key does not exist, ERROR_ACCESS_DENIED only when the store file
// cannot be written.
LSTATUS RegStoreSetKeyReadOnlyA(HKEY hKey, LPCSTR lpSubKey, BOOL bReadOnly);

// Closes the store and invalidates every open handle (later calls with them give ERROR_INVALID_HANDLE);
// the next call opens the store anew under the current $XDG_CONFIG_HOME. Tests use it to switch to a
// fresh store; it also lets a store refused with ERROR_BADDB be tried again.
void RegStoreClose(void);

// The path of the store file that the next call uses (or the open store's), in a static buffer valid
// until the next call of RegStorePath.
LPCSTR RegStorePath(void);
#endif

#ifdef __cplusplus
}
#endif
