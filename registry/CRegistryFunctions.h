// The registry and environment functions CRegistry calls, named in one place. They come from
// <windows.h>: the SDK's advapi32 and kernel32 on Windows, our own registry layer elsewhere. Only the
// ANSI entry points are used.
#pragma once

#include <windows.h>

namespace CRegistryFunctions {

using ::RegCloseKey;
using ::RegCreateKeyExA;
using ::RegDeleteKeyA;
using ::RegDeleteValueA;
using ::RegEnumKeyExA;
using ::RegEnumValueA;
using ::RegOpenKeyExA;
using ::RegQueryInfoKeyA;
using ::RegQueryValueExA;
using ::RegSetValueExA;

// Declared for the hive operations, which are placeholders and never call them.
using ::RegLoadKeyA;
using ::RegSaveKeyA;

using ::ExpandEnvironmentStringsA;

} // namespace CRegistryFunctions
