#pragma once

#include "winreg.h"
#include "winreg_names.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dawdlex::winreg {

// The store's rules for names and paths, in one place: how long names may be, how a subkey path splits
// into key names. How names compare is foldName (winreg_names.h). Lengths are in bytes, which are the
// characters of the *A calls.
class NameRules
{
public:
    static constexpr std::size_t maxKeyNameLength = winreg::maxKeyNameLength;
    static constexpr std::size_t maxValueNameLength = winreg::maxValueNameLength;
    static constexpr int maxDepth = maxKeyDepth;

    // Splits a subkey path into its key names. A null or empty path gives no names (the base key itself);
    // repeated and trailing backslashes are skipped. Returns ERROR_BAD_PATHNAME for a leading backslash
    // and ERROR_INVALID_PARAMETER for a name longer than maxKeyNameLength; names is then unspecified.
    [[nodiscard]] static LSTATUS splitPath(const char* path, std::vector<std::string>& names);

    // ERROR_SUCCESS when a value name (null meaning the default value "") is within the limit.
    [[nodiscard]] static LSTATUS checkValueName(const char* name);
};

} // namespace dawdlex::winreg
