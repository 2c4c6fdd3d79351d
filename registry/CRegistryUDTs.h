// The two records CRegistry hands to the registry API: the security attributes of a create (always all
// zero) and the last-write time of a key (always ignored). Both come from <windows.h>.
#pragma once

#include <windows.h>

namespace CRegistryUDTs {

using ::FILETIME;
using ::SECURITY_ATTRIBUTES;

} // namespace CRegistryUDTs
