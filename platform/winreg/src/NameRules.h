#pragma once

#include "winreg.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dawdlex::winreg {

// The store's rules for names and paths, in one place: how names compare, how long they may be, how a
// subkey path splits into key names. Lengths are in bytes, which are the characters of the *A calls.
class NameRules
{
public:
    static constexpr std::size_t maxKeyNameLength = 255;
    static constexpr std::size_t maxValueNameLength = 16383;
    // Roots are at depth 0; a key may sit at most this many levels below its root.
    static constexpr int maxDepth = 512;

    // The form under which names are compared and sorted: each character upper-cased (UTF-8 decoded where
    // valid; bytes that are not valid UTF-8 stand for themselves). Two names are the same name exactly
    // when their folded forms are equal.
    static std::string fold(std::string_view name);

    // Splits a subkey path into its key names. A null or empty path gives no names (the base key itself);
    // repeated and trailing backslashes are skipped. Returns ERROR_BAD_PATHNAME for a leading backslash
    // and ERROR_INVALID_PARAMETER for a name longer than maxKeyNameLength; names is then unspecified.
    [[nodiscard]] static LSTATUS splitPath(const char* path, std::vector<std::string>& names);

    // ERROR_SUCCESS when a value name (null meaning the default value "") is within the limit.
    [[nodiscard]] static LSTATUS checkValueName(const char* name);
};

} // namespace dawdlex::winreg
