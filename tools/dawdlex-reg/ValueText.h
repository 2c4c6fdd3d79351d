// Value types and data as the command line writes them: type names, data given to `add` and data shown by
// `query`.
#pragma once

#include "RegValue.h"

#include <optional>
#include <string>
#include <string_view>

namespace dawdlex::regtool {

// "REG_SZ" ... "REG_QWORD"; other codes as "REG_0x<hex>".
std::string typeName(DWORD type);

// The types `add` accepts: REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE
// (any case). nullopt for others.
std::optional<DWORD> parseTypeName(std::string_view name);

// The bytes to store for `text` given with /d: texts as UTF-8 with a NUL; REG_MULTI_SZ split at
// `separator` (the two characters \0 by default), each item NUL-terminated plus a final NUL; REG_DWORD and
// REG_QWORD as decimal or 0x-prefixed hexadecimal, little-endian; REG_BINARY and REG_NONE as hex digits.
// Returns false with `error` set when the text does not fit the type.
[[nodiscard]] bool encodeData(DWORD type, std::string_view text, std::string_view separator,
                              std::string& data, std::string& error);

// The data as `query` shows it: texts without their terminator, REG_MULTI_SZ items joined by \0, numbers
// as 0x<hex>, anything else as upper-case hex digits.
std::string displayData(const RegValue& value);

} // namespace dawdlex::regtool
