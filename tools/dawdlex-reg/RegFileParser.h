// Reads the registry editor's text format into a list of changes, without touching the store.
//
// Both headers are understood: "Windows Registry Editor Version 5.00" and "REGEDIT4". In a 5.00 file the
// hex(1), hex(2) and hex(7) data of string types is UTF-16LE, as Windows writes it; it is converted to the
// store's UTF-8. In a REGEDIT4 file such data is taken as it stands.
#pragma once

#include "RegValue.h"

#include <string>
#include <string_view>
#include <vector>

namespace dawdlex::regtool {

struct RegFileError
{
    std::size_t line = 0; // 1-based; 0 when the problem is the file as a whole
    std::string message;
};

// Parses `text` (already decoded to UTF-8, any line ends). On success fills `operations` in file order and
// returns true. On the first problem returns false with `error` naming its line; `operations` is then
// unspecified. Key and value name limits are checked here, so a file that parses is within them.
[[nodiscard]] bool parseRegFile(std::string_view text, std::vector<RegOperation>& operations,
                                RegFileError& error);

} // namespace dawdlex::regtool
