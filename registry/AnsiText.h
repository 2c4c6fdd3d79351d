// Conversion between the program's texts (UTF-8) and the ANSI code page of the registry API's "A" entry
// points. On Windows that is the system's ANSI code page; elsewhere the layer takes UTF-8, so both
// conversions leave the bytes as they are. Embedded NUL characters survive both ways.
#pragma once

#include <string>
#include <string_view>

namespace AnsiText {

// Characters the code page cannot represent become its default character; never fails.
std::string toAnsi(std::string_view text);
// Bytes that are not valid in the code page become the replacement character; never fails.
std::string fromAnsi(std::string_view ansi);

} // namespace AnsiText
