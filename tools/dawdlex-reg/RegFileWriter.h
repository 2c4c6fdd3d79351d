// Writes keys and values in the registry editor's text format, version 5.00, as Windows writes it:
// UTF-16LE with a byte-order mark and CRLF line ends.
#pragma once

#include "RegValue.h"

#include <string>
#include <vector>

namespace dawdlex::regtool {

struct ExportedKey
{
    RegistryPath path;
    std::vector<RegValue> values; // in the store's order
};

// The line(s) for one value, without the final line end: "name"="text", dword:%08x, or hex data wrapped
// at 80 columns with ",\" continuations and two-space indents. Texts of string types that cannot be written
// between quotes (no single terminating NUL, an embedded NUL or a line break) are written as hex(N): in
// UTF-16LE, as Windows does.
std::string formatValue(const RegValue& value);

// The whole file as UTF-8 text with CRLF line ends: header, then per key "[path]", its values and a blank
// line. Returns false, with `error` set, when a key name cannot be written (it holds a line break).
[[nodiscard]] bool formatRegFile(const std::vector<ExportedKey>& keys, std::string& text, std::string& error);

// `text` as the bytes of a file: byte-order mark and UTF-16LE.
std::string encodeRegFile(const std::string& text);

} // namespace dawdlex::regtool
